// The Twins stitch on the CPU: the same picture the offscreen renderer
// draws (the grid's interpolated lens coordinates, bilinear plane samples,
// the seam blend and the colour matrix), computed from per-pixel maps that
// are built once per job. An export runs it on every core instead of a
// software GL rasteriser, and gives the renderer's pixels to within
// rounding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "colour_rule.h"
#include "lens_match.h"
#include "media_frames.h"

namespace loomfold {

class TwinsRemap {
public:
    struct Setup {
        int width = 0, height = 0;          // output (render target) size
        int frameWidth = 0, frameHeight = 0;
        const std::vector<float>* coordsA = nullptr;  // per strip vertex, as the renderer's
        const std::vector<float>* coordsB = nullptr;
        float yaw0 = 0, yaw1 = 0;
        float maskDegree = 0;               // fov2 − 180
        // How renderYuv420 codes its output (the encoder's rule).
        vistamo::colour::ColourRule outputColour;
    };

    // Builds the maps; false when the sizes cannot be used.
    bool prepare(const Setup& setup);
    bool ready() const { return !primary_.empty(); }
    // Whether frame has the size the maps were built for.
    bool fits(const stitch_frame& frame) const { return frame.width == frameW_ && frame.height == frameH_; }

    // Stitches a tightly packed frame of the prepared size into rgba
    // (width × height × 4 bytes, rows from the top), on `threads` threads;
    // the frame's samples are read by its own colour rule.
    void render(const stitch_frame& frame, uint8_t* rgba, int threads) const;

    // The same picture straight into YUV 4:2:0 planes coded by the setup's
    // output rule, as the encoder takes it: luma per pixel from the stitched RGB, chroma over
    // each 2 × 2 block (even sizes only), whose source chroma is sampled
    // once per lens at the block's centre.
    struct Planes {
        uint8_t* data[3];
        int linesize[3];
    };
    void renderYuv420(const stitch_frame& frame, const Planes& out, int threads) const;

    // The lenses' gains (lens_match.h), as the Twins program applies them:
    // each lens' colour under its gain, at most white, then the seam blend.
    // Unit gains (the default) keep the fast paths, which blend samples
    // before converting them; other gains convert each lens' sample alone.
    void setLensGains(const vistamo::lens::LensGains& gains);

private:
    // The colour rules in fixed point. Input: R'G'B' in units of 2^21 per
    // level from 8.8 samples, R = y·Y + rv·V, G = y·Y − gu·U − gv·V,
    // B = y·Y + bu·U with Y, U, V the samples less their offsets (8.8), the
    // coefficients in 2.13. Output: code values from 8-bit R'G'B' in 1.15.
    struct InputCoefficients {
        int y, rv, gu, gv, bu;
        int yOffset, cOffset;  // 8.8
    };
    struct OutputCoefficients {
        int yr, yg, yb, ur, ug, ub, vr, vg, vb;  // 1.15
        int ySum;                               // yr + yg + yb
        int yOffset, cOffset;                   // code values
    };
    static InputCoefficients inputCoefficients(const vistamo::colour::ColourRule& rule);
    // The stitched 8-bit colour of one output pixel; nextSecond walks the
    // row's second taps.
    void stitchRgb(const stitch_frame& frame, const InputCoefficients& in, size_t pixel, size_t& nextSecond,
                   int rgb[3]) const;
    // Rows of RGBA from pixel(frame, in, pixel, nextSecond, rgb): stitchRgb
    // or matchedRgb.
    template <typename Pixel>
    void renderRows(const stitch_frame& frame, uint8_t* rgba, int firstRow, int endRow, Pixel pixel) const;
    void renderYuvRows(const stitch_frame& frame, const Planes& out, int firstPair, int endPair) const;
    // The same under the lenses' gains.
    void matchedRgb(const stitch_frame& frame, const InputCoefficients& in, size_t pixel, size_t& nextSecond,
                    int rgb[3]) const;
    void renderMatchedYuvRows(const stitch_frame& frame, const Planes& out, int firstPair, int endPair) const;
    template <typename Rows>
    void split(int rows, int threads, Rows work) const;

    // Where one lens is sampled for one output pixel: the top-left texel of
    // the bilinear footprint in the luma and in the chroma planes, and the
    // 8-bit fractions towards the next texel, all clamped to the planes.
    struct Tap {
        int32_t luma;    // offset into the luma plane
        int32_t chroma;  // offset into each chroma plane
        uint8_t lumaFx, lumaFy, chromaFx, chromaFy;
    };
    // A pixel in a seam band also samples its other lens.
    struct SecondTap {
        Tap tap;
        uint16_t weight;  // of this lens, 1 to 255 (of 256)
    };

    Tap tapAt(float x, float y) const;

    int width_ = 0, height_ = 0, frameW_ = 0, frameH_ = 0;
    OutputCoefficients output_{};
    std::vector<Tap> primary_;            // per output pixel: its lens, or the heavier one
    std::vector<uint8_t> blended_;        // per output pixel: 1 when it has a second tap
    std::vector<uint8_t> primaryLens_;    // per output pixel: the lens of its primary tap (0 or 1)
    bool matched_ = false;                // gains other than unit are set
    int gain_[2][3] = {};                 // per lens and channel, 1 << kGainBits is 1
    std::vector<SecondTap> second_;       // seam pixels only, in row order
    std::vector<uint32_t> rowSecond_;     // per row: index of its first second tap
    // Per 2 × 2 block of the output: each lens's chroma tap at the block's
    // centre and lens 1's mean weight there (0 to 256).
    struct Block {
        Tap chroma[2];
        uint16_t weight1;
    };
    std::vector<Block> blocks_;
};

}  // namespace loomfold
