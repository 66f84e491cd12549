#include "frame_intake.h"

#include <QDebug>

#include <opencv2/core.hpp>

#include <algorithm>

#include "circle_detection.h"

namespace vistamo::render {

QSize intakeSize(QSize frame) {
    if (frame.width() > 8192)
        return {};
    if (frame.width() < 2160)
        return frame;
    return QSize((frame.width() / 4) * 2, (frame.height() / 4) * 2);
}

QImage FrameIntake::convert(const media::VideoFrame& frame) const {
    const QSize size = intakeSize(frame.size());
    if (size.isEmpty())
        return {};
    return frame.toImage(QImage::Format_ARGB32, size);
}

bool FrameIntake::build(const QImage& image, const Request& request) {
    if (!request.buildCoordinates || image.isNull())
        return false;
    if (request.kind == Twins) {
        ImageData record = request.record;
        record.frameWidth = image.width();
        record.frameHeight = image.height();
        twins_.setImageData(record);
        return true;
    }
    if (request.kind != Sphere)
        return false;
    if (request.record.calibrated) {
        // The calibration was measured on a picture of its own width: scale
        // circle and sizes to this frame.
        ImageData record = request.record;
        record.frameWidth = image.width();
        record.frameHeight = image.height();
        const double x = double(record.frameWidth) / std::max(record.calibWidth, 1);
        record.calibWidth = saturatedInt(record.calibWidth * x);
        record.calibHeight = saturatedInt(record.calibHeight * x);
        if (record.lenses.size() == 1) {
            LenParam& lens = record.lenses[0];
            lens.radius = saturatedInt(lens.radius * x);
            lens.centerX = saturatedInt(lens.centerX * x);
            lens.centerY = saturatedInt(lens.centerY * x);
        }
        sphere_.setImageData(record);
        return true;
    }
    qDebug() << "frame image format" << int(image.format());
    const cv::Mat pixels(image.height(), image.width(), CV_8UC4, const_cast<uchar*>(image.constBits()),
                         size_t(image.bytesPerLine()));
    const vision::CircleFit fit = vision::detectFisheyeCircle(pixels);
    ImageData record;
    record.calibrated = true;
    record.frameWidth = fit.width;
    record.frameHeight = fit.height;
    record.fov = vision::kDetectedFov;
    LenParam lens;
    lens.radius = saturatedInt(fit.radius);
    lens.centerX = saturatedInt(fit.centerX);
    lens.centerY = saturatedInt(fit.centerY);
    record.lenses.push_back(lens);
    sphere_.setImageData(record);
    return true;
}

}  // namespace vistamo::render
