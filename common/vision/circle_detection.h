// Finds the image circle of a one-lens fisheye picture: the smallest circle
// around all edges of a reduced grey copy, pulled 30 pixels inwards, with a
// fall-back to a circle of the picture's height when that is implausible.
//
// The player's view and the Converter's single-lens modes both use it, so
// that an uncalibrated file is previewed and exported with one circle.
#pragma once

#include <opencv2/core.hpp>

#include <string>

namespace vistamo::vision {

struct CircleFit {
    float radius = 0;
    float centerX = 0, centerY = 0;
    int top = 0, bottom = 0, left = 0, right = 0;
    int width = 0, height = 0;
    float tolerance = 0;
    cv::Mat picture;  // the input picture (shared, not copied)
};

// picture: 8 bits with 3 or 4 channels in B, G, R (A) order.
CircleFit detectFisheyeCircle(cv::Mat picture);

// The field of view assumed for a detected circle (degrees).
constexpr float kDetectedFov = 236.0f;

// The circle as a single-lens calibration text, in whole pixels of the
// picture it was found on: "5_R_CX_CY_W_H_236_0_0_0".
std::string singleLensText(const CircleFit& fit);

}  // namespace vistamo::vision
