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
    // Presentation thread. The frame is in the decoder's own format, or in
    // the preferred format when the renderer forces it and does not take
    // the frame as it is.
    virtual bool receiveFrame(const VideoFrame& frame) = 0;
    virtual bool isSupported(VideoFormat::PixelFormat format) const;
    // Presentation thread: whether a renderer that forces its format still
    // takes this frame unconverted (by default, when it is in that format).
    virtual bool takesAsIs(const VideoFrame& frame) const { return frame.format() == preferredPixelFormat(); }
    // Any thread: seconds from receiveFrame to the picture being on the
    // screen, as the renderer has measured it; the player hands frames
    // over that much before their time.
    virtual double presentationDelay() const { return 0; }
    // Any thread: how many received frames have reached the screen so far,
    // or -1 when the renderer cannot tell.
    virtual qint64 framesOnScreen() const { return -1; }
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
