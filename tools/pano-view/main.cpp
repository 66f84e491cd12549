// pano-view: plays a file through the playback layer into the panorama
// view, so that the renderer can be seen (and photographed) by itself.
//
//   pano-view FILE [--kind 0|1|2] [--mode 0|1|2|3] [--yaw DEG] [--pitch DEG]
//             [--zoom 1..5] [--size WxH] [--screenshot OUT.png]
//
// The kind comes from the file's calibration as the player decides it (a
// text beginning "6_" is Twins, anything else Standard) unless --kind says
// otherwise. With --screenshot the first frame is shown at the given camera,
// the view's framebuffer is written to OUT.png and the tool exits.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <optional>

#include "av_player.h"
#include "gl_view.h"
#include "lensmeta/lensmeta.h"
#include "video_texture_player.h"
#include "view_host.h"

using namespace vistamo;

namespace {

class ToolHost : public render::ViewHost {
public:
    explicit ToolHost(media::AVPlayer& player) : player_(player) {}
    void showOpenGLError() override { std::fprintf(stderr, "pano-view: the GL context cannot run shaders\n"); }
    bool isPlayerPaused() const override { return player_.isPaused(); }
    bool isPlayerStopped() const override { return !player_.isPlaying(); }
    void setFullscreen() override {}

private:
    media::AVPlayer& player_;
};

int usage() {
    std::fprintf(stderr, "usage: pano-view FILE [--kind 0|1|2] [--mode 0|1|2|3] [--yaw DEG] [--pitch DEG]\n"
                         "                 [--zoom 1..5] [--size WxH] [--screenshot OUT.png]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2)
        return usage();
    const QString file = args[1];
    std::optional<int> kind, mode, zoom;
    std::optional<double> yaw, pitch;
    QSize size(1280, 720);
    QString screenshot;
    for (int i = 2; i < args.size(); ++i) {
        const QString a = args[i];
        if (i + 1 >= args.size())
            return usage();
        const QString v = args[++i];
        bool ok = true;
        if (a == "--kind") kind = v.toInt(&ok);
        else if (a == "--mode") mode = v.toInt(&ok);
        else if (a == "--yaw") yaw = v.toDouble(&ok);
        else if (a == "--pitch") pitch = v.toDouble(&ok);
        else if (a == "--zoom") zoom = v.toInt(&ok);
        else if (a == "--size") {
            const QStringList wh = v.split('x');
            ok = wh.size() == 2;
            if (ok) size = QSize(wh[0].toInt(), wh[1].toInt());
            ok = ok && size.width() > 0 && size.height() > 0;
        } else if (a == "--screenshot") screenshot = v;
        else return usage();
        if (!ok || (kind && (*kind < 0 || *kind > 2)) || (mode && (*mode < 0 || *mode > 3)) ||
            (zoom && (*zoom < 1 || *zoom > 5)))
            return usage();
    }
    if (!kind) {
        ImageData data;
        std::string local = file.toLocal8Bit().toStdString();
        kind = GetLensmeta(data, local) && data.calibText.rfind("6_", 0) == 0 ? render::Twins : render::Standard;
    }

    media::AVPlayer player;
    player.masterClock()->setClockAuto(false);
    player.masterClock()->setClockType(media::AVClock::VideoClock);
    player.setMediaEndAction(media::AVPlayer::MediaEndAction_KeepDisplay);
    ToolHost host(player);
    render::GLView view;
    view.setMainWindow(&host);
    view.resize(size);
    view.setWindowTitle(QStringLiteral("pano-view: %1").arg(file));
    view.show();
    render::VideoTexturePlayer renderer;
    renderer.setView(&view);
    player.setRenderer(&renderer);
    QString failure;
    QObject::connect(&player, &media::AVPlayer::error, [&failure](const QString& m) { failure = m; });

    view.setKind(*kind);
    if (mode)
        view.setViewMode(*mode);
    view.prepareFile(file);
    if (yaw || pitch || zoom)
        view.setCamera(yaw.value_or(view.yaw()), pitch.value_or(view.pitch()), zoom.value_or(view.zoomLevel()));
    renderer.clearFrameReceived();
    player.play(file);
    if (!player.isPlaying()) {
        std::fprintf(stderr, "pano-view: %s\n", qPrintable(failure.isEmpty() ? QStringLiteral("cannot play ") + file : failure));
        return 1;
    }
    if (screenshot.isEmpty())
        return app.exec();

    // Wait for the first frame, let the view paint it, then photograph it.
    QElapsedTimer timer;
    timer.start();
    while (!renderer.frameReceived() && timer.elapsed() < 10000 && player.isPlaying())
        app.processEvents(QEventLoop::AllEvents, 20);
    if (!renderer.frameReceived()) {
        std::fprintf(stderr, "pano-view: no picture arrived from %s\n", qPrintable(file));
        return 1;
    }
    player.pause(true);
    view.update();
    for (int k = 0; k < 10; ++k)
        app.processEvents(QEventLoop::AllEvents, 20);
    const QImage shot = view.grabFramebuffer();
    player.stop();
    if (shot.isNull() || !shot.save(screenshot)) {
        std::fprintf(stderr, "pano-view: cannot write %s\n", qPrintable(screenshot));
        return 1;
    }
    return 0;
}
