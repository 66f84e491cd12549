#include "scene.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace samplegen {
namespace {

// 5 × 7 glyphs for the labels, one byte a row, bit 4 the leftmost column.
struct Glyph {
    char c;
    uint8_t rows[7];
};
constexpr Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'+', {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
};

bool glyphPixel(char c, int col, int row) {
    for (const Glyph& g : kGlyphs)
        if (g.c == c)
            return (g.rows[row] >> (4 - col)) & 1;
    return false;
}

Rgb hsv(double hueDeg, double s, double v) {
    double h = std::fmod(hueDeg, 360.0) / 60.0;
    int i = int(h);
    double f = h - i, p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    double r, g, b;
    switch (i) {
    case 0: r = v; g = t; b = p; break;
    case 1: r = q; g = v; b = p; break;
    case 2: r = p; g = v; b = t; break;
    case 3: r = p; g = q; b = v; break;
    case 4: r = t; g = p; b = v; break;
    default: r = v; g = p; b = q; break;
    }
    return {float(r * 255), float(g * 255), float(b * 255)};
}

// Label glyph cell in degrees; a label is centred in its 30-degree band.
constexpr double kCellLon = 1.6;
constexpr double kCellLat = 1.2;

// True when (lon, lat) lies on a lit pixel of the label of its cell: the
// band's longitude on the equator, the latitude at ±30 and ±60.
bool onLabel(double lon, double lat) {
    const int band = int(lon / 30.0);
    const double centreLon = band * 30.0 + 15.0;
    const int labelLats[] = {60, 30, 0, -30, -60};
    for (int labelLat : labelLats) {
        char text[8];
        if (labelLat == 0)
            std::snprintf(text, sizeof text, "%d", band * 30);
        else
            std::snprintf(text, sizeof text, "%+d", labelLat);
        const int n = int(std::strlen(text));
        // Widen cells towards the poles so labels keep their shape on the sphere.
        const double cellLon = kCellLon / std::cos(labelLat * M_PI / 180.0);
        const double left = centreLon - n * 6 * cellLon / 2;
        const double top = labelLat + 3.5 * kCellLat;
        const double cx = (lon - left) / cellLon, cy = (top - lat) / kCellLat;
        if (cx < 0 || cy < 0 || cx >= n * 6 || cy >= 7)
            continue;
        const int ch = int(cx) / 6, col = int(cx) % 6, row = int(cy);
        return col < 5 && glyphPixel(text[ch], col, row);
    }
    return false;
}

// Distance in degrees from x to the nearest multiple of step.
double gridDistance(double x, double step) {
    double m = std::fmod(x, step);
    if (m < 0) m += step;
    return std::min(m, step - m);
}

// The scene colour at longitude lon in [0, 360) and latitude lat in
// [-90, 90] (+90 at the top row).
Rgb sceneColour(double lon, double lat) {
    const double band = std::floor(lon / 30.0);
    const double brightness = 0.30 + 0.65 * (lat + 90.0) / 180.0;
    Rgb c = hsv(band * 30.0 + 15.0, 0.70, brightness);
    const double dLon = gridDistance(lon, 15.0), dLat = gridDistance(lat, 15.0);
    const bool major = gridDistance(lon, 30.0) < 0.35 || gridDistance(lat, 30.0) < 0.35;
    if (major) {
        c = {20, 20, 20};
    } else if (dLon < 0.18 || dLat < 0.18) {
        c = {c.r * 0.45f, c.g * 0.45f, c.b * 0.45f};
    }
    if (std::fabs(lat) < 70 && onLabel(lon, lat))
        c = {245, 245, 245};
    return c;
}

}  // namespace

Scene::Scene(int masterWidth) : width_(masterWidth), height_(masterWidth / 2) {
    rgb_.resize(size_t(width_) * height_ * 3);
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            float r = 0, g = 0, b = 0;
            for (int sy = 0; sy < 2; ++sy) {
                for (int sx = 0; sx < 2; ++sx) {
                    double lon = (x + 0.25 + 0.5 * sx) * 360.0 / width_;
                    double lat = 90.0 - (y + 0.25 + 0.5 * sy) * 180.0 / height_;
                    Rgb c = sceneColour(lon, lat);
                    r += c.r; g += c.g; b += c.b;
                }
            }
            uint8_t* p = &rgb_[(size_t(y) * width_ + x) * 3];
            p[0] = uint8_t(std::lround(r / 4));
            p[1] = uint8_t(std::lround(g / 4));
            p[2] = uint8_t(std::lround(b / 4));
        }
    }
}

Rgb Scene::texel(int x, int y) const {
    x %= width_;
    if (x < 0) x += width_;
    y = std::clamp(y, 0, height_ - 1);
    const uint8_t* p = &rgb_[(size_t(y) * width_ + x) * 3];
    return {float(p[0]), float(p[1]), float(p[2])};
}

Rgb Scene::sample(double u, double v, double turn) const {
    // Texel centres sit at half-integer positions, as in GL sampling.
    double fx = (u + turn) * width_ - 0.5;
    double fy = v * height_ - 0.5;
    int x0 = int(std::floor(fx)), y0 = int(std::floor(fy));
    float ax = float(fx - x0), ay = float(fy - y0);
    Rgb a = texel(x0, y0), b = texel(x0 + 1, y0), c = texel(x0, y0 + 1), d = texel(x0 + 1, y0 + 1);
    auto mix = [](float p, float q, float t) { return p + (q - p) * t; };
    return {mix(mix(a.r, b.r, ax), mix(c.r, d.r, ax), ay),
            mix(mix(a.g, b.g, ax), mix(c.g, d.g, ax), ay),
            mix(mix(a.b, b.b, ax), mix(c.b, d.b, ax), ay)};
}

}  // namespace samplegen
