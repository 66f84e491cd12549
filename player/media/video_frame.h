// One decoded picture. Copies share the pixels (reference counted); a frame
// is immutable once made, so it may be handed between threads freely.
#pragma once

#include <QImage>
#include <QSize>

#include <memory>

#include "colour_rule.h"
#include "video_format.h"

struct AVFrame;

namespace vistamo::media {

class VideoFrame {
public:
    VideoFrame() = default;
    // Takes a new reference to frame; timestamp in seconds from the start.
    // jpeg: the frame is a JPEG picture (BT.601 full range whatever its
    // tags say).
    VideoFrame(const AVFrame* frame, double timestamp, bool jpeg = false);

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
    // How its samples are coded: from its tags, guessed from its height
    // when they name no matrix (the colour rule).
    const colour::ColourRule& colourRule() const { return rule_; }
    const AVFrame* avFrame() const { return frame_.get(); }

    // The picture scaled to size (the frame's own size when empty) in
    // another pixel format; an invalid frame when the conversion fails. A
    // YUV result keeps the frame's matrix and range.
    VideoFrame to(VideoFormat::PixelFormat format, QSize size = QSize()) const;
    // The picture as an image of the given format and size (the frame's own
    // when empty), converted by its colour rule. Supported: ARGB32, RGB32,
    // RGB888, RGBA8888, Grayscale8.
    QImage toImage(QImage::Format format = QImage::Format_ARGB32, QSize size = QSize()) const;

private:
    std::shared_ptr<AVFrame> frame_;
    double timestamp_ = 0;
    colour::ColourRule rule_;
};

}  // namespace vistamo::media
