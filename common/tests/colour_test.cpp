// The colour rule: which matrix and range a stream's tags give, and the
// coefficients both ways against the published equations.
#include <gtest/gtest.h>

#include <cmath>

#include "colour_rule.h"

namespace vistamo::colour {
namespace {

TEST(ColourRule, TagsAndGuesses) {
    struct Case {
        ColourTags tags;
        YuvMatrix matrix;
        YuvRange range;
        bool guessed;
    };
    const Case cases[] = {
        {{kMatrixBt709, kRangeLimited, 1080}, YuvMatrix::Bt709, YuvRange::Limited, false},
        {{kMatrixBt709, kRangeFull, 480}, YuvMatrix::Bt709, YuvRange::Full, false},
        {{kMatrixBt470bg, kRangeUnspecified, 1920}, YuvMatrix::Bt601, YuvRange::Limited, false},
        {{kMatrixSmpte170m, kRangeLimited, 2880}, YuvMatrix::Bt601, YuvRange::Limited, false},
        {{kMatrixFcc, kRangeLimited, 480}, YuvMatrix::Bt601, YuvRange::Limited, false},
        {{kMatrixSmpte240m, kRangeLimited, 1080}, YuvMatrix::Smpte240m, YuvRange::Limited, false},
        {{kMatrixBt2020Ncl, kRangeLimited, 2160}, YuvMatrix::Bt2020Ncl, YuvRange::Limited, false},
        {{kMatrixBt2020Cl, kRangeLimited, 2160}, YuvMatrix::Bt2020Ncl, YuvRange::Limited, false},
        // Untagged: BT.709 above 576 rows, BT.601 up to it.
        {{kMatrixUnspecified, kRangeUnspecified, 576}, YuvMatrix::Bt601, YuvRange::Limited, true},
        {{kMatrixUnspecified, kRangeUnspecified, 577}, YuvMatrix::Bt709, YuvRange::Limited, true},
        {{kMatrixRgb, kRangeUnspecified, 1920}, YuvMatrix::Bt709, YuvRange::Limited, true},
        {{3, kRangeUnspecified, 240}, YuvMatrix::Bt601, YuvRange::Limited, true},
        {{14, kRangeLimited, 2000}, YuvMatrix::Bt709, YuvRange::Limited, true},
        // A full-range pixel format wins over an unspecified range.
        {{kMatrixUnspecified, kRangeUnspecified, 1920, false, true}, YuvMatrix::Bt709, YuvRange::Full, true},
        // A JPEG is BT.601 full whatever its tags say.
        {{kMatrixBt709, kRangeLimited, 1920, true}, YuvMatrix::Bt601, YuvRange::Full, false},
    };
    for (const Case& c : cases) {
        const ColourRule rule = resolveColourRule(c.tags);
        EXPECT_EQ(rule.matrix, c.matrix) << describe(rule) << " from matrix " << c.tags.matrix;
        EXPECT_EQ(rule.range, c.range) << describe(rule) << " from range " << c.tags.range;
        EXPECT_EQ(rule.guessed, c.guessed) << describe(rule);
    }
    EXPECT_EQ(describe({YuvMatrix::Bt709, YuvRange::Limited, false}), "BT.709 limited");
    EXPECT_EQ(describe({YuvMatrix::Bt601, YuvRange::Full, true}), "BT.601 full (guessed)");
    EXPECT_EQ(h273Matrix(YuvMatrix::Bt601), 5);
    EXPECT_EQ(h273Matrix(YuvMatrix::Bt709), 1);
    EXPECT_EQ(h273Matrix(YuvMatrix::Smpte240m), 7);
    EXPECT_EQ(h273Matrix(YuvMatrix::Bt2020Ncl), 9);
    EXPECT_EQ(avRange(YuvRange::Full), 2);
    EXPECT_EQ(avRange(YuvRange::Limited), 1);
}

void encode(const RgbToYuv& c, const double rgb[3], double yuv[3]) {
    for (int r = 0; r < 3; ++r)
        yuv[r] = c.m[3 * r] * rgb[0] + c.m[3 * r + 1] * rgb[1] + c.m[3 * r + 2] * rgb[2] + c.offset[r];
}

void decode(const YuvToRgb& c, const double s[3], double rgb[3]) {
    for (int r = 0; r < 3; ++r)
        rgb[r] = c.m[3 * r] * (s[0] - c.offset[0]) + c.m[3 * r + 1] * (s[1] - c.offset[1]) +
                 c.m[3 * r + 2] * (s[2] - c.offset[2]);
}

// The published equations, written out once more by hand.
TEST(ColourRule, KnownCodeValues) {
    const double orange[3] = {200, 60, 30};
    double yuv[3];
    // BT.709 limited: Y = 16 + 219 (0.2126 R + 0.7152 G + 0.0722 B) / 255.
    encode(rgbToYuv({YuvMatrix::Bt709, YuvRange::Limited}), orange, yuv);
    const double y709 = (0.2126 * 200 + 0.7152 * 60 + 0.0722 * 30) / 255;
    EXPECT_NEAR(yuv[0], 16 + 219 * y709, 1e-3);
    EXPECT_NEAR(yuv[1], 128 + 224 * (30.0 / 255 - y709) / 1.8556, 1e-3);
    EXPECT_NEAR(yuv[2], 128 + 224 * (200.0 / 255 - y709) / 1.5748, 1e-3);
    // BT.601 full is JFIF: Cb = 128 − 0.168736 R − 0.331264 G + 0.5 B.
    encode(rgbToYuv({YuvMatrix::Bt601, YuvRange::Full}), orange, yuv);
    EXPECT_NEAR(yuv[0], 0.299 * 200 + 0.587 * 60 + 0.114 * 30, 1e-3);
    EXPECT_NEAR(yuv[1], 128 - 0.168736 * 200 - 0.331264 * 60 + 0.5 * 30, 1e-3);
    EXPECT_NEAR(yuv[2], 128 + 0.5 * 200 - 0.418688 * 60 - 0.081312 * 30, 1e-3);
    // Limited white and black of 10-bit samples held in 16-bit containers.
    const YuvToRgb ten = yuvToRgb({YuvMatrix::Bt709, YuvRange::Limited}, 10, 65535);
    double rgb[3];
    const double white[3] = {940.0 / 65535, 512.0 / 65535, 512.0 / 65535};
    decode(ten, white, rgb);
    for (double v : rgb)
        EXPECT_NEAR(v, 1.0, 1e-4);
    const double black[3] = {64.0 / 65535, 512.0 / 65535, 512.0 / 65535};
    decode(ten, black, rgb);
    for (double v : rgb)
        EXPECT_NEAR(v, 0.0, 1e-4);
}

// Each rule's two directions are inverses; 8-bit rounding of the samples
// moves a colour by less than two levels.
TEST(ColourRule, BothDirectionsAgree) {
    for (YuvMatrix matrix : {YuvMatrix::Bt601, YuvMatrix::Bt709, YuvMatrix::Bt2020Ncl, YuvMatrix::Smpte240m}) {
        for (YuvRange range : {YuvRange::Limited, YuvRange::Full}) {
            const ColourRule rule{matrix, range};
            const RgbToYuv forward = rgbToYuv(rule);
            const YuvToRgb back = yuvToRgb(rule);
            double worstExact = 0, worstRounded = 0;
            for (int r = 0; r < 256; r += 15)
                for (int g = 0; g < 256; g += 17)
                    for (int b = 0; b < 256; b += 51) {
                        const double rgb[3] = {double(r), double(g), double(b)};
                        double yuv[3], s[3], out[3];
                        encode(forward, rgb, yuv);
                        for (int k = 0; k < 3; ++k)
                            s[k] = yuv[k] / 255;
                        decode(back, s, out);
                        for (int k = 0; k < 3; ++k)
                            worstExact = std::max(worstExact, std::fabs(out[k] * 255 - rgb[k]));
                        for (int k = 0; k < 3; ++k)
                            s[k] = std::round(std::clamp(yuv[k], 0.0, 255.0)) / 255;
                        decode(back, s, out);
                        for (int k = 0; k < 3; ++k)
                            worstRounded = std::max(worstRounded, std::fabs(out[k] * 255 - rgb[k]));
                    }
            EXPECT_LT(worstExact, 1e-3) << describe(rule);
            EXPECT_LT(worstRounded, 2.0) << describe(rule);
        }
    }
}

}  // namespace
}  // namespace vistamo::colour
