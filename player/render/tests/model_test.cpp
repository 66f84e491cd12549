// The sphere mesh and the coordinate tables of the three models.
#include <gtest/gtest.h>

#include <cmath>

#include "sphere_model.h"

namespace vistamo::render {
namespace {

size_t at(int ring, int j, int edge) { return (size_t(ring) * (kColumns + 1) + size_t(j)) * 2 + size_t(edge); }

TEST(SphereMesh, StripAndPositions) {
    GLSphereStandard m;
    m.buildMesh();
    // Vertex 0: grid point (0, 0), the top pole.
    EXPECT_NEAR(m.positions[1], 1.0f, 1e-6);
    // Row 1 of ring 0 at longitude 0: (cos φ, sin φ, 0) with φ = π/2 − π/80.
    const size_t v1 = at(0, 0, 1) * 3;
    EXPECT_NEAR(m.positions[v1], std::cos(1.5707964f - 0.03926991f), 1e-6);
    EXPECT_NEAR(m.positions[v1 + 2], 0.0f, 1e-6);
    // The last vertex of ring i and the first of ring i + 1 share a meridian.
    for (int ring = 0; ring + 1 < kRings; ++ring) {
        const size_t last = at(ring, kColumns, 1) * 3, first = at(ring + 1, 0, 0) * 3;
        EXPECT_NEAR(m.positions[last], m.positions[first], 1e-5) << ring;
        EXPECT_NEAR(m.positions[last + 2], m.positions[first + 2], 1e-5) << ring;
    }
    // Every vertex lies on the unit sphere.
    for (size_t k = 0; k < m.positions.size(); k += 3) {
        const float r = std::sqrt(m.positions[k] * m.positions[k] + m.positions[k + 1] * m.positions[k + 1] +
                                  m.positions[k + 2] * m.positions[k + 2]);
        ASSERT_NEAR(r, 1.0f, 1e-5);
    }
}

TEST(SphereMesh, StandardCoordinates) {
    GLSphereStandard m;
    m.buildDefaultTexCoords();
    EXPECT_FLOAT_EQ(m.texCoordA[0], 0.0f);
    EXPECT_FLOAT_EQ(m.texCoordA[1], 0.0f);
    const size_t last = at(0, kColumns, 1) * 2;
    EXPECT_FLOAT_EQ(m.texCoordA[last], 1.0f);
    EXPECT_FLOAT_EQ(m.texCoordA[last + 1], 0.0125f);
    const size_t ring1 = at(1, 0, 0) * 2;
    EXPECT_FLOAT_EQ(m.texCoordA[ring1], 1.0f);  // odd rings start at column 160
}


ImageData sphereRecord(int radius, int cx, int cy, float fov) {
    ImageData d;
    d.frameWidth = 1920;
    d.frameHeight = 1920;
    d.fov = fov;
    LenParam lens;
    lens.radius = radius;
    lens.centerX = cx;
    lens.centerY = cy;
    d.lenses.push_back(lens);
    return d;
}

TEST(SphereModelCoords, EffectiveRadiusMatchesTheRuleAndNeverOverflows) {
    // The rings stop 3 or 4 pixels inside the recorded radius, on the even
    // steps from the centre, so the circle's blurred rim stays out; a circle
    // that crosses the frame's left edge keeps its radius; none gives 0.
    struct Case {
        int radius, centerX, effective;
    };
    for (const Case& c : {Case{700, 960, 696}, Case{701, 960, 698}, Case{702, 961, 698}, Case{5, 10, 2},
                          Case{6, 10, 2}, Case{700, 500, 700}, Case{40, 30, 40}, Case{40, 39, 36}, Case{4, 10, 0},
                          Case{0, 10, 0}, Case{-3, 5, 0}, Case{10, -5, 10}})
        EXPECT_EQ(GLSphereFishEye::effectiveRadius(c.radius, c.centerX), c.effective) << c.radius << " " << c.centerX;
    EXPECT_EQ(GLSphereFishEye::effectiveRadius(2147483647, 2147483647), 2147483644);
    EXPECT_EQ(GLSphereFishEye::effectiveRadius(2147483647, -2147483647 - 1), 2147483647);
    EXPECT_EQ(saturatedInt(1e30), 2147483647);
    EXPECT_EQ(saturatedInt(-1e30), -2147483647 - 1);
    // A field of view at the float limit builds the rings it can, no more.
    GLSphereFishEye m;
    m.setImageData(sphereRecord(700, 960, 960, 3.4e38f));
    EXPECT_NEAR(m.texCoordA[0] * 1920, 960, 1e-3);
}

TEST(SphereModelCoords, EquidistantLensRings) {
    EXPECT_EQ(GLSphereFishEye::effectiveRadius(700, 960), 696);
    EXPECT_EQ(GLSphereFishEye::effectiveRadius(700, 500), 700);  // crosses the left edge
    GLSphereFishEye m;
    m.setImageData(sphereRecord(700, 960, 960, 236));
    // Ring 0 maps to the circle centre for every column.
    for (int j = 0; j <= kColumns; j += 40) {
        EXPECT_NEAR(m.texCoordA[at(0, j, 0) * 2] * 1920, 960, 1e-3);
        EXPECT_NEAR(m.texCoordA[at(0, j, 0) * 2 + 1] * 1920, 960, 1e-3);
    }
    // 236 degrees: n = 53, grid rows 0..52 carry coordinates (rings 0..51),
    // the rest stay zero.
    const float delta = 696 * 0.03926991f / (236 * 3.14159265f / 360);
    EXPECT_NEAR(m.texCoordA[at(51, 0, 1) * 2 + 1] * 1920, 960 + 52 * delta, 0.05);
    EXPECT_EQ(m.texCoordA[at(52, 0, 0) * 2], 0.0f);
    // A record without exactly one lens leaves the coordinates alone.
    GLSphereFishEye none;
    ImageData empty;
    none.setImageData(empty);
    EXPECT_EQ(none.texCoordA[0], 0.0f);
}

ImageData twinsRecord(float yaw0, float yaw1) {
    ImageData d;
    d.frameWidth = 3840;
    d.frameHeight = 1920;
    d.calibWidth = 3840;
    d.calibHeight = 1920;
    d.fov = 200;
    d.fov2 = 200;
    d.offsetX = 3;
    d.offsetY = -2;
    for (int k = 0; k < 2; ++k) {
        LenParam lens;
        lens.radius = 950;
        lens.centerX = k == 0 ? 960 : 2880;
        lens.centerY = 960;
        lens.yaw = k == 0 ? yaw0 : yaw1;
        d.lenses.push_back(lens);
    }
    return d;
}

TEST(TwinsModelCoords, SeamsAndLensAxis) {
    GLSphere2FishEye m;
    m.setImageData(twinsRecord(0, 180));
    EXPECT_FLOAT_EQ(m.yaw0, 270.0f);
    EXPECT_FLOAT_EQ(m.yaw1, 90.0f);
    m.setImageData(twinsRecord(200, 180));
    EXPECT_FLOAT_EQ(m.yaw0, 110.0f);
    // Grid point (80, 40) looks along lens 0's axis: its centre plus the offsets.
    m.setImageData(twinsRecord(0, 180));
    float px, py;
    m.lensPixel(80, 40, 0, px, py);
    EXPECT_NEAR(px, 960 + 3, 1e-3);
    EXPECT_NEAR(py, 960 - 2, 1e-3);
    EXPECT_NEAR(m.texCoordA[at(40, 80, 0) * 2], (960 + 3) / 3840.0f, 1e-6);
}

TEST(TwinsModelCoords, WithoutTwoLensesEverythingLandsOnTheOffsets) {
    GLSphere2FishEye m;
    ImageData d = twinsRecord(0, 180);
    d.lenses.resize(1);
    m.yaw0 = 12;
    m.setImageData(d);
    EXPECT_NEAR(m.texCoordA[0] * 3840, 3, 1e-3);
    EXPECT_NEAR(m.texCoordB[at(40, 7, 1) * 2 + 1] * 1920, -2, 1e-3);
    EXPECT_FLOAT_EQ(m.yaw0, 12.0f);  // seams keep their values
}

}  // namespace
}  // namespace vistamo::render
