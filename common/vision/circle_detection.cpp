#include "circle_detection.h"

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <vector>

#include "fisheye_lens.h"

namespace vistamo::vision {
namespace {

struct Circle {
    float radius, cx, cy;
};

// The minimum enclosing circle of every edge pixel, in full-picture pixels
// and pulled 30 pixels inwards; false when there is no edge at all.
bool enclosingCircle(const cv::Mat& edges, float scale, Circle& out) {
    std::vector<cv::Point> points;
    for (int row = 0; row < edges.rows; ++row) {
        const uchar* p = edges.ptr<uchar>(row);
        for (int col = 0; col < edges.cols; ++col)
            if (p[col] > 0)
                points.emplace_back(col, row);
    }
    if (points.empty())
        return false;
    cv::Point2f centre;
    float radius = 0;
    cv::minEnclosingCircle(points, centre, radius);
    out = {radius / scale - 30.0f, centre.x / scale, centre.y / scale};
    return true;
}

Circle fitCircle(const cv::Mat& picture, const Circle& defaults, float tolerance) {
    const int W = picture.cols, H = picture.rows;
    if (W == 0 || H == 0)
        return defaults;
    const int w = std::min(640, W);
    const float k = float(w) / float(W);
    cv::Mat small;
    cv::resize(picture, small, cv::Size(w, int(float(H) * k)), 0, 0, cv::INTER_LINEAR);
    cv::cvtColor(small, small, picture.channels() == 4 ? cv::COLOR_BGRA2GRAY : cv::COLOR_BGR2GRAY);
    cv::Mat blurred;
    cv::GaussianBlur(small, blurred, cv::Size(5, 5), 5.0, 0, cv::BORDER_REFLECT_101);
    const cv::Mat element = cv::Mat::ones(1, 1, CV_8U);
    cv::dilate(blurred, blurred, element, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::morphologyDefaultBorderValue());
    cv::erode(blurred, blurred, element, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::morphologyDefaultBorderValue());
    cv::Canny(blurred, blurred, 25, 75, 3, false);
    Circle found;
    if (!enclosingCircle(blurred, k, found))
        return defaults;
    if (found.radius > float(H / 3))
        return found;
    Circle result = defaults;
    if (std::fabs(found.cx - float(W / 2)) < tolerance || std::fabs(found.cy - float(H / 2)) < tolerance) {
        result.cx = found.cx;
        result.cy = found.cy;
    }
    return result;
}

}  // namespace

CircleFit detectFisheyeCircle(cv::Mat picture) {
    CircleFit fit;
    fit.width = picture.cols;
    fit.height = picture.rows;
    fit.tolerance = float(fit.width) * 1.0f / 4032.0f * 400.0f;
    const Circle defaults{float(fit.height) / 2, float(fit.width) / 2, float(fit.height) / 2};
    const Circle c = fitCircle(picture, defaults, fit.tolerance);
    fit.radius = c.radius;
    fit.centerX = c.cx;
    fit.centerY = c.cy;
    fit.top = int(c.cy - c.radius);
    fit.bottom = int(c.cy + c.radius);
    fit.left = int(c.cx - c.radius);
    fit.right = int(c.cx + c.radius);
    fit.picture = picture;
    return fit;
}

std::string singleLensText(const CircleFit& fit) {
    using lens::saturatedInt;
    return "5_" + std::to_string(saturatedInt(fit.radius)) + "_" + std::to_string(saturatedInt(fit.centerX)) + "_" +
           std::to_string(saturatedInt(fit.centerY)) + "_" + std::to_string(fit.width) + "_" +
           std::to_string(fit.height) + "_" + std::to_string(int(kDetectedFov)) + "_0_0_0";
}

}  // namespace vistamo::vision
