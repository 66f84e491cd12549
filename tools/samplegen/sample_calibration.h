// Calibration texts that the sample generator writes into its media. Tests
// include this header so that expectations and media come from one place.
#pragma once

namespace samples {

// Two-lens, device type 6, 27 tokens, measured on a 3840 × 1920 picture: the
// generator scales it to whatever size it renders. Lens 1 looks backwards
// (yaw 180); both lenses have small pitch and roll and a mild polynomial.
inline constexpr const char* kTwinsCalibText =
    "6_952_960_960_0_0.8_-0.6_952_2880_960_180_-0.5_0.7_3840_1920"
    "_0_0_0_0_0.02_-0.05_0.08_-0.03_0.04_0.06_200_200";
inline constexpr int kTwinsCalibWidth = 3840;
inline constexpr int kTwinsCalibHeight = 1920;

inline constexpr const char* kTwinsSerial = "VST0123456789";

// The single-lens field of view: also what circle detection assumes.
inline constexpr float kSphereFov = 236.0f;
// The sphere picture's image circle runs this many pixels past the
// calibrated radius, a dark rim that circle detection pulls back inwards.
inline constexpr int kSphereRim = 30;

}  // namespace samples
