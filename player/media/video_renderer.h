// Something that shows decoded frames. The player calls receiveFrame on its
// presentation thread; an implementation must return quickly and hand any
// widget work to the GUI thread.
#pragma once

#include <atomic>

#include "video_frame.h"

namespace vistamo::media {

using VideoRendererId = int;

class VideoRenderer {
public:
    virtual ~VideoRenderer() = default;

    virtual VideoRendererId id() const = 0;
    // Presentation thread. The frame is in the preferred format when the
    // renderer forces it, else in planar YUV 4:2:0.
    virtual bool receiveFrame(const VideoFrame& frame) = 0;
    virtual bool isSupported(VideoFormat::PixelFormat format) const;
    // Asks for the current frame to be drawn; renderers that paint on
    // their own ignore it.
    virtual void drawFrame() {}

    void setPreferredPixelFormat(VideoFormat::PixelFormat format) { preferred_ = format; }
    VideoFormat::PixelFormat preferredPixelFormat() const { return preferred_; }
    void forcePreferredPixelFormat(bool force) { forced_ = force; }
    bool isPreferredPixelFormatForced() const { return forced_; }

private:
    // Set on the GUI thread, read on the presentation thread.
    std::atomic<VideoFormat::PixelFormat> preferred_{VideoFormat::Format_YUV420P};
    std::atomic<bool> forced_{false};
};

}  // namespace vistamo::media
