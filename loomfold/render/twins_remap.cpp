#include "twins_remap.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "row_bands.h"
#include "seam_blend.h"
#include "stitch_geometry.h"

namespace loomfold {

namespace {

constexpr int kFrac = 8;
constexpr int kOne = 1 << kFrac;

// The seam blend of the Twins fragment program: the weight of colB (after
// the program's lens swap) at clip position (x, y).
float seamWeightOfB(float x, float y, float maskDegree) {
    float degree = x * 180.0f + 180.0f;
    float m = maskDegree;
    const float R = 90.0f, R1 = m / 2.0f;
    const float p = (y + 1.0f) * 90.0f;
    if (p > 90.0f) {
        if (p < R1 || p > 180.0f - R1) {
            m = 90.0f;
        } else {
            const float q = 90.0f - p;
            m = (std::sqrt(R * R - q * q) - std::sqrt((R - R1) * (R - R1) - q * q)) / std::sqrt(R * R - q * q) * 90.0f;
        }
    } else {
        m = m / 2.0f;
    }
    return vistamo::lens::seamWeightB(degree, 90.0f, 270.0f, m);
}

// A vertex attribute (u, v) interpolated as the rasteriser does over the
// strip's triangles at cell position (s, t) of column ci, row ri.
void interpolate(const std::vector<float>& coords, int ri, int ci, float s, float t, float& u, float& v) {
    // Strip index of column c in row r: the zig-zag runs right on even rows.
    // (stripColumn is its own inverse.)
    auto at = [&](int c, int lower, int comp) {
        return coords[vistamo::lens::stripIndex(ri, vistamo::lens::stripColumn(ri, c), lower, 2) + size_t(comp)];
    };
    for (int comp = 0; comp < 2; ++comp) {
        const float U0 = at(ci, 0, comp), U1 = at(ci + 1, 0, comp);
        const float L0 = at(ci, 1, comp), L1 = at(ci + 1, 1, comp);
        float value;
        if (ri % 2 == 0) {
            // Diagonal from lower-left to upper-right.
            value = s + t <= 1.0f ? U0 + s * (U1 - U0) + t * (L0 - U0)
                                  : L1 + (1.0f - s) * (L0 - L1) + (1.0f - t) * (U1 - L1);
        } else {
            // Diagonal from upper-left to lower-right.
            value = s >= t ? U0 + s * (U1 - U0) + t * (L1 - U1) : U0 + t * (L0 - U0) + s * (L1 - L0);
        }
        (comp == 0 ? u : v) = value;
    }
}

// The lens coordinate (u, v) at clip position (xn, yn).
void lensCoordinate(const std::vector<float>& coords, float xn, float yn, float& u, float& v) {
    const float r = std::clamp((1.0f - yn) / 0.025f, 0.0f, float(kGridRows) - 1e-3f);
    const float c = std::clamp((xn + 1.0f) / 0.0125f, 0.0f, float(kGridColumns) - 1e-3f);
    const int ri = int(r), ci = int(c);
    interpolate(coords, ri, ci, c - float(ci), r - float(ri), u, v);
}

}  // namespace

bool TwinsRemap::prepare(const Setup& setup) {
    if (setup.width <= 0 || setup.height <= 0 || setup.frameWidth < 2 || setup.frameHeight < 2 || !setup.coordsA ||
        !setup.coordsB || setup.coordsA->size() != size_t(kGridVertices) * 2 ||
        setup.coordsB->size() != size_t(kGridVertices) * 2)
        return false;
    width_ = setup.width;
    height_ = setup.height;
    {
        const vistamo::colour::RgbToYuv m = vistamo::colour::rgbToYuv(setup.outputColour);
        auto fixed = [](float v) { return int(std::lround(double(v) * (1 << 15))); };
        output_ = OutputCoefficients{fixed(m.m[0]), fixed(m.m[1]), fixed(m.m[2]), fixed(m.m[3]), fixed(m.m[4]),
                                     fixed(m.m[5]), fixed(m.m[6]), fixed(m.m[7]), fixed(m.m[8]), 0,
                                     int(m.offset[0]), int(m.offset[1])};
        output_.ySum = output_.yr + output_.yg + output_.yb;
    }
    frameW_ = setup.frameWidth;
    frameH_ = setup.frameHeight;
    const size_t pixels = size_t(width_) * size_t(height_);
    primary_.assign(pixels, Tap{});
    blended_.assign(pixels, 0);
    primaryLens_.assign(pixels, 0);
    second_.clear();
    rowSecond_.assign(size_t(height_) + 1, 0);
    // The program swaps the lenses when yaw0 > yaw1: colB is then lens 0.
    const bool swapped = setup.yaw0 > setup.yaw1;
    std::vector<uint16_t> weight1(pixels);  // lens 1's weight per pixel, for the blocks
    // Bands of rows on every core; each band keeps its own second taps,
    // joined in row order afterwards.
    const int threads = int(std::max(1u, std::thread::hardware_concurrency()));
    const int bandRows = (height_ + threads - 1) / threads;
    std::vector<std::vector<SecondTap>> bandSecond(static_cast<size_t>(threads));
    split(height_, threads, [&](int firstRow, int endRow) {
        std::vector<SecondTap>& seconds = bandSecond[size_t(firstRow / bandRows)];
        for (int row = firstRow; row < endRow; ++row) {
            rowSecond_[size_t(row)] = uint32_t(seconds.size());  // within the band, for now
            // Output row 0 is the top: the framebuffer's last row.
            const float yn = (float(height_ - 1 - row) + 0.5f) / float(height_) * 2.0f - 1.0f;
            const float r = std::clamp((1.0f - yn) / 0.025f, 0.0f, float(kGridRows) - 1e-3f);
            const int ri = int(r);
            const float t = r - float(ri);
            for (int x = 0; x < width_; ++x) {
                const float xn = (float(x) + 0.5f) / float(width_) * 2.0f - 1.0f;
                const float c = std::clamp((xn + 1.0f) / 0.0125f, 0.0f, float(kGridColumns) - 1e-3f);
                const int ci = int(c);
                const float s = c - float(ci);
                const size_t i = size_t(row) * size_t(width_) + size_t(x);
                const float b = seamWeightOfB(xn, yn, setup.maskDegree);
                const int lens1 = int(std::lround(std::clamp(swapped ? 1.0f - b : b, 0.0f, 1.0f) * kOne));
                weight1[i] = uint16_t(lens1);
                // The heavier lens is the primary tap.
                const int first = lens1 > kOne / 2 ? 1 : 0;
                const int firstWeight = first == 1 ? lens1 : kOne - lens1;
                for (int k = 0; k < 2; ++k) {
                    const int lens = k == 0 ? first : 1 - first;
                    if (k == 1 && firstWeight == kOne)
                        break;
                    float u = 0, v = 0;
                    interpolate(lens == 0 ? *setup.coordsA : *setup.coordsB, ri, ci, s, t, u, v);
                    // Texture coordinates are in units of the luma stride,
                    // which is the frame width for a tightly packed frame.
                    const Tap tap = tapAt(u * float(frameW_) - 0.5f, v * float(frameH_) - 0.5f);
                    if (k == 0) {
                        primary_[i] = tap;
                        primaryLens_[i] = uint8_t(lens);
                    } else {
                        blended_[i] = 1;
                        seconds.push_back(SecondTap{tap, uint16_t(kOne - firstWeight)});
                    }
                }
            }
        }
    });
    for (int band = 0; band < threads; ++band) {
        const uint32_t base = uint32_t(second_.size());
        for (int row = band * bandRows; row < std::min(height_, (band + 1) * bandRows); ++row)
            rowSecond_[size_t(row)] += base;
        second_.insert(second_.end(), bandSecond[size_t(band)].begin(), bandSecond[size_t(band)].end());
    }
    rowSecond_[size_t(height_)] = uint32_t(second_.size());

    // Each 2 × 2 block samples each lens's chroma once, at its centre (the
    // chroma planes have a quarter of the samples), with the block's mean
    // weight.
    blocks_.assign(size_t(width_ / 2) * size_t(height_ / 2), Block{});
    split(height_ / 2, threads, [&](int firstBlockRow, int endBlockRow) {
    for (int by = firstBlockRow; by < endBlockRow; ++by) {
        for (int bx = 0; bx < width_ / 2; ++bx) {
            Block& block = blocks_[size_t(by) * size_t(width_ / 2) + size_t(bx)];
            int sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += weight1[size_t(2 * by + k / 2) * size_t(width_) + size_t(2 * bx + k % 2)];
            block.weight1 = uint16_t((sum + 2) / 4);
            const float xn = float(2 * bx + 1) / float(width_) * 2.0f - 1.0f;
            const float yn = float(height_ - 1 - 2 * by) / float(height_) * 2.0f - 1.0f;
            for (int lens = 0; lens < 2; ++lens) {
                if ((lens == 0 && block.weight1 == kOne) || (lens == 1 && block.weight1 == 0))
                    continue;
                float u = 0, v = 0;
                lensCoordinate(lens == 0 ? *setup.coordsA : *setup.coordsB, xn, yn, u, v);
                block.chroma[lens] = tapAt(u * float(frameW_) - 0.5f, v * float(frameH_) - 0.5f);
            }
        }
    }
    });
    return true;
}

TwinsRemap::Tap TwinsRemap::tapAt(float x, float y) const {
    // Clamped so that the footprint stays inside the plane: a position past
    // the edge samples the edge texel, as clamp-to-edge does.
    auto axis = [](float position, int size, int32_t& index, uint8_t& fraction) {
        const int32_t fixed = int32_t(std::lround(position * kOne));
        const int32_t top = std::max(0, (size - 1) * kOne - 1);
        const int32_t clamped = std::clamp(fixed, 0, top);
        index = clamped >> kFrac;
        fraction = uint8_t(clamped & (kOne - 1));
    };
    Tap tap{};
    int32_t lx, ly, cx, cy;
    axis(x, frameW_, lx, tap.lumaFx);
    axis(y, frameH_, ly, tap.lumaFy);
    // Chroma texels sit at half the luma position.
    axis((x + 0.5f) / 2.0f - 0.5f, frameW_ / 2, cx, tap.chromaFx);
    axis((y + 0.5f) / 2.0f - 0.5f, frameH_ / 2, cy, tap.chromaFy);
    tap.luma = ly * frameW_ + lx;
    tap.chroma = cy * (frameW_ / 2) + cx;
    return tap;
}

namespace {

// Bilinear sample (8.8 fixed point) of the footprint at p, rows stride apart.
inline int bilinear(const uint8_t* p, int stride, int fx, int fy) {
    const int top = p[0] * (kOne - fx) + p[1] * fx;
    const int bottom = p[stride] * (kOne - fx) + p[stride + 1] * fx;
    return (top * (kOne - fy) + bottom * fy) >> kFrac;
}

inline uint8_t clampByte(int v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

constexpr int kCoefficientBits = 13;
constexpr int kShift = kFrac + kCoefficientBits;  // 2^21 per level
constexpr int kRound = 1 << (kShift - 1);

}  // namespace

TwinsRemap::InputCoefficients TwinsRemap::inputCoefficients(const vistamo::colour::ColourRule& rule) {
    // The rule's matrix has no Cb in red and no Cr in blue, and one luma
    // weight for all three: five numbers.
    const vistamo::colour::YuvToRgb m = vistamo::colour::yuvToRgb(rule);
    auto fixed = [](float v) { return int(std::lround(double(v) * (1 << kCoefficientBits))); };
    InputCoefficients c{};
    c.y = fixed(m.m[0]);
    c.rv = fixed(m.m[2]);
    c.gu = -fixed(m.m[4]);
    c.gv = -fixed(m.m[5]);
    c.bu = fixed(m.m[7]);
    c.yOffset = int(std::lround(double(m.offset[0]) * 255 * kOne));
    c.cOffset = int(std::lround(double(m.offset[1]) * 255 * kOne));
    return c;
}

void TwinsRemap::stitchRgb(const stitch_frame& frame, const InputCoefficients& in, size_t pixel,
                           size_t& nextSecond, int rgb[3]) const {
    const uint8_t* yPlane = frame.data[0];
    const uint8_t* uPlane = frame.data[1];
    const uint8_t* vPlane = frame.data[2];
    const int yStride = frameW_, cStride = frameW_ / 2;
    const Tap& tap = primary_[pixel];
    int y = bilinear(yPlane + tap.luma, yStride, tap.lumaFx, tap.lumaFy);
    int u = bilinear(uPlane + tap.chroma, cStride, tap.chromaFx, tap.chromaFy);
    int v = bilinear(vPlane + tap.chroma, cStride, tap.chromaFx, tap.chromaFy);
    if (blended_[pixel]) {
        const SecondTap& other = second_[nextSecond++];
        const int w = other.weight, keep = kOne - w;
        const Tap& o = other.tap;
        y = (y * keep + bilinear(yPlane + o.luma, yStride, o.lumaFx, o.lumaFy) * w) >> kFrac;
        u = (u * keep + bilinear(uPlane + o.chroma, cStride, o.chromaFx, o.chromaFy) * w) >> kFrac;
        v = (v * keep + bilinear(vPlane + o.chroma, cStride, o.chromaFx, o.chromaFy) * w) >> kFrac;
    }
    const int Y = (y - in.yOffset) * in.y;
    const int U = u - in.cOffset, V = v - in.cOffset;
    rgb[0] = clampByte((Y + in.rv * V + kRound) >> kShift);
    rgb[1] = clampByte((Y - in.gu * U - in.gv * V + kRound) >> kShift);
    rgb[2] = clampByte((Y + in.bu * U + kRound) >> kShift);
}

template <typename Pixel>
void TwinsRemap::renderRows(const stitch_frame& frame, uint8_t* rgba, int firstRow, int endRow, Pixel pixel) const {
    const InputCoefficients in = inputCoefficients(frame.colour);
    for (int row = firstRow; row < endRow; ++row) {
        uint8_t* out = rgba + size_t(row) * size_t(width_) * 4;
        size_t next = rowSecond_[size_t(row)];
        const size_t base = size_t(row) * size_t(width_);
        for (int x = 0; x < width_; ++x) {
            int rgb[3];
            pixel(frame, in, base + size_t(x), next, rgb);
            out[4 * x + 0] = uint8_t(rgb[0]);
            out[4 * x + 1] = uint8_t(rgb[1]);
            out[4 * x + 2] = uint8_t(rgb[2]);
            out[4 * x + 3] = 255;
        }
    }
}

void TwinsRemap::renderYuvRows(const stitch_frame& frame, const Planes& out, int firstPair, int endPair) const {
    const InputCoefficients in = inputCoefficients(frame.colour);
    const OutputCoefficients o = output_;
    constexpr int kHalf = 1 << 14;
    // Everything the loop reads, in locals: its byte stores could alias
    // members and would make the compiler load them again per pixel.
    const int width = width_, halfWidth = width_ / 2, lumaStride = frameW_, chromaStride = frameW_ / 2;
    const Tap* const primary = primary_.data();
    const Block* const blocks = blocks_.data();
    const uint8_t* const blended = blended_.data();
    const SecondTap* const second = second_.data();
    const uint8_t* const yPlane = frame.data[0];
    const uint8_t* const uPlane = frame.data[1];
    const uint8_t* const vPlane = frame.data[2];
    const int64_t lumaBase = int64_t(o.yOffset) << kShift;
    for (int pair = firstPair; pair < endPair; ++pair) {
        size_t next[2] = {rowSecond_[size_t(2 * pair)], rowSecond_[size_t(2 * pair + 1)]};
        uint8_t* lumaRows[2] = {out.data[0] + size_t(2 * pair) * size_t(out.linesize[0]),
                                out.data[0] + size_t(2 * pair + 1) * size_t(out.linesize[0])};
        uint8_t* cb = out.data[1] + size_t(pair) * size_t(out.linesize[1]);
        uint8_t* cr = out.data[2] + size_t(pair) * size_t(out.linesize[2]);
        const size_t blockRow = size_t(pair) * size_t(halfWidth);
        for (int x = 0; x < width; x += 2) {
            const Block& block = blocks[blockRow + size_t(x / 2)];
            int u, v;
            {
                const Tap& c0 = block.chroma[0];
                const Tap& c1 = block.chroma[1];
                const int w1 = block.weight1;
                if (w1 == 0) {
                    u = bilinear(uPlane + c0.chroma, chromaStride, c0.chromaFx, c0.chromaFy);
                    v = bilinear(vPlane + c0.chroma, chromaStride, c0.chromaFx, c0.chromaFy);
                } else if (w1 == kOne) {
                    u = bilinear(uPlane + c1.chroma, chromaStride, c1.chromaFx, c1.chromaFy);
                    v = bilinear(vPlane + c1.chroma, chromaStride, c1.chromaFx, c1.chromaFy);
                } else {
                    u = (bilinear(uPlane + c0.chroma, chromaStride, c0.chromaFx, c0.chromaFy) * (kOne - w1) +
                         bilinear(uPlane + c1.chroma, chromaStride, c1.chromaFx, c1.chromaFy) * w1) >> kFrac;
                    v = (bilinear(vPlane + c0.chroma, chromaStride, c0.chromaFx, c0.chromaFy) * (kOne - w1) +
                         bilinear(vPlane + c1.chroma, chromaStride, c1.chromaFx, c1.chromaFy) * w1) >> kFrac;
                }
            }
            const int U = u - in.cOffset, V = v - in.cOffset;
            // Chroma offsets of R, G and B (2^21 a level) shared by the block.
            const int r = in.rv * V, g = -in.gu * U - in.gv * V, b = in.bu * U;
            int Y[4];
            bool inRange = true;
            const int low = -kRound - std::min({r, g, b}), high = (255 << kShift) + kRound - std::max({r, g, b});
            for (int k = 0; k < 4; ++k) {
                const size_t i = size_t(2 * pair + k / 2) * size_t(width) + size_t(x + k % 2);
                const Tap& tap = primary[i];
                int y = bilinear(yPlane + tap.luma, lumaStride, tap.lumaFx, tap.lumaFy);
                if (blended[i]) {
                    const SecondTap& other = second[next[k / 2]++];
                    const Tap& t = other.tap;
                    y = (y * (kOne - other.weight) +
                         bilinear(yPlane + t.luma, lumaStride, t.lumaFx, t.lumaFy) * other.weight) >> kFrac;
                }
                Y[k] = (y - in.yOffset) * in.y;
                inRange = inRange && Y[k] >= low && Y[k] < high;
            }
            if (inRange) {
                // No channel clips: the output's luma is linear in Y, and its
                // chroma does not depend on Y (each chroma row sums to 0).
                const int64_t yFromChroma = int64_t(o.yr) * r + int64_t(o.yg) * g + int64_t(o.yb) * b;
                for (int k = 0; k < 4; ++k) {
                    const int64_t luma = int64_t(o.ySum) * Y[k] + yFromChroma;
                    lumaRows[k / 2][x + k % 2] =
                        clampByte(int(((luma >> 15) + lumaBase + kRound) >> kShift));
                }
                const int64_t cbSum = int64_t(o.ur) * r + int64_t(o.ug) * g + int64_t(o.ub) * b;
                const int64_t crSum = int64_t(o.vr) * r + int64_t(o.vg) * g + int64_t(o.vb) * b;
                constexpr int kChromaShift = kShift + 15;
                cb[x / 2] = clampByte(int((cbSum + (int64_t(1) << (kChromaShift - 1))) >> kChromaShift) + o.cOffset);
                cr[x / 2] = clampByte(int((crSum + (int64_t(1) << (kChromaShift - 1))) >> kChromaShift) + o.cOffset);
                continue;
            }
            int sumR = 0, sumG = 0, sumB = 0;
            for (int k = 0; k < 4; ++k) {
                const int R = clampByte((Y[k] + r + kRound) >> kShift), G = clampByte((Y[k] + g + kRound) >> kShift),
                          B = clampByte((Y[k] + b + kRound) >> kShift);
                lumaRows[k / 2][x + k % 2] =
                    clampByte(((o.yr * R + o.yg * G + o.yb * B + kHalf) >> 15) + o.yOffset);
                sumR += R;
                sumG += G;
                sumB += B;
            }
            cb[x / 2] = clampByte(((o.ur * sumR + o.ug * sumG + o.ub * sumB + 4 * kHalf) >> 17) + o.cOffset);
            cr[x / 2] = clampByte(((o.vr * sumR + o.vg * sumG + o.vb * sumB + 4 * kHalf) >> 17) + o.cOffset);
        }
    }
}

namespace {

constexpr int kGainBits = 12;

}  // namespace

void TwinsRemap::setLensGains(const vistamo::lens::LensGains& gains) {
    matched_ = !(gains == vistamo::lens::LensGains());
    for (int c = 0; c < 3; ++c) {
        gain_[0][c] = int(std::lround(double(gains.a[size_t(c)]) * (1 << kGainBits)));
        gain_[1][c] = int(std::lround(double(gains.b[size_t(c)]) * (1 << kGainBits)));
    }
}

void TwinsRemap::matchedRgb(const stitch_frame& frame, const InputCoefficients& in, size_t pixel,
                            size_t& nextSecond, int rgb[3]) const {
    const uint8_t* yPlane = frame.data[0];
    const uint8_t* uPlane = frame.data[1];
    const uint8_t* vPlane = frame.data[2];
    const int yStride = frameW_, cStride = frameW_ / 2;
    constexpr int kWhite = 255 << 8;
    // One lens' R'G'B' (8.8) under its gain, at most white.
    auto lensColour = [&](const Tap& tap, int lens, int out[3]) {
        const int Y = (bilinear(yPlane + tap.luma, yStride, tap.lumaFx, tap.lumaFy) - in.yOffset) * in.y;
        const int U = bilinear(uPlane + tap.chroma, cStride, tap.chromaFx, tap.chromaFy) - in.cOffset;
        const int V = bilinear(vPlane + tap.chroma, cStride, tap.chromaFx, tap.chromaFy) - in.cOffset;
        const int raw[3] = {Y + in.rv * V, Y - in.gu * U - in.gv * V, Y + in.bu * U};  // 2^21 a level
        for (int c = 0; c < 3; ++c) {
            const int64_t level = int64_t(raw[c] >> kCoefficientBits) * gain_[lens][c] >> kGainBits;
            out[c] = int(std::min<int64_t>(level, kWhite));
        }
    };
    const int lens = primaryLens_[pixel];
    int a[3];
    lensColour(primary_[pixel], lens, a);
    if (blended_[pixel]) {
        const SecondTap& other = second_[nextSecond++];
        int b[3];
        lensColour(other.tap, 1 - lens, b);
        const int w = other.weight, keep = kOne - w;
        for (int c = 0; c < 3; ++c)
            a[c] = (a[c] * keep + b[c] * w) >> kFrac;
    }
    for (int c = 0; c < 3; ++c)
        rgb[c] = clampByte((a[c] + 128) >> 8);
}

void TwinsRemap::renderMatchedYuvRows(const stitch_frame& frame, const Planes& out, int firstPair,
                                      int endPair) const {
    // Each pixel's stitched colour, then the output's luma per pixel and its
    // chroma from each 2 × 2 block's mean, as the fast path does where a
    // channel clips.
    const InputCoefficients in = inputCoefficients(frame.colour);
    const OutputCoefficients o = output_;
    constexpr int kHalf = 1 << 14;
    for (int pair = firstPair; pair < endPair; ++pair) {
        size_t next[2] = {rowSecond_[size_t(2 * pair)], rowSecond_[size_t(2 * pair + 1)]};
        uint8_t* lumaRows[2] = {out.data[0] + size_t(2 * pair) * size_t(out.linesize[0]),
                                out.data[0] + size_t(2 * pair + 1) * size_t(out.linesize[0])};
        uint8_t* cb = out.data[1] + size_t(pair) * size_t(out.linesize[1]);
        uint8_t* cr = out.data[2] + size_t(pair) * size_t(out.linesize[2]);
        for (int x = 0; x < width_; x += 2) {
            int sumR = 0, sumG = 0, sumB = 0;
            for (int k = 0; k < 4; ++k) {
                const int row = 2 * pair + k / 2, column = x + k % 2;
                int rgb[3];
                matchedRgb(frame, in, size_t(row) * size_t(width_) + size_t(column), next[k / 2], rgb);
                lumaRows[k / 2][column] =
                    clampByte(((o.yr * rgb[0] + o.yg * rgb[1] + o.yb * rgb[2] + kHalf) >> 15) + o.yOffset);
                sumR += rgb[0];
                sumG += rgb[1];
                sumB += rgb[2];
            }
            cb[x / 2] = clampByte(((o.ur * sumR + o.ug * sumG + o.ub * sumB + 4 * kHalf) >> 17) + o.cOffset);
            cr[x / 2] = clampByte(((o.vr * sumR + o.vg * sumG + o.vb * sumB + 4 * kHalf) >> 17) + o.cOffset);
        }
    }
}

template <typename Rows>
void TwinsRemap::split(int rows, int threads, Rows work) const {
    vistamo::threads::forRowBands(rows, std::clamp(threads, 1, 16), work);
}

void TwinsRemap::render(const stitch_frame& frame, uint8_t* rgba, int threads) const {
    split(height_, threads, [&](int first, int end) {
        if (matched_)
            renderRows(frame, rgba, first, end, [this](auto&&... a) { matchedRgb(a...); });
        else
            renderRows(frame, rgba, first, end, [this](auto&&... a) { stitchRgb(a...); });
    });
}

void TwinsRemap::renderYuv420(const stitch_frame& frame, const Planes& out, int threads) const {
    split(height_ / 2, threads, [&](int first, int end) {
        if (matched_)
            renderMatchedYuvRows(frame, out, first, end);
        else
            renderYuvRows(frame, out, first, end);
    });
}

}  // namespace loomfold
