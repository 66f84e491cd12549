#include "fisheye_lens.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vistamo::lens {
namespace {

constexpr float kPi = 3.14159265f;
constexpr float kHalfPi = 1.5707964f;
constexpr float kDegToRad = 0.017453292f;

}  // namespace

int saturatedInt(double value) {
    if (!(value == value))
        return 0;
    return int(std::clamp(value, double(std::numeric_limits<int>::min()), double(std::numeric_limits<int>::max())));
}

Vec3 gridDirection(int c, int r) {
    const float column = float(c) * 2 / float(kGridColumns) - 1;
    const float row = float(r) * 2 / float(kGridRows) - 1;
    const float longitude = column * kPi, latitude = row * kHalfPi;
    return {std::cos(latitude) * std::sin(longitude), std::cos(latitude) * std::cos(longitude), std::sin(latitude)};
}

Vec3 rotateAbout(Vec3 v, Vec3 axis, float t) {
    const float n = std::sqrt(axis.x * axis.x + axis.y * axis.y + axis.z * axis.z);
    const float ax = axis.x / n, ay = axis.y / n, az = axis.z / n;
    const float c = std::cos(t), s = std::sin(t), q = 1 - c;
    return {(c + ax * ax * q) * v.x + (ax * ay * q + az * s) * v.y + (ax * az * q - ay * s) * v.z,
            (ax * ay * q - az * s) * v.x + (c + ay * ay * q) * v.y + (ay * az * q + ax * s) * v.z,
            (ax * az * q + ay * s) * v.x + (ay * az * q - ax * s) * v.y + (c + az * az * q) * v.z};
}

float distortRadius(float rho, float a, float b, float c) {
    return a * rho * rho * rho * rho + b * rho * rho * rho + c * rho * rho + (1 - a - b - c) * rho;
}

void lensPixel(const FisheyeLens* lens, const LensFrame& frame, int c, int r, float& px, float& py) {
    Vec3 d = gridDirection(c, r);
    px = py = 0;
    if (lens) {
        if (lens->yaw != 0) d = rotateAbout(d, kYawAxis, lens->yaw * kDegToRad);
        if (lens->pitch != 0) d = rotateAbout(d, kPitchAxis, lens->pitch * kDegToRad);
        if (lens->roll != 0) d = rotateAbout(d, kRollAxis, lens->roll * kDegToRad);
        const float theta = std::atan2(std::sqrt(d.x * d.x + d.z * d.z), d.y);
        const float rho = frame.fov != 0 ? (theta * 180.0f / kPi) / (frame.fov / 2) : 0;
        const float psi = std::atan2(d.z, d.x);
        const float bent = distortRadius(rho, lens->coefA, lens->coefB, lens->coefC);
        px = std::cos(psi) * bent * lens->radius + lens->centerX;
        py = std::sin(psi) * bent * lens->radius + lens->centerY;
    }
    px += frame.offsetX;
    py += frame.offsetY;
    px = frame.calibWidth != 0 ? frame.frameWidth * px / frame.calibWidth : 0;
    py = frame.calibHeight != 0 ? frame.frameHeight * py / frame.calibHeight : 0;
}

void twinsStripCoords(const FisheyeLens* lens, const LensFrame& frame, float divideX, float divideY, float* uv) {
    for (int r = 0; r < kGridRows; ++r) {
        for (int j = 0; j <= kGridColumns; ++j) {
            const int c = stripColumn(r, j);
            for (int edge = 0; edge < 2; ++edge) {
                float px, py;
                lensPixel(lens, frame, c, r + edge, px, py);
                const size_t k = stripIndex(r, j, edge, 2);
                uv[k] = px / divideX;
                uv[k + 1] = py / divideY;
            }
        }
    }
}

float seamAngle(float lensYaw) {
    const float angle = lensYaw + 270;
    return angle > 360 ? angle - 360 : angle;
}

int sphereLastRing(float fov) {
    const int rows = saturatedInt(std::ceil(double(fov) * kGridRows / 360.0));
    return rows < 2 ? -1 : std::min(rows - 2, kGridRows - 1);
}

void sphereStripCoords(float centerX, float centerY, double ringRadius, float fov, float frameWidth,
                       float frameHeight, float* uv) {
    const float delta = float(ringRadius * kRingStep / (double(fov) * 3.14159265358979 / 360.0));
    const int lastRing = sphereLastRing(fov);
    for (int i = 0; i <= lastRing; ++i) {
        for (int j = 0; j <= kGridColumns; ++j) {
            const float alpha = kRingStep * float(stripColumn(i, j));
            for (int edge = 0; edge < 2; ++edge) {
                const float radius = float(i + edge) * delta;
                const size_t k = stripIndex(i, j, edge, 2);
                uv[k] = (centerX + std::sin(alpha) * radius) / frameWidth;
                uv[k + 1] = (centerY + std::cos(alpha) * radius) / frameHeight;
            }
        }
    }
}

}  // namespace vistamo::lens
