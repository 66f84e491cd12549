#include "media_test_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace vistamo::media::test {

QString fixture(const char* name) { return QStringLiteral(MEDIA_FIXTURES_DIR "/") + QString::fromLatin1(name); }

bool RecordingRenderer::receiveFrame(const VideoFrame& frame) {
    std::lock_guard<std::mutex> lock(mutex_);
    frames_.push_back({frame.timestamp(), frame.width(), frame.height(), frame.format(), frame.isValid()});
    if (frame.isValid())
        last_ = frame;
    return true;
}

std::vector<ReceivedFrame> RecordingRenderer::frames() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
}

size_t RecordingRenderer::validCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = 0;
    for (const ReceivedFrame& f : frames_)
        n += f.valid ? 1 : 0;
    return n;
}

VideoFrame RecordingRenderer::last() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return last_;
}

bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

void spin(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

}  // namespace vistamo::media::test
