#include "stitch_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace loomfold {
namespace {

constexpr float kPi = 3.14159265358979f;

// A calibration can hold any number: truncate to int, saturating (NaN → 0).
int truncated(double v) {
    if (!(v == v))
        return 0;
    return int(std::clamp(v, double(std::numeric_limits<int>::min()), double(std::numeric_limits<int>::max())));
}

struct Vec3 {
    float x, y, z;
};

// v cos t + (v × a) sin t + a (a · v)(1 − cos t), for a unit axis a.
Vec3 rotate(Vec3 v, Vec3 a, float t) {
    const float c = std::cos(t), s = std::sin(t);
    const Vec3 cross{v.y * a.z - v.z * a.y, v.z * a.x - v.x * a.z, v.x * a.y - v.y * a.x};
    const float dot = a.x * v.x + a.y * v.y + a.z * v.z;
    return {v.x * c + cross.x * s + a.x * dot * (1 - c), v.y * c + cross.y * s + a.y * dot * (1 - c),
            v.z * c + cross.z * s + a.z * dot * (1 - c)};
}

constexpr Vec3 kYawAxis{0, 0, -1};
constexpr Vec3 kPitchAxis{-1, 0, 0};
constexpr Vec3 kRollAxis{0, -1, 0};

// The frame pixel that lens L sees in the direction of grid point (c, r).
void lensPixel(const LensRecord& record, const EngineLens& l, int c, int r, float& fx, float& fy) {
    const float lambda = (2.0f * c / kGridColumns - 1) * kPi;
    const float phi = (2.0f * r / kGridRows - 1) * kPi / 2;
    Vec3 d{std::cos(phi) * std::sin(lambda), std::cos(phi) * std::cos(lambda), std::sin(phi)};
    const float toRadians = kPi / 180;
    if (l.yaw != 0) d = rotate(d, kYawAxis, l.yaw * toRadians);
    if (l.pitch != 0) d = rotate(d, kPitchAxis, l.pitch * toRadians);
    if (l.roll != 0) d = rotate(d, kRollAxis, l.roll * toRadians);
    const float theta = std::atan2(std::sqrt(d.x * d.x + d.z * d.z), d.y) / toRadians;
    const float psi = std::atan2(d.z, d.x);
    const float rho = record.fov != 0 ? theta / (record.fov / 2) : 0;
    const float radius = distortRadius(rho, l);
    const float px = radius * std::cos(psi) * l.radius + l.centerX + l.offsetX;
    const float py = radius * std::sin(psi) * l.radius + l.centerY + l.offsetY;
    fx = record.calibWidth != 0 ? record.frameWidth * px / record.calibWidth : 0;
    fy = record.calibHeight != 0 ? record.frameHeight * py / record.calibHeight : 0;
}

}  // namespace

float distortRadius(float rho, const EngineLens& l) {
    const float a = l.coefA, b = l.coefB, c = l.coefC;
    return a * rho * rho * rho * rho + b * rho * rho * rho + c * rho * rho + (1 - a - b - c) * rho;
}

std::vector<float> gridPositions() {
    std::vector<float> p;
    p.reserve(size_t(kGridVertices) * 2);
    for (int r = 0; r < kGridRows; ++r) {
        for (int j = 0; j <= kGridColumns; ++j) {
            const float x = gridColumn(r, j) * 0.0125f - 1;
            p.insert(p.end(), {x, 1 - r * 0.025f, x, 1 - (r + 1) * 0.025f});
        }
    }
    return p;
}

std::vector<float> twinsTexCoords(const LensRecord& record, int lens, int lumaStride) {
    std::vector<float> t;
    t.reserve(size_t(kGridVertices) * 2);
    const EngineLens& l = record.lenses[lens];
    const float stride = float(lumaStride > 0 ? lumaStride : 1);
    const float height = float(record.frameHeight > 0 ? record.frameHeight : 1);
    for (int r = 0; r < kGridRows; ++r) {
        for (int j = 0; j <= kGridColumns; ++j) {
            const int c = gridColumn(r, j);
            float fx, fy;
            lensPixel(record, l, c, r, fx, fy);
            t.push_back(fx / stride);
            t.push_back(fy / height);
            lensPixel(record, l, c, r + 1, fx, fy);
            t.push_back(fx / stride);
            t.push_back(fy / height);
        }
    }
    return t;
}

float seamAngle(float lensYaw) {
    float angle = lensYaw + 270;
    if (angle > 360)
        angle -= 360;
    return angle;
}

std::vector<float> sphereTexCoords(const LensRecord& record) {
    std::vector<float> t(size_t(kGridVertices) * 2, 0.0f);
    const EngineLens& l = record.lenses[0];
    if (record.calibWidth <= 0 || record.frameWidth <= 0 || record.frameHeight <= 0 || record.fov <= 0)
        return t;
    const float m = float(record.frameWidth) / record.calibWidth;
    const int radius = truncated(double(l.radius) * m), cx = truncated(double(l.centerX) * m),
              cy = truncated(double(l.centerY) * m);
    const float step = float(radius) * (kPi / 80) / (record.fov * kPi / 360);
    const int rows = truncated(std::ceil(double(record.fov) * 80 / 360)) - 1;
    for (int i = 0; i < std::min(rows, kGridRows); ++i) {
        for (int j = 0; j <= kGridColumns; ++j) {
            const float angle = gridColumn(i, j) * kPi / 80;
            const size_t at = (size_t(i) * (kGridColumns + 1) + size_t(j)) * 4;
            t[at] = (float(cx) + std::sin(angle) * float(i) * step) / float(record.frameWidth);
            t[at + 1] = (float(cy) + std::cos(angle) * float(i) * step) / float(record.frameHeight);
            t[at + 2] = (float(cx) + std::sin(angle) * float(i + 1) * step) / float(record.frameWidth);
            t[at + 3] = (float(cy) + std::cos(angle) * float(i + 1) * step) / float(record.frameHeight);
        }
    }
    return t;
}

}  // namespace loomfold
