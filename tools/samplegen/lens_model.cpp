#include "lens_model.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "calib_tokens.h"

namespace samplegen {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegToRad = kPi / 180.0;

struct Vec3 {
    double x, y, z;
};

// Rotation of v about axis a by angle t, in the renderer's convention.
Vec3 rotateAbout(Vec3 a, double t, Vec3 v) {
    double n = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
    a = {a.x / n, a.y / n, a.z / n};
    double c = std::cos(t), s = std::sin(t), q = 1 - c;
    return {
        (c + a.x * a.x * q) * v.x + (a.x * a.y * q + a.z * s) * v.y + (a.x * a.z * q - a.y * s) * v.z,
        (a.x * a.y * q - a.z * s) * v.x + (c + a.y * a.y * q) * v.y + (a.y * a.z * q + a.x * s) * v.z,
        (a.x * a.z * q + a.y * s) * v.x + (a.y * a.z * q - a.x * s) * v.y + (c + a.z * a.z * q) * v.z,
    };
}

constexpr Vec3 kYawAxis{0, 0, -1};
constexpr Vec3 kPitchAxis{-1, 0, 0};
constexpr Vec3 kRollAxis{0, -1, 0};

double distort(double rho, const TwinsLens& l) {
    double a = l.coefA, b = l.coefB, c = l.coefC;
    return a * rho * rho * rho * rho + b * rho * rho * rho + c * rho * rho + (1 - a - b - c) * rho;
}

// Solves distort(rho) = target for rho by Newton steps from rho = target;
// the sample lenses' polynomials are monotonic on [0, 1.2].
double undistort(double target, const TwinsLens& l) {
    double a = l.coefA, b = l.coefB, c = l.coefC;
    double rho = target;
    for (int i = 0; i < 20; ++i) {
        double f = distort(rho, l) - target;
        double df = 4 * a * rho * rho * rho + 3 * b * rho * rho + 2 * c * rho + (1 - a - b - c);
        if (std::fabs(df) < 1e-9)
            break;
        double step = f / df;
        rho -= step;
        if (std::fabs(step) < 1e-12)
            break;
    }
    return rho;
}

}  // namespace

bool parseTwinsCalibration(const std::string& text, TwinsCalibration& out) {
    std::vector<double> v;
    for (const std::string& token : vistamo::lens::splitCalibText(text))
        v.push_back(std::strtod(token.c_str(), nullptr));
    if (v.size() < 27 || v[0] != 6)
        return false;
    for (int k = 0; k < 2; ++k) {
        TwinsLens& l = out.lenses[k];
        const double* p = &v[size_t(1 + 6 * k)];
        l.radius = p[0]; l.centerX = p[1]; l.centerY = p[2];
        l.yaw = p[3]; l.pitch = p[4]; l.roll = p[5];
        const double* c = &v[size_t(19 + 3 * k)];
        l.coefA = c[0]; l.coefB = c[1]; l.coefC = c[2];
    }
    out.calibWidth = int(v[13]);
    out.calibHeight = int(v[14]);
    out.offsetX = v[15];
    out.offsetY = v[16];
    out.fov = v[25];
    return true;
}

int rendererEffectiveRadius(int radius, int centerX) {
    int p = centerX;
    const int t = centerX - radius;
    if (p <= t)
        return 0;
    for (;;) {
        if (std::abs(p - t) <= 4 || p < 0)
            break;
        p -= 2;
    }
    return p < 0 ? radius : centerX - p;
}

void twinsSceneToLensPixel(const TwinsCalibration& data, int lensIndex, double x, double y,
                           double& px, double& py) {
    const TwinsLens& lens = data.lenses[size_t(lensIndex)];
    double lon = x * kPi, lat = y * kPi / 2;
    Vec3 d{std::cos(lat) * std::sin(lon), std::cos(lat) * std::cos(lon), std::sin(lat)};
    if (lens.yaw != 0) d = rotateAbout(kYawAxis, lens.yaw * kDegToRad, d);
    if (lens.pitch != 0) d = rotateAbout(kPitchAxis, lens.pitch * kDegToRad, d);
    if (lens.roll != 0) d = rotateAbout(kRollAxis, lens.roll * kDegToRad, d);
    double theta = std::atan2(std::sqrt(d.x * d.x + d.z * d.z), d.y);
    double rho = (theta / kDegToRad) / (data.fov / 2);
    double psi = std::atan2(d.z, d.x);
    double r = distort(rho, lens);
    double R = lens.radius;
    px = ((std::cos(psi) * r + 1) * 0.5) * 2 * R + (lens.centerX - R) + data.offsetX;
    py = ((std::sin(psi) * r + 1) * 0.5) * 2 * R + (lens.centerY - R) + data.offsetY;
}

SceneUv twinsPixelToScene(const TwinsCalibration& data, int frameWidth, int frameHeight,
                          double frameX, double frameY) {
    SceneUv out;
    // Frame pixels to calibration pixels, then undo the offsets.
    double px = frameX * data.calibWidth / frameWidth - data.offsetX;
    double py = frameY * data.calibHeight / frameHeight - data.offsetY;
    for (int k = 0; k < 2; ++k) {
        const TwinsLens& lens = data.lenses[size_t(k)];
        double ux = (px - lens.centerX) / lens.radius;
        double uy = (py - lens.centerY) / lens.radius;
        double r = std::sqrt(ux * ux + uy * uy);
        if (r > 1.0)
            continue;
        double psi = std::atan2(uy, ux);
        double theta = undistort(r, lens) * (data.fov / 2) * kDegToRad;
        Vec3 d{std::sin(theta) * std::cos(psi), std::cos(theta), std::sin(theta) * std::sin(psi)};
        // Undo roll, pitch and yaw, in that order.
        if (lens.roll != 0) d = rotateAbout(kRollAxis, -lens.roll * kDegToRad, d);
        if (lens.pitch != 0) d = rotateAbout(kPitchAxis, -lens.pitch * kDegToRad, d);
        if (lens.yaw != 0) d = rotateAbout(kYawAxis, -lens.yaw * kDegToRad, d);
        double lon = std::atan2(d.x, d.y);                     // [-pi, pi]
        double lat = std::asin(std::clamp(d.z, -1.0, 1.0));   // [-pi/2, pi/2]
        out.u = float((lon / kPi + 1) / 2);
        out.v = float((lat / (kPi / 2) + 1) / 2);
        out.inside = true;
        return out;
    }
    return out;
}

SceneUv spherePixelToScene(double centerX, double centerY, double effectiveRadius,
                           double circleRadius, double fovDeg, double frameX, double frameY) {
    SceneUv out;
    double dx = frameX - centerX, dy = frameY - centerY;
    double r = std::sqrt(dx * dx + dy * dy);
    if (r > circleRadius)
        return out;
    // Longitude is the angle around the centre from +y towards +x; colatitude
    // grows linearly with the distance from the centre.
    double alpha = std::atan2(dx, dy);
    if (alpha < 0)
        alpha += 2 * kPi;
    double colatitude = r / effectiveRadius * (fovDeg / 2) * kDegToRad;
    out.u = float(alpha / (2 * kPi));
    out.v = float(std::min(colatitude / kPi, 1.0));
    out.inside = true;
    return out;
}

}  // namespace samplegen
