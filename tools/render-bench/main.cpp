// render-bench FILE: measures the panorama view on a video.
//  1. takeFrame: the mean time to take one decoded frame (conversion to the
//     view's picture, halving when 2160 or wider), over 30 calls;
//  2. the frames per second that a 1280 × 720 view sustains when each frame
//     is taken, uploaded and drawn in turn (no decoding);
//  3. the same while the file plays as fast as it decodes (decoding then
//     shares the cores): frames taken and paints per second.
#include <QApplication>
#include <QElapsedTimer>

#include <atomic>
#include <cstdio>

#include "av_player.h"
#include "gl_view.h"
#include "video_texture_player.h"

using namespace vistamo;

namespace {

// Counts the view's paints (upload and draw of the current picture).
class CountingView : public render::GLView {
public:
    int paints = 0;

protected:
    void paintGL() override {
        GLView::paintGL();
        glFinish();
        ++paints;
    }
};

// Keeps the first frame it is given, for the takeFrame timing.
class FirstFrame : public media::VideoRenderer {
public:
    media::VideoRendererId id() const override { return 300; }
    bool receiveFrame(const media::VideoFrame& f) override {
        if (f.isValid() && !frame.isValid())
            frame = f;
        return true;
    }
    media::VideoFrame frame;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: render-bench FILE\n");
        return 2;
    }
    const QString file = QString::fromLocal8Bit(argv[1]);

    // One decoded frame for the takeFrame timing.
    media::AVPlayer probe;
    FirstFrame first;
    probe.setRenderer(&first);
    probe.setRealTime(false);
    probe.play(file);
    QElapsedTimer wait;
    wait.start();
    while (!first.frame.isValid() && wait.elapsed() < 10000)
        app.processEvents(QEventLoop::AllEvents, 10);
    probe.stop();
    if (!first.frame.isValid()) {
        std::fprintf(stderr, "render-bench: no frame from %s\n", argv[1]);
        return 1;
    }

    CountingView view;
    view.resize(1280, 720);
    view.show();
    app.processEvents();
    view.setKind(render::Twins);
    view.prepareFile(file);
    QElapsedTimer timer;
    view.takeFrame(first.frame);  // builds the coordinates once
    timer.start();
    const int calls = 30;
    for (int k = 0; k < calls; ++k)
        view.takeFrame(first.frame);
    const double takeMs = double(timer.nsecsElapsed()) / 1e6 / calls;
    std::printf("takeFrame of a %dx%d frame: %.2f ms (mean of %d)\n", first.frame.width(), first.frame.height(),
                takeMs, calls);

    // Intake, upload and draw without decoding: take the frame, repaint.
    view.paints = 0;
    timer.restart();
    const int paints = 40;
    for (int k = 0; k < paints; ++k) {
        view.takeFrame(first.frame);
        view.repaint();
    }
    app.processEvents();
    const double paintSeconds = timer.elapsed() / 1000.0;
    std::printf("1280x720 view, intake + upload + draw of each frame: %.1f frames/s (%d paints in %.2f s)\n",
                view.paints / paintSeconds, view.paints, paintSeconds);

    media::AVPlayer player;
    player.setRealTime(false);
    player.setMediaEndAction(media::AVPlayer::MediaEndAction_KeepDisplay);
    render::VideoTexturePlayer renderer;
    renderer.setView(&view);
    player.setRenderer(&renderer);
    std::atomic<int> frames{0};
    QObject::connect(&player, &media::AVPlayer::positionChanged, [&frames](qint64) { ++frames; });
    QObject::connect(&player, &media::AVPlayer::stateChanged, &app, [&app](media::AVPlayer::State s) {
        if (s == media::AVPlayer::StoppedState)
            app.quit();
    });
    view.paints = 0;
    timer.restart();
    player.play(file);
    app.exec();
    const double seconds = timer.elapsed() / 1000.0;
    std::printf("1280x720 view: %d frames taken, %d paints in %.2f s: %.1f frames/s, %.1f paints/s\n",
                frames.load(), view.paints, seconds, frames / seconds, view.paints / seconds);
    return 0;
}
