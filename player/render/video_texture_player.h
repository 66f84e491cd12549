// The panorama's renderer of the playback layer: hands every decoded frame
// to the GL view and asks for a repaint.
#pragma once

#include <atomic>

#include "gl_view.h"
#include "video_output.h"

namespace vistamo::render {

class VideoTexturePlayer : public media::VideoOutput {
    Q_OBJECT
public:
    VideoTexturePlayer();

    // Set once, before the renderer is given to the player.
    void setView(GLView* view) { view_ = view; }
    // True once the view holds a frame (and its coordinate tables) since the
    // last clear: a grab made after it shows the picture, never the black.
    bool frameReceived() const { return frameReceived_; }
    void clearFrameReceived() { frameReceived_ = false; }

    media::VideoRendererId id() const override { return 0; }
    bool isSupported(media::VideoFormat::PixelFormat format) const override { return VideoOutput::isSupported(format); }
    bool receiveFrame(const media::VideoFrame& frame) override;
    void drawFrame() override {}
    // The view's intake packs the samples of every YUV layout it reads
    // (planeFormatOf), so those frames reach it unconverted.
    bool takesAsIs(const media::VideoFrame& frame) const override;
    double presentationDelay() const override;
    qint64 framesOnScreen() const override;

private:
    std::atomic<GLView*> view_{nullptr};
    std::atomic<bool> frameReceived_{false};
};

}  // namespace vistamo::render
