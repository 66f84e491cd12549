// The generator is the oracle of the stitching tests, so its inverse lens
// models are checked against the forward mappings they invert.
#include "lens_model.h"

#include <gtest/gtest.h>

#include <cmath>

#include "sample_calibration.h"

namespace samplegen {
namespace {

TwinsCalibration sampleCalibration() {
    TwinsCalibration c;
    EXPECT_TRUE(parseTwinsCalibration(samples::kTwinsCalibText, c));
    return c;
}

TEST(TwinsModel, ParsesTheSampleText) {
    const TwinsCalibration c = sampleCalibration();
    EXPECT_EQ(c.calibWidth, samples::kTwinsCalibWidth);
    EXPECT_EQ(c.calibHeight, samples::kTwinsCalibHeight);
    EXPECT_DOUBLE_EQ(c.lenses[1].yaw, 180);
    EXPECT_DOUBLE_EQ(c.lenses[0].pitch, 0.8);
    EXPECT_DOUBLE_EQ(c.lenses[1].coefC, 0.06);
    EXPECT_DOUBLE_EQ(c.fov, 200);
    TwinsCalibration other;
    EXPECT_FALSE(parseTwinsCalibration("5_1_2_3_4_5_6_7_8_9", other));
    EXPECT_FALSE(parseTwinsCalibration("6_1_2", other));
}

TEST(TwinsModel, InverseUndoesTheForwardMapping) {
    const TwinsCalibration c = sampleCalibration();
    // Render sizes other than the calibration size scale both ways.
    for (int frameWidth : {3840, 960}) {
        const int frameHeight = frameWidth / 2;
        int checked = 0;
        for (int lens = 0; lens < 2; ++lens) {
            for (double x = -0.97; x < 1; x += 0.061) {
                for (double y = -0.95; y < 1; y += 0.047) {
                    double px, py;
                    twinsSceneToLensPixel(c, lens, x, y, px, py);
                    const double fx = px * frameWidth / c.calibWidth;
                    const double fy = py * frameHeight / c.calibHeight;
                    // Only points that lens sees, and not also lens 0 (which wins).
                    const TwinsLens& l = c.lenses[lens];
                    const double r = std::hypot(px - l.centerX, py - l.centerY) / l.radius;
                    if (r > 0.999 || (lens == 1 && fx < frameWidth / 2.0))
                        continue;
                    const SceneUv uv = twinsPixelToScene(c, frameWidth, frameHeight, fx, fy);
                    ASSERT_TRUE(uv.inside);
                    double du = std::fabs(uv.u - (x + 1) / 2);
                    du = std::min(du, 1 - du);  // longitude wraps
                    EXPECT_LT(du, 1e-5) << "lens " << lens << " x " << x << " y " << y;
                    EXPECT_NEAR(uv.v, (y + 1) / 2, 1e-5) << "lens " << lens << " x " << x << " y " << y;
                    ++checked;
                }
            }
        }
        EXPECT_GT(checked, 400);
    }
}

TEST(TwinsModel, LensAxisIsTheCircleCentreAndOutsideIsEmpty) {
    TwinsCalibration c = sampleCalibration();
    c.lenses[0].pitch = c.lenses[0].roll = 0;
    double px, py;
    twinsSceneToLensPixel(c, 0, 0, 0, px, py);  // longitude 0, latitude 0: the +y axis
    EXPECT_NEAR(px, c.lenses[0].centerX, 1e-9);
    EXPECT_NEAR(py, c.lenses[0].centerY, 1e-9);
    EXPECT_FALSE(twinsPixelToScene(c, 3840, 1920, 1920, 10).inside);  // between the circles
}

TEST(SphereModel, EquidistantLens) {
    const double cx = 480, cy = 480, e = 446, fov = samples::kSphereFov;
    const SceneUv centre = spherePixelToScene(cx, cy, e, 480, fov, cx, cy);
    ASSERT_TRUE(centre.inside);
    EXPECT_NEAR(centre.v, 0, 1e-6);
    // At the effective radius the colatitude is half the field of view; the
    // longitude runs from +y towards +x.
    const SceneUv right = spherePixelToScene(cx, cy, e, 480, fov, cx + e, cy);
    EXPECT_NEAR(right.v, fov / 2 / 180, 1e-6);
    EXPECT_NEAR(right.u, 0.25, 1e-6);
    const SceneUv down = spherePixelToScene(cx, cy, e, 480, fov, cx, cy + e / 2);
    EXPECT_NEAR(down.u, 0, 1e-6);
    EXPECT_NEAR(down.v, fov / 4 / 180, 1e-6);
    EXPECT_FALSE(spherePixelToScene(cx, cy, e, 470, fov, cx + 471, cy).inside);
}

TEST(SphereModel, RendererEffectiveRadius) {
    EXPECT_EQ(rendererEffectiveRadius(700, 960), 696);
    EXPECT_EQ(rendererEffectiveRadius(701, 960), 698);
    EXPECT_EQ(rendererEffectiveRadius(448, 480), 444);
    // A circle crossing the left edge keeps its radius.
    EXPECT_EQ(rendererEffectiveRadius(700, 600), 700);
    EXPECT_EQ(rendererEffectiveRadius(0, 100), 0);
}

}  // namespace
}  // namespace samplegen
