#include "stitch_geometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace loomfold {
namespace {

TEST(StitchGeometry, GridIsOneZigZagStrip) {
    const std::vector<float> p = gridPositions();
    ASSERT_EQ(p.size(), size_t(kGridVertices) * 2);
    EXPECT_FLOAT_EQ(p[0], -1.0f);
    EXPECT_FLOAT_EQ(p[1], 1.0f);
    EXPECT_FLOAT_EQ(p[3], 0.975f);
    // The last vertex of row 0 and the first of row 1 share column 160.
    const size_t lastOfRow0 = (size_t(kGridColumns) * 2 + 1) * 2;
    EXPECT_FLOAT_EQ(p[lastOfRow0], 1.0f);
    EXPECT_FLOAT_EQ(p[lastOfRow0 + 2], 1.0f);
    EXPECT_FLOAT_EQ(p.back(), -1.0f);
}

TEST(StitchGeometry, LensPolynomialAndSeams) {
    EngineLens plain;
    EXPECT_FLOAT_EQ(distortRadius(0.37f, plain), 0.37f);  // all zero: equidistant
    EngineLens curved;
    curved.coefA = 0.3f;
    curved.coefB = -0.2f;
    curved.coefC = 0.1f;
    EXPECT_FLOAT_EQ(distortRadius(1.0f, curved), 1.0f);
    EXPECT_FLOAT_EQ(seamAngle(-180.0f), 90.0f);
    EXPECT_FLOAT_EQ(seamAngle(0.0f), 270.0f);
    EXPECT_FLOAT_EQ(seamAngle(150.0f), 60.0f);
}

TEST(StitchGeometry, TwinsCoordinatesDivideByTheLumaStride) {
    LensRecord r;
    r.fov = 200;
    r.calibWidth = 3840;
    r.calibHeight = 1920;
    r.frameWidth = 1920;
    r.frameHeight = 960;
    r.lenses[0].radius = 950;
    r.lenses[0].centerX = 960;
    r.lenses[0].centerY = 960;
    r.lenses[0].yaw = 0;
    const std::vector<float> tight = twinsTexCoords(r, 0, 1920);
    const std::vector<float> padded = twinsTexCoords(r, 0, 2048);
    // Grid point (80, 40) looks along the lens axis: the circle centre.
    const size_t at = ((size_t(40) * (kGridColumns + 1)) + 80) * 4;
    EXPECT_NEAR(tight[at], 480.0f / 1920, 1e-4);
    EXPECT_NEAR(tight[at + 1], 480.0f / 960, 1e-4);
    EXPECT_NEAR(padded[at], 480.0f / 2048, 1e-4);
}

TEST(StitchGeometry, SphereCoordinatesReachHalfTheFieldOfView) {
    LensRecord r;
    r.fov = 236;
    r.calibWidth = 3008;
    r.frameWidth = 1504;
    r.frameHeight = 752;
    r.lenses[0].radius = 700;
    r.lenses[0].centerX = 1504;
    r.lenses[0].centerY = 752;
    const std::vector<float> t = sphereTexCoords(r);
    // Row 0, every column: the circle centre, scaled by 1504 / 3008.
    EXPECT_NEAR(t[0], 752.0f / 1504, 1e-6);
    EXPECT_NEAR(t[1], 376.0f / 752, 1e-6);
    const int rows = int(std::ceil(236.0 * 80 / 360)) - 1;  // 52
    const size_t lastUsed = (size_t(rows - 1) * (kGridColumns + 1)) * 4;
    EXPECT_NE(t[lastUsed + 2], 0.0f);
    const size_t firstUnused = (size_t(rows) * (kGridColumns + 1)) * 4;
    EXPECT_EQ(t[firstUnused], 0.0f);
    EXPECT_EQ(t[firstUnused + 1], 0.0f);
    // The lower edge of the last used row lies fov / 2 × 80 / 180 rows down:
    // the radius in pixels times rows / (fov × 80 / 360).
    const float step = 350 * (3.14159265f / 80) / (236 * 3.14159265f / 360);
    EXPECT_NEAR(t[lastUsed + 3] * 752, 376 + rows * step, 0.05);
}

}  // namespace
}  // namespace loomfold
