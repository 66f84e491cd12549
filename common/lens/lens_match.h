// Matching the two lenses of a two-lens camera. Each lens meters alone, so
// one lens may record brighter or warmer than the other; the seams then
// show a step. From directions that both lenses see (the blend bands of the
// seams) this estimates one gain per lens and colour channel that brings
// both lenses to their common level, and applies them as the seam blend
// does. Mirrored in stitch_glsl.h (VST_GLSL_LENS_MATCH): change both.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vistamo::lens {

// Gains for lens A and lens B, per channel R', G', B'. Unit gains change
// nothing.
struct LensGains {
    std::array<float, 3> a{{1.0f, 1.0f, 1.0f}};
    std::array<float, 3> b{{1.0f, 1.0f, 1.0f}};
    bool operator==(const LensGains& other) const { return a == other.a && b == other.b; }
};

// One direction seen by both lenses: its 8-bit R', G', B' in lens A and in
// lens B.
struct LensPair {
    uint8_t a[3];
    uint8_t b[3];
};

struct MatchRules {
    size_t minSamples = 200;  // fewer usable pairs: unit gains
    int darkest = 16;         // a channel at or below this in either lens: left out
    int brightest = 240;      // a channel at or above this (clipped): left out
    float largestGain = 2.0f; // no gain beyond this or below its inverse
};

// The gains from `count` pairs: per channel the median of B / A over the
// usable pairs (every channel of both lenses between darkest and
// brightest), split evenly between the lenses (A × √r, B ÷ √r), so that
// both meet at their geometric mean. Fewer than minSamples usable pairs
// give unit gains. `usable`, when given, receives the number used.
LensGains estimateLensGains(const LensPair* pairs, size_t count, const MatchRules& rules = {},
                            size_t* usable = nullptr);

// current moved towards target by at most maxStep (relative) per gain: a
// video's gains follow its light without a visible jump between frames.
LensGains stepTowards(const LensGains& current, const LensGains& target, float maxStep = 0.005f);

// A channel value (0 to 1) of a lens under its gain, as the seam blend
// applies it: scaled, and kept at most 1.
inline float matchedChannel(float value, float gain) {
    const float v = value * gain;
    return v < 1.0f ? v : 1.0f;
}

}  // namespace vistamo::lens
