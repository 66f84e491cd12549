// Test support: compares stitched pictures with the sample generator's
// scene.
#pragma once

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace vistamo::testing {

// PSNR over the pixels that mask marks.
inline double psnr(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask) {
    cv::Mat da, db;
    a.convertTo(da, CV_64FC3);
    b.convertTo(db, CV_64FC3);
    cv::Mat diff = da - db;
    diff = diff.mul(diff);
    const cv::Scalar sum = cv::sum(diff.setTo(cv::Scalar::all(0), mask == 0));
    const double pixels = cv::countNonZero(mask);
    const double mse = (sum[0] + sum[1] + sum[2]) / (3 * pixels);
    return mse <= 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// The picture seen at its structure: a Gaussian low-pass (σ = 1.5 pixels)
// takes out what two resamplings and 4:2:0 chroma do to one-pixel edges.
inline cv::Mat lowPass(const cv::Mat& picture) {
    cv::Mat out;
    cv::GaussianBlur(picture, out, cv::Size(7, 7), 1.5);
    return out;
}

// The scene turned half a turn in longitude: its halves swapped.
inline cv::Mat turnedHalfAround(const cv::Mat& scene) {
    const int half = scene.cols / 2;
    cv::Mat out;
    cv::hconcat(scene.colRange(half, scene.cols), scene.colRange(0, half), out);
    return out;
}

// Everything but the bands of ±degrees around longitudes 90 and 270.
inline cv::Mat awayFromSeams(cv::Size size, double degrees) {
    cv::Mat mask(size, CV_8U, cv::Scalar(255));
    const int band = int(size.width * degrees / 360.0);
    for (int seam : {size.width / 4, 3 * size.width / 4})
        mask.colRange(std::max(seam - band, 0), std::min(seam + band, size.width)).setTo(0);
    return mask;
}

}  // namespace vistamo::testing
