// The colour rule: which Y'CbCr matrix and which range a picture's samples
// are coded in, decided once from what the stream says, and the
// coefficients that turn those samples into R'G'B' and back. The view's
// shader, its "Show source" scaler, the engine's CPU stitch, its GL
// renderer and its still path all take their numbers from here, so one
// frame looks the same in the view and in the export.
//
// Inputs use the code points of ITU-T H.273 (which FFmpeg's AVColorSpace,
// AVColorPrimaries and AVColorTransferCharacteristic carry unchanged) and
// FFmpeg's AVColorRange numbers (0 unspecified, 1 limited, 2 full).
#pragma once

#include <string>

namespace vistamo::colour {

enum class YuvMatrix { Bt601, Bt709, Bt2020Ncl, Smpte240m };
enum class YuvRange { Limited, Full };

// H.273 matrix_coefficients code points this rule reads.
constexpr int kMatrixRgb = 0, kMatrixBt709 = 1, kMatrixUnspecified = 2, kMatrixFcc = 4, kMatrixBt470bg = 5,
              kMatrixSmpte170m = 6, kMatrixSmpte240m = 7, kMatrixBt2020Ncl = 9, kMatrixBt2020Cl = 10;
// AVColorRange numbers.
constexpr int kRangeUnspecified = 0, kRangeLimited = 1, kRangeFull = 2;

// What a stream or a frame says about its colour.
struct ColourTags {
    int matrix = kMatrixUnspecified;  // H.273 matrix_coefficients
    int range = kRangeUnspecified;    // AVColorRange
    int height = 0;                   // picture rows, for the guess
    bool jpeg = false;                // a JPEG picture (JFIF): BT.601 full range whatever else is said
    bool fullRangeFormat = false;     // the pixel format itself is full range (FFmpeg's yuvj formats)
};

struct ColourRule {
    YuvMatrix matrix = YuvMatrix::Bt709;
    YuvRange range = YuvRange::Limited;
    bool guessed = false;  // the stream named no usable matrix: chosen from its height

    bool operator==(const ColourRule& o) const { return matrix == o.matrix && range == o.range; }
    bool operator!=(const ColourRule& o) const { return !(*this == o); }
};

// Frames taller than this many rows are guessed BT.709 when untagged,
// shorter ones BT.601 (standard definition), as common players do.
constexpr int kGuessBt709AboveRows = 576;

// The rule for a picture. A JPEG is BT.601 full range. Otherwise the
// stream's matrix is used when it names one of the four (FCC counts as
// BT.601, constant-luminance BT.2020 as its non-constant form); any other
// code is guessed from the height. The range is full when the tags or the
// pixel format say so, limited otherwise.
ColourRule resolveColourRule(const ColourTags& tags);

// The H.273 matrix code of a rule's matrix (also swscale's SWS_CS_ number:
// 1, 5 (for BT.601), 7, 9), as an encoder tags it.
int h273Matrix(YuvMatrix matrix);
// The AVColorRange number of a range.
int avRange(YuvRange range);

// Kr and Kb, the luma weights of red and blue.
void lumaWeights(YuvMatrix matrix, double& kr, double& kb);

// Samples to R'G'B': rgb = m × (s − offset), where s are the Y, Cb, Cr
// samples normalised as the reader holds them (sample / sampleMax) and rgb
// comes out in [0, 1] (values outside are clipped by the caller). m is row
// major. bits is the depth of the coded samples (8 or 10, say); sampleMax
// is 255 for 8-bit samples, 65535 for samples held in 16-bit containers
// (GL_R16 textures), or (1 << bits) − 1 when they are read as coded.
struct YuvToRgb {
    float m[9];
    float offset[3];
};
YuvToRgb yuvToRgb(const ColourRule& rule, int bits = 8, double sampleMax = 255);
// A row-major 3 × 3 in the column-major order of glUniformMatrix3fv.
void columnMajor(const float rowMajor[9], float out[9]);

// R'G'B' in [0, 255] to 8-bit code values: yuv = m × rgb + offset (row
// major), to be rounded and clipped to 0..255 by the caller.
struct RgbToYuv {
    float m[9];
    float offset[3];
};
RgbToYuv rgbToYuv(const ColourRule& rule);

// "BT.709 limited", "BT.601 full (guessed)": what the statistics show.
std::string describe(const ColourRule& rule);

}  // namespace vistamo::colour
