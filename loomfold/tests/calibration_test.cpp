#include "calibration.h"

#include <gtest/gtest.h>

namespace loomfold {
namespace {

const std::string kTwins = "6_952_960_960_-30_0.8_-0.6_952_2880_960_30_-0.5_0.7_3840_1920"
                           "_1.5_-2.5_0.25_0.75_0.02_-0.05_0.08_-0.03_0.04_0.06_200_190";

TEST(EngineCalibration, TwoLensReadingTurnsEachYawHalfAround) {
    LensRecord r;
    ASSERT_TRUE(parseTwoLensCalibration(kTwins, r));
    EXPECT_EQ(r.deviceType, 6);
    EXPECT_FLOAT_EQ(r.lenses[0].yaw, 150.0f);   // −30 → 150
    EXPECT_FLOAT_EQ(r.lenses[1].yaw, -150.0f);  // 30 → −150
    EXPECT_FLOAT_EQ(r.lenses[0].pitch, 0.8f);
    EXPECT_EQ(r.lenses[1].centerX, 2880);
    EXPECT_EQ(r.calibWidth, 3840);
    EXPECT_FLOAT_EQ(r.lenses[0].offsetX, 1.5f);
    EXPECT_FLOAT_EQ(r.lenses[1].offsetY, -2.5f);  // the same offsets for both lenses
    EXPECT_FLOAT_EQ(r.lenses[1].coefC, 0.06f);
    EXPECT_FLOAT_EQ(r.fov, 200.0f);
    EXPECT_FLOAT_EQ(r.fov2, 190.0f);
    LensRecord zero;
    ASSERT_TRUE(parseTwoLensCalibration("6_1_2_3_0_0_0_1_2_3_0_0_0_4_5_0_0_0_0_0_0_0_0_0_0_190_190", zero));
    EXPECT_FLOAT_EQ(zero.lenses[0].yaw, -180.0f);
}

TEST(EngineCalibration, OtherTwoLensLayoutsHaveNoCoefficients) {
    for (const char* text : {"2_900_960_960_0_0_0_900_2880_960_180_0_0_3840_1920_7_8_195_196",
                             "4_900_960_960_0_0_0_900_2880_960_180_0_0_3840_1920_7_8_195_196"}) {
        LensRecord r;
        ASSERT_TRUE(parseTwoLensCalibration(text, r)) << text;
        EXPECT_EQ(r.lenses[0].coefA, 0.0f);
        EXPECT_EQ(r.lenses[1].coefC, 0.0f);
        EXPECT_FLOAT_EQ(r.fov, 195.0f);  // tokens 17 and 18, not 15 and 16
        EXPECT_FLOAT_EQ(r.fov2, 196.0f);
        EXPECT_FLOAT_EQ(r.lenses[1].yaw, 0.0f);
    }
}

TEST(EngineCalibration, RefusedTextsLeaveTheRecord) {
    LensRecord r;
    r.fov = 123;
    for (const std::string& text : {std::string(""), std::string("5_1_2_3_4_5_6_7_8_9"), std::string("7_1"),
                                   kTwins.substr(0, kTwins.rfind('_')),
                                   std::string("2_1_2_3_4_5_6_7_8_9_10_11_12_13_14_15_16_17")}) {
        EXPECT_FALSE(parseTwoLensCalibration(text, r)) << text;
        EXPECT_EQ(r.fov, 123.0f);
    }
}

TEST(EngineCalibration, SingleLensReading) {
    LensRecord r;
    EXPECT_FALSE(parseSingleLensCalibration("5_1_2_3", r));
    EXPECT_FALSE(parseSingleLensCalibration(kTwins, r));
    ASSERT_TRUE(parseSingleLensCalibration("5_700.9_960_940_1920_1920_236_0.1_0.2_0.3", r));
    EXPECT_EQ(r.lenses[0].radius, 700);
    EXPECT_EQ(r.calibHeight, 1920);
    EXPECT_FLOAT_EQ(r.fov, 236.0f);
    EXPECT_FLOAT_EQ(r.lenses[0].coefC, 0.3f);
    LensRecord standard;
    EXPECT_FALSE(parseCalibrationForMode(1, kTwins, standard));
    EXPECT_TRUE(parseCalibrationForMode(0, kTwins, standard));
}

}  // namespace
}  // namespace loomfold
