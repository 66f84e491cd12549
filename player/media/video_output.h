// A widget renderer: draws each frame letterboxed at its aspect ratio on a
// black background (the player's "Show source" view). The widget is made on
// first use of widget(), on the GUI thread; until then frames are only kept.
#pragma once

#include <mutex>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include "video_renderer.h"

namespace vistamo::media {

class VideoOutput : public QObject, public VideoRenderer {
    Q_OBJECT
public:
    explicit VideoOutput(QObject* parent = nullptr);
    ~VideoOutput() override;

    VideoRendererId id() const override { return 1; }
    bool receiveFrame(const VideoFrame& frame) override;
    void drawFrame() override;

    // The widget that shows the frames; owned by this output unless the
    // caller reparents it (it is deleted with the output either way).
    QWidget* widget();
    // The frame last received (any thread).
    VideoFrame currentFrame() const;

private:
    mutable std::mutex frameMutex_;
    VideoFrame frame_;  // guarded by frameMutex_
    QPointer<QWidget> widget_;  // GUI thread only
};

}  // namespace vistamo::media
