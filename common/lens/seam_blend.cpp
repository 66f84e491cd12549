#include "seam_blend.h"

#include <algorithm>

#include "fisheye_lens.h"

namespace vistamo::lens {

float seamWeightB(float degree, float s0, float s1, float m) {
    if (s1 + m > 360.0f && degree < 2.0f * m)
        degree += 360.0f;
    if (s0 - m < 0.0f && degree > 360.0f - 2.0f * m)
        degree -= 360.0f;
    if (s0 + m < degree && degree <= s1 - m)
        return 1.0f;
    if (s1 - m < degree && degree <= s1 + m)
        return 1.0f - (degree - (s1 - m)) / (2.0f * m);
    if (s0 - m < degree && degree <= s0 + m)
        return (degree - (s0 - m)) / (2.0f * m);
    return 0.0f;
}

float twinsWeightB(float degree, float yaw0, float yaw1, float m) {
    if (yaw0 == yaw1)
        return 0.0f;
    const float w = yaw0 < yaw1 ? seamWeightB(degree, yaw0, yaw1, m) : 1.0f - seamWeightB(degree, yaw1, yaw0, m);
    return std::clamp(w, 0.0f, 1.0f);
}

void twinsStripWeights(float yaw0, float yaw1, float m, float* weights) {
    for (int row = 0; row < kGridRows; ++row)
        for (int j = 0; j <= kGridColumns; ++j) {
            // The strip's column j on this row lies on meridian stripColumn(row, j).
            const float degree = float(stripColumn(row, j)) * (360.0f / float(kGridColumns));
            const float w = twinsWeightB(degree, yaw0, yaw1, m);
            for (int edge = 0; edge < 2; ++edge)
                weights[stripIndex(row, j, edge, 1)] = w;
        }
}

TwinsTriangles twinsStripTriangles(const float* weights, int vertices) {
    TwinsTriangles out;
    for (int t = 0; t + 2 < vertices; ++t) {
        const float a = weights[t], b = weights[t + 1], c = weights[t + 2];
        std::vector<uint32_t>& into = a == 0.0f && b == 0.0f && c == 0.0f   ? out.lensA
                                      : a == 1.0f && b == 1.0f && c == 1.0f ? out.lensB
                                                                            : out.blend;
        into.insert(into.end(), {uint32_t(t), uint32_t(t + 1), uint32_t(t + 2)});
    }
    return out;
}

}  // namespace vistamo::lens
