// Finds the image circle of a one-lens fisheye picture: the smallest circle
// around all edges of a reduced grey copy, pulled 30 pixels inwards, with a
// fall-back to a circle of the picture's height when that is implausible.
#pragma once

#include <opencv2/core.hpp>

namespace vistamo::render {

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

}  // namespace vistamo::render
