// media-bench: measures the playback layer on one file.
//
//   media-bench decode FILE [--threads N]
//       decodes every frame to a renderer that drops it, as fast as it goes;
//       prints frames and seconds.
//   media-bench realtime FILE [--width W --height H]
//       plays in real time into a renderer that converts each frame to a
//       W × H (default 1920 × 960) ARGB32 image, and counts the frames
//       presented more than one frame interval after their time.
#include <QGuiApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <vector>

#include "av_player.h"

using namespace vistamo::media;

namespace {

class NullRenderer : public VideoRenderer {
public:
    VideoRendererId id() const override { return 200; }
    bool receiveFrame(const VideoFrame& frame) override {
        if (frame.isValid())
            ++frames;
        return true;
    }
    std::atomic<int> frames{0};
};

class ImageRenderer : public VideoRenderer {
public:
    ImageRenderer(const AVClock* clock, QSize size) : clock_(clock), size_(size) {}
    VideoRendererId id() const override { return 201; }
    bool receiveFrame(const VideoFrame& frame) override {
        if (!frame.isValid())
            return true;
        const double lateness = clock_->value() - frame.timestamp();
        const QImage image = frame.toImage(QImage::Format_ARGB32, size_);
        std::lock_guard<std::mutex> lock(mutex_);
        latenesses.push_back(lateness);
        converted += image.isNull() ? 0 : 1;
        return true;
    }
    std::mutex mutex_;
    std::vector<double> latenesses;
    int converted = 0;

private:
    const AVClock* clock_;
    QSize size_;
};

int usage() {
    std::fprintf(stderr, "usage: media-bench decode FILE [--threads N]\n"
                         "       media-bench realtime FILE [--width W] [--height H]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return usage();
    const QString mode = args[1], file = args[2];
    int threads = 0, width = 1920, height = 960;
    for (int i = 3; i + 1 < args.size(); i += 2) {
        if (args[i] == "--threads") threads = args[i + 1].toInt();
        else if (args[i] == "--width") width = args[i + 1].toInt();
        else if (args[i] == "--height") height = args[i + 1].toInt();
        else return usage();
    }

    AVPlayer player;
    player.masterClock()->setClockAuto(false);
    player.masterClock()->setClockType(AVClock::VideoClock);
    player.setMediaEndAction(AVPlayer::MediaEndAction_KeepDisplay);
    QObject::connect(&player, &AVPlayer::error, [](const QString& m) {
        std::fprintf(stderr, "media-bench: %s\n", qPrintable(m));
    });
    QObject::connect(&player, &AVPlayer::stateChanged, &app, [&app](AVPlayer::State s) {
        if (s == AVPlayer::StoppedState)
            app.quit();
    });

    NullRenderer null;
    ImageRenderer images(player.masterClock(), QSize(width, height));
    if (mode == "decode") {
        if (threads > 0)
            player.setOptionsForVideoCodec({{"FFmpeg", QVariantHash{{"threads", threads}}}});
        player.setRealTime(false);
        player.setRenderer(&null);
    } else if (mode == "realtime") {
        player.setRenderer(&images);
    } else {
        return usage();
    }
    QElapsedTimer timer;
    timer.start();
    player.play(file);
    if (!player.isPlaying())
        return 1;
    app.exec();
    const double seconds = timer.elapsed() / 1000.0;

    if (mode == "decode") {
        std::printf("decoded %d frames in %.3f s (%.1f fps) with %s\n", null.frames.load(), seconds,
                    null.frames.load() / seconds, qPrintable(player.videoDecoderName().isEmpty() ? QStringLiteral("FFmpeg") : player.videoDecoderName()));
        return 0;
    }
    std::lock_guard<std::mutex> lock(images.mutex_);
    const double interval = 1.0 / 30.0;
    int late = 0;
    double worst = 0;
    for (double l : images.latenesses) {
        late += l > interval ? 1 : 0;
        worst = std::max(worst, l);
    }
    std::printf("presented %zu frames (%d converted to %dx%d ARGB32) in %.3f s; late by more than one "
                "frame interval: %d; worst lateness %.1f ms\n",
                images.latenesses.size(), images.converted, width, height, seconds, late, worst * 1000);
    return 0;
}
