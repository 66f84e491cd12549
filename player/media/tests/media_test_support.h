// Helpers of the playback tests: a renderer that records what it receives,
// and waiting with the event loop running.
#pragma once

#include <QString>

#include <functional>
#include <mutex>
#include <vector>

#include "av_player.h"

namespace vistamo::media::test {

QString fixture(const char* name);

struct ReceivedFrame {
    double timestamp;
    int width;
    int height;
    VideoFormat::PixelFormat format;
    bool valid;
};

class RecordingRenderer : public VideoRenderer {
public:
    VideoRendererId id() const override { return 100; }
    bool receiveFrame(const VideoFrame& frame) override;

    std::vector<ReceivedFrame> frames() const;
    size_t validCount() const;
    VideoFrame last() const;

private:
    mutable std::mutex mutex_;
    std::vector<ReceivedFrame> frames_;
    VideoFrame last_;
};

// Runs the event loop until done() or timeoutMs; returns done().
bool waitFor(const std::function<bool()>& done, int timeoutMs = 5000);
// Runs the event loop for ms.
void spin(int ms);

}  // namespace vistamo::media::test
