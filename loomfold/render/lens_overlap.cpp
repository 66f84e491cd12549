#include "lens_overlap.h"

#include <algorithm>
#include <cmath>

#include "colour_rule.h"
#include "stitch_geometry.h"

namespace loomfold {

namespace {

// The colour at (u, v) of the frame's planes (nearest texel), as bytes.
bool sample(const stitch_frame& frame, const vistamo::colour::YuvToRgb& toRgb, float u, float v, uint8_t rgb[3]) {
    if (!(u >= 0.0f && u <= 1.0f && v >= 0.0f && v <= 1.0f))
        return false;
    const int x = std::min(int(u * float(frame.linesize[0])), frame.width - 1);
    const int y = std::min(int(v * float(frame.height)), frame.height - 1);
    const float s[3] = {float(frame.data[0][size_t(y) * size_t(frame.linesize[0]) + size_t(x)]) / 255.0f,
                        float(frame.data[1][size_t(y / 2) * size_t(frame.linesize[1]) + size_t(x / 2)]) / 255.0f,
                        float(frame.data[2][size_t(y / 2) * size_t(frame.linesize[2]) + size_t(x / 2)]) / 255.0f};
    for (int c = 0; c < 3; ++c) {
        float value = 0;
        for (int k = 0; k < 3; ++k)
            value += toRgb.m[3 * c + k] * (s[k] - toRgb.offset[k]);
        rgb[c] = uint8_t(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f));
    }
    return true;
}

}  // namespace

std::vector<vistamo::lens::LensPair> overlapPairs(const stitch_frame& frame, const std::vector<float>& coordsA,
                                                  const std::vector<float>& coordsB, float bandDegrees) {
    std::vector<vistamo::lens::LensPair> pairs;
    const size_t vertices = size_t(kGridVertices);
    if (coordsA.size() < 2 * vertices || coordsB.size() < 2 * vertices || frame.width < 2 || frame.height < 2 ||
        !frame.data[0] || !frame.data[1] || !frame.data[2])
        return pairs;
    const vistamo::colour::YuvToRgb toRgb = vistamo::colour::yuvToRgb(frame.colour);
    const float band = std::max(bandDegrees, 360.0f / float(kGridColumns));
    for (int row = 0; row < kGridRows; ++row)
        for (int j = 0; j <= kGridColumns; ++j) {
            const float degree = float(gridColumn(row, j)) * (360.0f / float(kGridColumns));
            if (std::fabs(degree - 90.0f) > band && std::fabs(degree - 270.0f) > band)
                continue;
            for (int edge = 0; edge < 2; ++edge) {
                const size_t i = vistamo::lens::stripIndex(row, j, edge, 2);
                vistamo::lens::LensPair pair;
                if (sample(frame, toRgb, coordsA[i], coordsA[i + 1], pair.a) &&
                    sample(frame, toRgb, coordsB[i], coordsB[i + 1], pair.b))
                    pairs.push_back(pair);
            }
        }
    return pairs;
}

}  // namespace loomfold
