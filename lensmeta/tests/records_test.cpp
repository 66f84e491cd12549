#include <gtest/gtest.h>

#include "lensmeta/lensmeta.h"

namespace {

TEST(Records, StartZeroed) {
    const LenParam l;
    EXPECT_EQ(l.radius, 0);
    EXPECT_EQ(l.coefE, 0.0f);
    const ImageData d;
    EXPECT_TRUE(d.calibText.empty());
    EXPECT_EQ(d.deviceType, 0);
    EXPECT_FALSE(d.calibrated);
    EXPECT_EQ(d.frameWidth, 0);
    EXPECT_EQ(d.fov2, 0.0f);
    EXPECT_EQ(d.auxFloat2, 0.0f);
    const PhotoParam p;
    EXPECT_EQ(p.cropLeft, 0);
    EXPECT_EQ(p.auxFloat2, 0.0);
    EXPECT_FALSE(p.flag);
    const PanoData pano;
    EXPECT_TRUE(pano.photos.empty());
    EXPECT_EQ(pano.panoHeight, 0);
}

TEST(Records, CopiesAreDeepAndSelfAssignmentIsSafe) {
    ImageData d;
    d.calibText = "6_x";
    d.fov = 200;
    d.lenses.resize(2);
    d.lenses[1].radius = 952;
    ImageData copy(d);
    ImageData assigned;
    assigned = d;
    d.lenses[1].radius = 1;
    d.calibText += "y";
    EXPECT_EQ(copy.lenses[1].radius, 952);
    EXPECT_EQ(assigned.lenses[1].radius, 952);
    EXPECT_EQ(assigned.calibText, "6_x");
    EXPECT_EQ(assigned.fov, 200.0f);
    ImageData& alias = assigned;
    assigned = alias;
    EXPECT_EQ(assigned.lenses.size(), 2u);

    PanoData pano;
    pano.panoWidth = 4000;
    pano.photos.resize(1);
    pano.photos[0].calibText = "2_y";
    pano.photos[0].offsetY = -3;
    PanoData panoCopy;
    panoCopy = pano;
    pano.photos.clear();
    ASSERT_EQ(panoCopy.photos.size(), 1u);
    EXPECT_EQ(panoCopy.photos[0].calibText, "2_y");
    EXPECT_EQ(panoCopy.photos[0].offsetY, -3.0);
    EXPECT_EQ(panoCopy.panoWidth, 4000);
    PanoData& panoAlias = panoCopy;
    panoCopy = panoAlias;
    EXPECT_EQ(panoCopy.photos.size(), 1u);
}

}  // namespace
