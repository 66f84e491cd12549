#include "calib_text.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>

namespace lensmeta {
namespace {

const std::string kTwins =
    "6_952_960_960_0_0.8_-0.6_952_2880_960_180_-0.5_0.7_3840_1920"
    "_1.5_-2.5_0.25_0.75_0.02_-0.05_0.08_-0.03_0.04_0.06_200_195";
const std::string kGeneral = "2_900_960_950_1_2_3_901_2880_951_181_4_5_3840_1920_4000_2000_195_190";
const std::string kType3 = "3_900_960_950_1_2_3_901_2880_951_181_4_5_3840_1920_4000_2000_195_190";
const std::string kType4 = "4_900_960_950_1_2_3_901_2880_951_181_4_5_3840_1920_191_192_0.33";
const std::string kSingle = "5_700_960_940_1920_1920_236_0.1_0.2_0.3";

// The text without its last n tokens.
std::string dropTokens(const std::string& text, int n) {
    std::string s = text;
    for (int i = 0; i < n; ++i)
        s.erase(s.rfind('_'));
    return s;
}

TEST(CalibTextTokens, SplitDropsEmptyTokens) {
    EXPECT_EQ(splitCalibText("a__b_"), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(splitCalibText("").empty());
    EXPECT_TRUE(splitCalibText("___").empty());
    EXPECT_EQ(splitCalibText("_6_1"), (std::vector<std::string>{"6", "1"}));
}

TEST(CalibTextTokens, IntegersReadLikeAStream) {
    EXPECT_EQ(readIntToken("952"), 952);
    EXPECT_EQ(readIntToken("3.9"), 3);
    EXPECT_EQ(readIntToken("  -12x"), -12);
    EXPECT_EQ(readIntToken("+7"), 7);
    // No number at all reads as 0.
    EXPECT_EQ(readIntToken("abc"), 0);
    EXPECT_EQ(readIntToken(""), 0);
    EXPECT_EQ(readIntToken("-"), 0);
    EXPECT_EQ(readIntToken("99999999999999999999"), INT_MAX);
    EXPECT_EQ(readIntToken("-99999999999999999999"), INT_MIN);
    EXPECT_EQ(readIntToken("2147483648"), INT_MAX);
    EXPECT_EQ(readIntToken("-2147483648"), INT_MIN);
}

TEST(CalibTextTokens, FloatsAreDecimalOnly) {
    EXPECT_FLOAT_EQ(readFloatToken("0.8"), 0.8f);
    EXPECT_FLOAT_EQ(readFloatToken("-0.6"), -0.6f);
    EXPECT_FLOAT_EQ(readFloatToken(".5"), 0.5f);
    EXPECT_FLOAT_EQ(readFloatToken("1e3"), 1000.0f);
    EXPECT_FLOAT_EQ(readFloatToken("3abc"), 3.0f);
    EXPECT_EQ(readFloatToken("inf"), 0.0f);
    EXPECT_EQ(readFloatToken("-nan"), 0.0f);
    EXPECT_EQ(readFloatToken("x1"), 0.0f);
    EXPECT_EQ(readFloatToken(""), 0.0f);
    EXPECT_EQ(readFloatToken("1e99"), FLT_MAX);
    EXPECT_EQ(readFloatToken("-1e99"), -FLT_MAX);
    EXPECT_EQ(readFloatToken("1e-99"), 0.0f);
}

TEST(CalibTextImageData, DeviceType6) {
    ImageData d;
    fillImageData(d, kTwins);
    EXPECT_EQ(d.calibText, kTwins);
    EXPECT_EQ(d.deviceType, 6);
    EXPECT_FALSE(d.calibrated);
    EXPECT_EQ(d.calibWidth, 3840);
    EXPECT_EQ(d.calibHeight, 1920);
    EXPECT_FLOAT_EQ(d.offsetX, 1.5f);
    EXPECT_FLOAT_EQ(d.offsetY, -2.5f);
    EXPECT_FLOAT_EQ(d.auxFloat1, 0.25f);
    EXPECT_FLOAT_EQ(d.auxFloat2, 0.75f);
    EXPECT_FLOAT_EQ(d.fov, 200.0f);
    EXPECT_FLOAT_EQ(d.fov2, 195.0f);
    EXPECT_EQ(d.panoWidth, 0);
    ASSERT_EQ(d.lenses.size(), 2u);
    const LenParam& a = d.lenses[0];
    const LenParam& b = d.lenses[1];
    EXPECT_EQ(a.radius, 952);
    EXPECT_EQ(a.centerX, 960);
    EXPECT_EQ(a.centerY, 960);
    EXPECT_FLOAT_EQ(a.pitch, 0.8f);
    EXPECT_FLOAT_EQ(a.roll, -0.6f);
    EXPECT_EQ(b.centerX, 2880);
    EXPECT_FLOAT_EQ(b.yaw, 180.0f);
    EXPECT_FLOAT_EQ(b.pitch, -0.5f);
    EXPECT_FLOAT_EQ(b.roll, 0.7f);
    EXPECT_FLOAT_EQ(a.coefA, 0.02f);
    EXPECT_FLOAT_EQ(a.coefB, -0.05f);
    EXPECT_FLOAT_EQ(a.coefC, 0.08f);
    EXPECT_FLOAT_EQ(b.coefA, -0.03f);
    EXPECT_FLOAT_EQ(b.coefB, 0.04f);
    EXPECT_FLOAT_EQ(b.coefC, 0.06f);
    EXPECT_EQ(a.coefD, 0.0f);
}

TEST(CalibTextImageData, DeviceTypes2And3AndTheGeneralLayout) {
    ImageData two;
    fillImageData(two, kGeneral);
    ASSERT_EQ(two.lenses.size(), 2u);
    EXPECT_EQ(two.panoWidth, 4000);
    EXPECT_EQ(two.panoHeight, 2000);
    EXPECT_FLOAT_EQ(two.fov, 195.0f);
    EXPECT_FLOAT_EQ(two.fov2, 190.0f);
    for (const LenParam& l : two.lenses) {
        EXPECT_FLOAT_EQ(l.coefA, 1.014f);
        EXPECT_FLOAT_EQ(l.coefB, -7.455f);
        EXPECT_FLOAT_EQ(l.coefC, 8.474f);
        EXPECT_FLOAT_EQ(l.coefD, 0.0183f);
        EXPECT_FLOAT_EQ(l.coefE, 0.0007f);
    }
    ImageData three;
    fillImageData(three, kType3);
    ASSERT_EQ(three.lenses.size(), 2u);
    EXPECT_EQ(three.lenses[1].coefA, 0.0f);
    EXPECT_EQ(three.lenses[1].coefE, 0.0f);
    EXPECT_FLOAT_EQ(three.lenses[1].yaw, 181.0f);
}

TEST(CalibTextImageData, DeviceType4) {
    ImageData d;
    fillImageData(d, kType4);
    ASSERT_EQ(d.lenses.size(), 2u);
    EXPECT_FLOAT_EQ(d.fov, 191.0f);
    EXPECT_FLOAT_EQ(d.fov2, 192.0f);
    EXPECT_FLOAT_EQ(d.lenses[0].coefC, 0.33f);
    EXPECT_FLOAT_EQ(d.lenses[1].coefC, 0.33f);
    EXPECT_EQ(d.lenses[0].coefA, 0.0f);
    EXPECT_EQ(d.panoWidth, 0);
}

TEST(CalibTextImageData, SingleLens) {
    ImageData d;
    fillImageData(d, kSingle);
    EXPECT_TRUE(d.calibrated);
    EXPECT_EQ(d.deviceType, 5);
    EXPECT_EQ(d.calibWidth, 1920);
    EXPECT_FLOAT_EQ(d.fov, 236.0f);
    ASSERT_EQ(d.lenses.size(), 1u);
    EXPECT_EQ(d.lenses[0].radius, 700);
    EXPECT_EQ(d.lenses[0].centerY, 940);
    EXPECT_FLOAT_EQ(d.lenses[0].coefC, 0.3f);
}

TEST(CalibTextImageData, TooFewTokensDecodeNothingButTheText) {
    struct Case {
        std::string text;
        const char* why;
    };
    const Case cases[] = {
        {dropTokens(kSingle, 1), "single lens needs 10"},
        {dropTokens(kGeneral, 2), "every two-lens layout needs 18"},
        {dropTokens(kGeneral, 1), "the general layout reads fov2 as token 19"},
        {dropTokens(kTwins, 1), "device type 6 reads fov2 as token 27"},
        {dropTokens(kTwins, 8), "device type 6 tail past the end"},
        {"6_", "prefix only"},
    };
    for (const Case& c : cases) {
        ImageData d;
        fillImageData(d, c.text);
        EXPECT_EQ(d.calibText, c.text) << c.why;
        EXPECT_TRUE(d.lenses.empty()) << c.why;
        EXPECT_EQ(d.deviceType, 0) << c.why;
        EXPECT_EQ(d.calibWidth, 0) << c.why;
        EXPECT_FALSE(d.calibrated) << c.why;
    }
}

TEST(CalibTextImageData, UnrecognisedTextsKeepOnlyTheText) {
    for (const std::string text : {"7_1_2_3_4_5_6_7_8_9", "65_1_2", "hello", "6", "_6_952"}) {
        ImageData d;
        fillImageData(d, text);
        EXPECT_EQ(d.calibText, text);
        EXPECT_TRUE(d.lenses.empty()) << text;
    }
}

TEST(CalibTextImageData, TokensWithoutANumberReadAsZero) {
    std::string text = kTwins;
    text.replace(text.find("952"), 3, "abc");  // lens 0 radius
    ImageData d;
    fillImageData(d, text);
    ASSERT_EQ(d.lenses.size(), 2u);
    EXPECT_EQ(d.lenses[0].radius, 0);
    EXPECT_EQ(d.lenses[0].centerX, 960);
}

TEST(CalibTextImageData, DoubledAndTrailingSeparatorsChangeNothing) {
    std::string loose = kTwins + "_";
    for (size_t at = loose.find('_'); at != std::string::npos; at = loose.find('_', at + 2))
        loose.insert(at, "_");
    ImageData a, b;
    fillImageData(a, kTwins);
    fillImageData(b, loose);
    ASSERT_EQ(b.lenses.size(), 2u);
    EXPECT_EQ(b.lenses[1].coefC, a.lenses[1].coefC);
    EXPECT_EQ(b.fov2, a.fov2);
    EXPECT_EQ(b.offsetY, a.offsetY);
}

TEST(CalibTextImageData, AppendsToTheRecord) {
    ImageData d;
    fillImageData(d, kTwins);
    fillImageData(d, kSingle);
    EXPECT_EQ(d.lenses.size(), 3u);
    EXPECT_EQ(d.calibText, kSingle);
}

TEST(CalibTextPanoData, DeviceType6) {
    PanoData p;
    fillPanoData(p, kTwins);
    ASSERT_EQ(p.photos.size(), 2u);
    const PhotoParam& a = p.photos[0];
    const PhotoParam& b = p.photos[1];
    EXPECT_EQ(a.calibText, kTwins);
    EXPECT_EQ(b.calibText, kTwins);
    EXPECT_EQ(a.deviceType, 6);
    EXPECT_EQ(a.cropLeft, 960 - 952);
    EXPECT_EQ(a.cropTop, 960 - 952);
    EXPECT_EQ(a.cropWidth, 2 * 952);
    EXPECT_EQ(a.cropHeight, 2 * 952);
    EXPECT_EQ(b.cropLeft, 2880 - 952);
    EXPECT_FLOAT_EQ(a.width, 3840.0f);
    EXPECT_FLOAT_EQ(b.height, 1920.0f);
    EXPECT_DOUBLE_EQ(b.yaw, 180.0);
    EXPECT_NEAR(b.pitch, -0.5, 1e-6);
    EXPECT_NEAR(b.roll, 0.7, 1e-6);
    // Both photos take the first lens' field of view.
    EXPECT_DOUBLE_EQ(a.fov, 200.0);
    EXPECT_DOUBLE_EQ(b.fov, 200.0);
    EXPECT_NEAR(b.coefA, -0.03, 1e-6);
    EXPECT_NEAR(a.offsetX, 1.5, 1e-6);
    EXPECT_NEAR(b.offsetY, -2.5, 1e-6);
    EXPECT_NEAR(b.auxFloat2, 0.75, 1e-6);
    EXPECT_FALSE(a.flag);
    EXPECT_EQ(p.panoWidth, 0);
}

TEST(CalibTextPanoData, NeedsOneTokenLessThanImageData) {
    // Without fov2 the job decodes while the player's record does not.
    for (const std::string& full : {kTwins, kGeneral}) {
        const std::string text = dropTokens(full, 1);
        PanoData p;
        fillPanoData(p, text);
        EXPECT_EQ(p.photos.size(), 2u) << text;
        ImageData d;
        fillImageData(d, text);
        EXPECT_TRUE(d.lenses.empty()) << text;
        PanoData shorter;
        fillPanoData(shorter, dropTokens(full, 2));
        EXPECT_TRUE(shorter.photos.empty()) << text;
    }
    PanoData p;
    fillPanoData(p, dropTokens(kGeneral, 1));
    EXPECT_EQ(p.panoWidth, 4000);
    EXPECT_EQ(p.panoHeight, 2000);
    EXPECT_DOUBLE_EQ(p.photos[1].fov, 195.0);
    EXPECT_NEAR(p.photos[0].coefB, -7.455, 1e-5);
}

TEST(CalibTextPanoData, SingleLensAndSaturatedCrop) {
    PanoData p;
    fillPanoData(p, kSingle);
    ASSERT_EQ(p.photos.size(), 1u);
    EXPECT_EQ(p.photos[0].cropLeft, 260);
    EXPECT_EQ(p.photos[0].cropTop, 240);
    EXPECT_EQ(p.photos[0].cropWidth, 1400);
    EXPECT_DOUBLE_EQ(p.photos[0].fov, 236.0);

    // Extreme tokens cannot overflow the crop arithmetic.
    PanoData extreme;
    fillPanoData(extreme, "5_2147483647_-2147483648_0_1_1_180_0_0_0");
    ASSERT_EQ(extreme.photos.size(), 1u);
    EXPECT_EQ(extreme.photos[0].cropLeft, INT_MIN);
    EXPECT_EQ(extreme.photos[0].cropTop, -2147483647);
    EXPECT_EQ(extreme.photos[0].cropWidth, INT_MAX);
    EXPECT_EQ(extreme.photos[0].cropHeight, INT_MAX);
}

TEST(CalibTextPanoData, TooFewOrUnknown) {
    for (const std::string& text : {dropTokens(kSingle, 1), std::string("9_1_2"), std::string()}) {
        PanoData p;
        fillPanoData(p, text);
        EXPECT_TRUE(p.photos.empty()) << text;
    }
}

}  // namespace
}  // namespace lensmeta
