#include "video_texture_player.h"

#include <QMetaObject>

namespace vistamo::render {

VideoTexturePlayer::VideoTexturePlayer() : VideoOutput(nullptr) {
    forcePreferredPixelFormat(true);
    setPreferredPixelFormat(media::VideoFormat::PixelFormat(15));
}

bool VideoTexturePlayer::takesAsIs(const media::VideoFrame& frame) const {
    // Every layout the intake packs goes through unconverted.
    return planeFormatOf(frame.avFormat()).layout != PlaneLayout::None;
}

double VideoTexturePlayer::presentationDelay() const {
    GLView* view = view_.load();
    return view ? view->presentationDelay() : 0;
}

qint64 VideoTexturePlayer::framesOnScreen() const {
    GLView* view = view_.load();
    return view ? view->framesOnScreen() : -1;
}

bool VideoTexturePlayer::receiveFrame(const media::VideoFrame& frame) {
    VideoOutput::receiveFrame(frame);  // keeps it as the current frame
    GLView* view = view_.load();
    if (!view || !frame.isValid())
        return true;
    view->takeFrame(frame);
    frameReceived_ = true;
    QMetaObject::invokeMethod(view, [view] { view->requestPaint(); }, Qt::QueuedConnection);
    return true;
}

}  // namespace vistamo::render
