#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fisheye_lens.h"
#include "seam_blend.h"

namespace lens = vistamo::lens;

TEST(SeamBlend, FadesAcrossBothSeamsAndHoldsBetween) {
    // Seams at 90 and 270 with a 10-degree half band.
    EXPECT_FLOAT_EQ(lens::seamWeightB(0.0f, 90, 270, 10), 0.0f);
    EXPECT_FLOAT_EQ(lens::seamWeightB(80.0f, 90, 270, 10), 0.0f);
    EXPECT_FLOAT_EQ(lens::seamWeightB(85.0f, 90, 270, 10), 0.25f);
    EXPECT_FLOAT_EQ(lens::seamWeightB(90.0f, 90, 270, 10), 0.5f);
    EXPECT_FLOAT_EQ(lens::seamWeightB(100.5f, 90, 270, 10), 1.0f);
    EXPECT_FLOAT_EQ(lens::seamWeightB(180.0f, 90, 270, 10), 1.0f);
    EXPECT_FLOAT_EQ(lens::seamWeightB(270.0f, 90, 270, 10), 0.5f);
    EXPECT_FLOAT_EQ(lens::seamWeightB(275.0f, 90, 270, 10), 0.25f);
    EXPECT_FLOAT_EQ(lens::seamWeightB(300.0f, 90, 270, 10), 0.0f);
    // The weight never leaves 0..1 and never jumps by more than a band step.
    float last = lens::seamWeightB(0.0f, 90, 270, 10);
    for (float d = 0.25f; d <= 360.0f; d += 0.25f) {
        const float w = lens::seamWeightB(d, 90, 270, 10);
        ASSERT_GE(w, 0.0f);
        ASSERT_LE(w, 1.0f);
        ASSERT_LE(std::abs(w - last), 0.25f / 20.0f + 1e-5f) << d;
        last = w;
    }
}

TEST(SeamBlend, BandsThatCrossZeroWrap) {
    // A seam at 5 degrees fades across 355..15: 360 and 0 are the same place.
    EXPECT_NEAR(lens::seamWeightB(359.0f, 5, 180, 10), 0.2f, 1e-5f);
    EXPECT_NEAR(lens::seamWeightB(1.0f, 5, 180, 10), 0.3f, 1e-5f);
    // The far seam at 355 fades B back to A across 345..365.
    EXPECT_NEAR(lens::seamWeightB(2.0f, 180, 355, 10), 1.0f - (362.0f - 345.0f) / 20.0f, 1e-5f);
}

TEST(SeamBlend, TwinsRuleWhicheverSeamComesFirst) {
    // yaw0 > yaw1 turns the band inside out: A between them, B outside.
    for (float d = 0.0f; d < 360.0f; d += 7.0f)
        EXPECT_NEAR(lens::twinsWeightB(d, 270, 90, 10), 1.0f - lens::twinsWeightB(d, 90, 270, 10), 1e-6f) << d;
    EXPECT_FLOAT_EQ(lens::twinsWeightB(180.0f, 120, 120, 10), 0.0f);
}

TEST(SeamBlend, StripWeightsFollowEachVertexMeridian) {
    std::vector<float> weights(lens::kStripVertices, -1.0f);
    lens::twinsStripWeights(90, 270, 10, weights.data());
    for (int row : {0, 1, 40, lens::kGridRows - 1})
        for (int j = 0; j <= lens::kGridColumns; ++j) {
            const float degree = float(lens::stripColumn(row, j)) * 360.0f / float(lens::kGridColumns);
            const float expected = lens::twinsWeightB(degree, 90, 270, 10);
            ASSERT_FLOAT_EQ(weights[lens::stripIndex(row, j, 0, 1)], expected) << row << " " << j;
            ASSERT_FLOAT_EQ(weights[lens::stripIndex(row, j, 1, 1)], expected) << row << " " << j;
        }
}

TEST(SeamBlend, StripTrianglesSplitByTheLensesTheyShow) {
    // Six vertices, four triangles: A alone, A into the band, the band into
    // B, B alone.
    const float weights[] = {0, 0, 0, 0.5f, 1, 1};
    lens::TwinsTriangles t = lens::twinsStripTriangles(weights, 6);
    EXPECT_EQ(t.lensA, (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(t.blend, (std::vector<uint32_t>{1, 2, 3, 2, 3, 4, 3, 4, 5}));
    EXPECT_TRUE(t.lensB.empty());
    const float twoB[] = {1, 1, 1, 1};
    t = lens::twinsStripTriangles(twoB, 4);
    EXPECT_EQ(t.lensB, (std::vector<uint32_t>{0, 1, 2, 1, 2, 3}));
    EXPECT_TRUE(lens::twinsStripTriangles(twoB, 2).lensB.empty());

    // The whole sphere: every strip triangle lands in exactly one set, and
    // the blend set is only the two bands (a small share of the sphere).
    std::vector<float> weights2(lens::kStripVertices);
    lens::twinsStripWeights(90, 270, 10, weights2.data());
    t = lens::twinsStripTriangles(weights2.data(), lens::kStripVertices);
    const size_t triangles = size_t(lens::kStripVertices - 2);
    EXPECT_EQ((t.lensA.size() + t.lensB.size() + t.blend.size()) / 3, triangles);
    EXPECT_LT(t.blend.size() / 3, triangles / 5);
    for (size_t k = 0; k < t.lensB.size(); ++k)
        ASSERT_EQ(weights2[t.lensB[k]], 1.0f);
    for (size_t k = 0; k < t.lensA.size(); ++k)
        ASSERT_EQ(weights2[t.lensA[k]], 0.0f);
}
