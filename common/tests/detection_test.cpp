// Circle detection on synthetic pictures.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "circle_detection.h"

namespace vistamo::vision {
namespace {

cv::Mat circlePicture(cv::Size size, cv::Point centre, int radius) {
    cv::Mat picture(size, CV_8UC4, cv::Scalar(0, 0, 0, 255));
    cv::circle(picture, centre, radius, cv::Scalar(200, 180, 160, 255), cv::FILLED, cv::LINE_AA);
    return picture;
}

TEST(CircleDetection, FindsABrightCircleAndPullsItIn) {
    struct Case {
        cv::Size size;
        cv::Point centre;
        int radius;
    };
    for (const Case& c : {Case{{1440, 1440}, {720, 720}, 680}, Case{{1920, 1080}, {1000, 560}, 500},
                          Case{{480, 480}, {240, 250}, 200}}) {
        const CircleFit fit = detectFisheyeCircle(circlePicture(c.size, c.centre, c.radius));
        const float slack = 4.0f * c.size.width / 640 + 2;  // the reduced copy's pixels
        EXPECT_NEAR(fit.radius, c.radius - 30, slack) << c.size.width;
        EXPECT_NEAR(fit.centerX, c.centre.x, slack);
        EXPECT_NEAR(fit.centerY, c.centre.y, slack);
        EXPECT_EQ(fit.width, c.size.width);
        EXPECT_EQ(fit.top, int(fit.centerY - fit.radius));
    }
}

TEST(CircleDetection, UniformPictureGivesTheDefaults) {
    const CircleFit fit = detectFisheyeCircle(cv::Mat(1440, 1440, CV_8UC3, cv::Scalar(90, 90, 90)));
    EXPECT_FLOAT_EQ(fit.radius, 720);
    EXPECT_FLOAT_EQ(fit.centerX, 720);
    EXPECT_FLOAT_EQ(fit.centerY, 720);
    EXPECT_NEAR(fit.tolerance, 142.85715f, 1e-3);
    const CircleFit empty = detectFisheyeCircle(cv::Mat());
    EXPECT_EQ(empty.radius, 0);
}

TEST(CircleDetection, SmallCircleFallsBackToThePictureHeight) {
    // Radius 300 − 30 is below H / 3 = 360: the default radius, the centre
    // kept because it lies near the picture centre on one axis.
    const CircleFit fit = detectFisheyeCircle(circlePicture({1920, 1080}, {1000, 900}, 300));
    EXPECT_FLOAT_EQ(fit.radius, 540);
    EXPECT_NEAR(fit.centerX, 1000, 6);
    EXPECT_NEAR(fit.centerY, 900, 6);
    // Far from the centre on both axes: the default centre too.
    const CircleFit off = detectFisheyeCircle(circlePicture({1920, 1080}, {1600, 900}, 150));
    EXPECT_FLOAT_EQ(off.centerX, 960);
    EXPECT_FLOAT_EQ(off.centerY, 540);
}

TEST(CircleDetection, CircleCrossingTheEdge) {
    // The edge pixels lie on the visible arc and the picture border is no
    // edge: the enclosing circle still holds the arc.
    const CircleFit fit = detectFisheyeCircle(circlePicture({1280, 720}, {1100, 360}, 400));
    EXPECT_GT(fit.radius, 240.0f);
    EXPECT_GT(fit.centerX, 640.0f);
}

}  // namespace
}  // namespace vistamo::vision
