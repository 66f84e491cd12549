// Inverse lens models of the sample generator: for a pixel of a fisheye
// picture, where on the equirectangular scene does it look? They invert the
// forward mappings the player's renderer uses, so that a stitched sample
// shows the scene itself.
//
// Scene coordinates: u, v in [0, 1] across the equirectangular scene picture
// (u = 0 its left edge, v = 0 its top row).
#pragma once

#include <string>

namespace samplegen {

// A two-lens calibration as the generator reads it from its text, on its own
// so that the generator is no client of the library it helps test.
struct TwinsLens {
    double radius = 0, centerX = 0, centerY = 0;
    double yaw = 0, pitch = 0, roll = 0;
    double coefA = 0, coefB = 0, coefC = 0;
};
struct TwinsCalibration {
    TwinsLens lenses[2];
    int calibWidth = 0, calibHeight = 0;
    double offsetX = 0, offsetY = 0;
    double fov = 0;  // the renderer uses the first lens' field of view for both
};

// Reads a device-type-6 text (27 tokens); false when it is not one.
bool parseTwinsCalibration(const std::string& text, TwinsCalibration& out);

struct SceneUv {
    float u = 0;
    float v = 0;
    bool inside = false;  // false: the pixel lies outside every lens circle
};

// Two-lens picture: frameX, frameY are continuous pixel positions of a
// frame of frameWidth × frameHeight (pixel centres at +0.5). The calibration
// in data was measured on data.calibWidth × data.calibHeight.
SceneUv twinsPixelToScene(const TwinsCalibration& data, int frameWidth, int frameHeight,
                          double frameX, double frameY);

// Single-lens picture with an equidistant lens of field of view fovDeg whose
// colatitude fovDeg / 2 lies at effectiveRadius pixels from (centerX,
// centerY); content runs out to circleRadius pixels.
SceneUv spherePixelToScene(double centerX, double centerY, double effectiveRadius,
                           double circleRadius, double fovDeg, double frameX, double frameY);

// The radius at which the renderer places colatitude fov / 2 for a lens of
// radius r centred at x = cx: the smallest even number not below r − 4 for a
// circle inside the picture, r for one crossing the left edge.
int rendererEffectiveRadius(int radius, int centerX);

// The forward two-lens mapping: grid direction (normalised column x in
// [-1, 1], row y in [-1, 1]) to a calibration-picture pixel of lens k.
// Used to check the inverse.
void twinsSceneToLensPixel(const TwinsCalibration& data, int lens, double x, double y,
                           double& px, double& py);

}  // namespace samplegen
