// One decoded picture. Copies share the pixels (reference counted); a frame
// is immutable once made, so it may be handed between threads freely.
#pragma once

#include <QImage>
#include <QSize>

#include <memory>

#include "video_format.h"

struct AVFrame;

namespace vistamo::media {

class VideoFrame {
public:
    VideoFrame() = default;
    // Takes a new reference to frame; timestamp in seconds from the start.
    VideoFrame(const AVFrame* frame, double timestamp);

    bool isValid() const { return bool(frame_); }
    int width() const;
    int height() const;
    QSize size() const { return QSize(width(), height()); }
    VideoFormat::PixelFormat format() const;
    AVPixelFormat avFormat() const;
    int planeCount() const;
    const uchar* constBits(int plane = 0) const;
    int bytesPerLine(int plane = 0) const;
    double timestamp() const { return timestamp_; }
    const AVFrame* avFrame() const { return frame_.get(); }

    // The picture scaled to size (the frame's own size when empty) in
    // another pixel format; an invalid frame when the conversion fails.
    VideoFrame to(VideoFormat::PixelFormat format, QSize size = QSize()) const;
    // The picture as an image of the given format and size (the frame's own
    // when empty). Supported: ARGB32, RGB32, RGB888, RGBA8888, Grayscale8.
    QImage toImage(QImage::Format format = QImage::Format_ARGB32, QSize size = QSize()) const;

private:
    std::shared_ptr<AVFrame> frame_;
    double timestamp_ = 0;
};

}  // namespace vistamo::media
