#include "video_output.h"

#include <QMetaObject>
#include <QPainter>

namespace vistamo::media {
namespace {

class VideoOutputWidget : public QWidget {
public:
    explicit VideoOutputWidget(VideoOutput* output) : output_(output) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAutoFillBackground(false);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        const VideoFrame frame = output_->currentFrame();
        if (!frame.isValid() || frame.width() <= 0 || frame.height() <= 0)
            return;
        QSize target = frame.size().scaled(size(), Qt::KeepAspectRatio);
        if (target.isEmpty())
            return;
        const QImage image = frame.toImage(QImage::Format_RGB32, target);
        painter.drawImage(QPoint((width() - target.width()) / 2, (height() - target.height()) / 2), image);
    }

private:
    VideoOutput* output_;
};

}  // namespace

VideoOutput::VideoOutput(QObject* parent) : QObject(parent) {}

VideoOutput::~VideoOutput() { delete widget_.data(); }

bool VideoOutput::receiveFrame(const VideoFrame& frame) {
    {
        std::lock_guard<std::mutex> lock(frameMutex_);
        frame_ = frame;
    }
    drawFrame();
    return true;
}

void VideoOutput::drawFrame() {
    // Any thread: the repaint request runs on this object's (GUI) thread,
    // where the widget pointer may be read.
    QMetaObject::invokeMethod(this, [this] {
        if (widget_)
            widget_->update();
    }, Qt::QueuedConnection);
}

QWidget* VideoOutput::widget() {
    if (!widget_)
        widget_ = new VideoOutputWidget(this);
    return widget_;
}

VideoFrame VideoOutput::currentFrame() const {
    std::lock_guard<std::mutex> lock(frameMutex_);
    return frame_;
}

}  // namespace vistamo::media
