#include "lens_match.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace vistamo::lens {

namespace {

bool usablePair(const LensPair& p, const MatchRules& rules) {
    for (int c = 0; c < 3; ++c) {
        if (p.a[c] <= rules.darkest || p.b[c] <= rules.darkest)
            return false;
        if (p.a[c] >= rules.brightest || p.b[c] >= rules.brightest)
            return false;
    }
    return true;
}

float median(std::vector<float>& values) {
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(middle), values.end());
    float m = values[middle];
    if (values.size() % 2 == 0) {
        const float below = *std::max_element(values.begin(), values.begin() + std::ptrdiff_t(middle));
        m = (m + below) / 2.0f;
    }
    return m;
}

}  // namespace

LensGains estimateLensGains(const LensPair* pairs, size_t count, const MatchRules& rules, size_t* usable) {
    std::vector<float> ratios[3];
    for (auto& r : ratios)
        r.reserve(count);
    for (size_t i = 0; pairs && i < count; ++i) {
        if (!usablePair(pairs[i], rules))
            continue;
        for (int c = 0; c < 3; ++c)
            ratios[c].push_back(float(pairs[i].b[c]) / float(pairs[i].a[c]));
    }
    if (usable)
        *usable = ratios[0].size();
    LensGains gains;
    if (ratios[0].size() < std::max<size_t>(rules.minSamples, 1))
        return gains;
    const float largest = std::max(rules.largestGain, 1.0f);
    for (int c = 0; c < 3; ++c) {
        const float half = std::sqrt(median(ratios[c]));
        gains.a[size_t(c)] = std::clamp(half, 1.0f / largest, largest);
        gains.b[size_t(c)] = std::clamp(1.0f / half, 1.0f / largest, largest);
    }
    return gains;
}

LensGains stepTowards(const LensGains& current, const LensGains& target, float maxStep) {
    auto step = [maxStep](float from, float to) {
        const float up = from * (1.0f + maxStep), down = from / (1.0f + maxStep);
        return std::clamp(to, down, up);
    };
    LensGains out;
    for (size_t c = 0; c < 3; ++c) {
        out.a[c] = step(current.a[c], target.a[c]);
        out.b[c] = step(current.b[c], target.b[c]);
    }
    return out;
}

}  // namespace vistamo::lens
