// The lens-matching estimator on made-up overlap samples: known gains come
// back, clipped and dark samples are left out, too few give unit gains, and
// a video's gains move by at most their step per frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "lens_match.h"

using namespace vistamo::lens;

namespace {

uint8_t toByte(double v) { return uint8_t(std::lround(std::clamp(v, 0.0, 255.0))); }

// Pairs of a textured scene whose lens B records each channel `k` times as
// bright as lens A, with a little noise in both.
std::vector<LensPair> overlap(size_t n, const double k[3], unsigned seed, int low = 30, int high = 170) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> level(low, high);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<LensPair> pairs(n);
    for (auto& p : pairs)
        for (int c = 0; c < 3; ++c) {
            const double scene = level(random);
            p.a[c] = toByte(scene + noise(random));
            p.b[c] = toByte(scene * k[c] + noise(random));
        }
    return pairs;
}

// How far lens B's level under its gain is from lens A's under its own, as
// a ratio (1: matched).
double matchedRatio(const LensGains& g, int c, double k) { return k * g.b[size_t(c)] / g.a[size_t(c)]; }

}  // namespace

TEST(LensMatch, KnownGainsComeBackWithinOnePercent) {
    const double cases[][3] = {{1.35, 1.35, 1.485}, {0.8, 0.9, 1.0}, {1.0, 1.0, 1.0}, {1.2, 1.1, 0.95}};
    for (const auto& k : cases) {
        const std::vector<LensPair> pairs = overlap(2000, k, 7);
        size_t used = 0;
        const LensGains g = estimateLensGains(pairs.data(), pairs.size(), {}, &used);
        EXPECT_GT(used, 1500u);
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(matchedRatio(g, c, k[c]), 1.0, 0.01) << "channel " << c << " k " << k[c];
            // Split evenly: both lenses move towards each other.
            EXPECT_NEAR(g.a[size_t(c)] * g.b[size_t(c)], 1.0, 1e-4);
        }
    }
}

TEST(LensMatch, ClippedAndDarkSamplesAreLeftOut) {
    const double k[3] = {1.3, 1.3, 1.3};
    std::vector<LensPair> pairs = overlap(1000, k, 11);
    // Sky that lens B clips and shadow that lens A loses: they would pull the
    // ratio towards 1 (or anywhere), so they must not count.
    for (int i = 0; i < 800; ++i) {
        pairs.push_back(LensPair{{200, 200, 200}, {255, 255, 255}});
        pairs.push_back(LensPair{{5, 5, 5}, {9, 40, 2}});
    }
    size_t used = 0;
    const LensGains g = estimateLensGains(pairs.data(), pairs.size(), {}, &used);
    EXPECT_LE(used, 1000u);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(matchedRatio(g, c, 1.3), 1.0, 0.01);
}

TEST(LensMatch, TooFewOrNoSamplesGiveUnitGains) {
    const double k[3] = {1.5, 1.5, 1.5};
    const std::vector<LensPair> few = overlap(150, k, 3);
    EXPECT_EQ(estimateLensGains(few.data(), few.size()), LensGains());
    EXPECT_EQ(estimateLensGains(nullptr, 0), LensGains());
    // Enough pairs, but all of them clipped: none usable.
    const std::vector<LensPair> white(5000, LensPair{{250, 250, 250}, {255, 255, 255}});
    EXPECT_EQ(estimateLensGains(white.data(), white.size()), LensGains());
    // A gain beyond the largest is held there.
    const double far[3] = {6.0, 6.0, 6.0};
    const std::vector<LensPair> dim = overlap(1000, far, 5, 20, 35);
    const LensGains g = estimateLensGains(dim.data(), dim.size());
    EXPECT_FLOAT_EQ(g.a[0], 2.0f);
    EXPECT_FLOAT_EQ(g.b[0], 0.5f);
}

TEST(LensMatch, VideoGainsMoveByTheirStepAtMost) {
    LensGains current;
    LensGains target;
    target.a = {{1.2f, 1.1f, 0.9f}};
    target.b = {{0.8f, 0.9f, 1.1f}};
    for (int frame = 0; frame < 200; ++frame) {
        const LensGains next = stepTowards(current, target);
        for (size_t c = 0; c < 3; ++c) {
            EXPECT_LE(std::fabs(next.a[c] / current.a[c] - 1.0f), 0.005f + 1e-6f);
            EXPECT_LE(std::fabs(next.b[c] / current.b[c] - 1.0f), 0.005f + 1e-6f);
        }
        current = next;
    }
    // About 37 frames bring a 20 % change; 200 arrive exactly.
    EXPECT_EQ(current, target);
    EXPECT_FLOAT_EQ(matchedChannel(0.5f, 1.2f), 0.6f);
    EXPECT_FLOAT_EQ(matchedChannel(0.9f, 1.2f), 1.0f);
}
