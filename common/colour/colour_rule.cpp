#include "colour_rule.h"

namespace vistamo::colour {

ColourRule resolveColourRule(const ColourTags& tags) {
    ColourRule rule;
    if (tags.jpeg) {
        rule.matrix = YuvMatrix::Bt601;
        rule.range = YuvRange::Full;
        return rule;
    }
    switch (tags.matrix) {
    case kMatrixBt709: rule.matrix = YuvMatrix::Bt709; break;
    case kMatrixFcc:  // FCC's weights (0.30, 0.11) are BT.601's to within a level
    case kMatrixBt470bg:
    case kMatrixSmpte170m: rule.matrix = YuvMatrix::Bt601; break;
    case kMatrixSmpte240m: rule.matrix = YuvMatrix::Smpte240m; break;
    case kMatrixBt2020Ncl:
    case kMatrixBt2020Cl: rule.matrix = YuvMatrix::Bt2020Ncl; break;
    default:
        rule.matrix = tags.height > kGuessBt709AboveRows ? YuvMatrix::Bt709 : YuvMatrix::Bt601;
        rule.guessed = true;
        break;
    }
    rule.range = tags.range == kRangeFull || tags.fullRangeFormat ? YuvRange::Full : YuvRange::Limited;
    return rule;
}

int h273Matrix(YuvMatrix matrix) {
    switch (matrix) {
    case YuvMatrix::Bt601: return kMatrixBt470bg;
    case YuvMatrix::Bt709: return kMatrixBt709;
    case YuvMatrix::Bt2020Ncl: return kMatrixBt2020Ncl;
    case YuvMatrix::Smpte240m: return kMatrixSmpte240m;
    }
    return kMatrixBt709;
}

int avRange(YuvRange range) { return range == YuvRange::Full ? kRangeFull : kRangeLimited; }

void lumaWeights(YuvMatrix matrix, double& kr, double& kb) {
    switch (matrix) {
    case YuvMatrix::Bt601: kr = 0.299; kb = 0.114; return;
    case YuvMatrix::Bt709: kr = 0.2126; kb = 0.0722; return;
    case YuvMatrix::Bt2020Ncl: kr = 0.2627; kb = 0.0593; return;
    case YuvMatrix::Smpte240m: kr = 0.212; kb = 0.087; return;
    }
    kr = 0.2126;
    kb = 0.0722;
}

YuvToRgb yuvToRgb(const ColourRule& rule, int bits, double sampleMax) {
    double kr, kb;
    lumaWeights(rule.matrix, kr, kb);
    const double kg = 1 - kr - kb;
    // Y in [0, 1] and Cb, Cr in [−0.5, 0.5] to R'G'B'.
    const double base[9] = {1, 0, 2 * (1 - kr),
                            1, -2 * kb * (1 - kb) / kg, -2 * kr * (1 - kr) / kg,
                            1, 2 * (1 - kb), 0};
    if (bits < 8 || bits > 16)
        bits = 8;
    const double step = double(1 << (bits - 8));  // one 8-bit level in coded units
    const double codeMax = double((1 << bits) - 1);
    double lumaScale, chromaScale, lumaOffset, chromaOffset;
    if (rule.range == YuvRange::Limited) {
        // Y' from 16 to 235, Cb and Cr from 16 to 240 (in 8-bit levels).
        lumaScale = sampleMax / (219 * step);
        chromaScale = sampleMax / (224 * step);
        lumaOffset = 16 * step / sampleMax;
    } else {
        lumaScale = chromaScale = sampleMax / codeMax;
        lumaOffset = 0;
    }
    chromaOffset = 128 * step / sampleMax;
    YuvToRgb out{};
    for (int row = 0; row < 3; ++row) {
        out.m[3 * row + 0] = float(base[3 * row + 0] * lumaScale);
        out.m[3 * row + 1] = float(base[3 * row + 1] * chromaScale);
        out.m[3 * row + 2] = float(base[3 * row + 2] * chromaScale);
    }
    out.offset[0] = float(lumaOffset);
    out.offset[1] = out.offset[2] = float(chromaOffset);
    return out;
}

void columnMajor(const float rowMajor[9], float out[9]) {
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            out[3 * col + row] = rowMajor[3 * row + col];
}

RgbToYuv rgbToYuv(const ColourRule& rule) {
    double kr, kb;
    lumaWeights(rule.matrix, kr, kb);
    const double kg = 1 - kr - kb;
    const bool limited = rule.range == YuvRange::Limited;
    const double lumaSpan = (limited ? 219.0 : 255.0) / 255.0;
    const double chromaSpan = (limited ? 224.0 : 255.0) / 255.0;
    const double cb = chromaSpan / (2 * (1 - kb)), cr = chromaSpan / (2 * (1 - kr));
    RgbToYuv out{};
    const double m[9] = {lumaSpan * kr, lumaSpan * kg, lumaSpan * kb,
                         -cb * kr, -cb * kg, cb * (1 - kb),
                         cr * (1 - kr), -cr * kg, -cr * kb};
    for (int k = 0; k < 9; ++k)
        out.m[k] = float(m[k]);
    out.offset[0] = limited ? 16.0f : 0.0f;
    out.offset[1] = out.offset[2] = 128.0f;
    return out;
}

std::string describe(const ColourRule& rule) {
    std::string text;
    switch (rule.matrix) {
    case YuvMatrix::Bt601: text = "BT.601"; break;
    case YuvMatrix::Bt709: text = "BT.709"; break;
    case YuvMatrix::Bt2020Ncl: text = "BT.2020"; break;
    case YuvMatrix::Smpte240m: text = "SMPTE 240M"; break;
    }
    text += rule.range == YuvRange::Full ? " full" : " limited";
    if (rule.guessed)
        text += " (guessed)";
    return text;
}

}  // namespace vistamo::colour
