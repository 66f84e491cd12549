// pano-view: plays a file through the playback layer into the panorama
// view, so that the renderer can be seen (and photographed) by itself.
//
//   pano-view FILE [--kind 0|1|2] [--mode 0|1|2|3] [--yaw DEG] [--pitch DEG]
//             [--zoom 1..5] [--size WxH] [--screenshot OUT.png] [--no-match]
//
// --no-match shows a two-lens file's lenses as recorded, unmatched.
// The kind comes from the file's calibration as the player decides it
// (lens::mediaKindOf: "6_" Twins, "5_" Sphere, anything else Standard)
// unless --kind says otherwise. With --screenshot the first frame is shown at the given camera,
// the view's framebuffer is written to OUT.png and the tool exits.
//
// FILE must be a regular file; a JPEG must be complete; a stitched kind
// needs a usable calibration. OUT must not be FILE, a device or a FIFO, and
// is replaced only by a complete picture. Failures are one line, exit 1;
// usage errors exit 2.
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QImageWriter>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "atomic_output.h"
#include "av_player.h"
#include "calibration_check.h"
#include "file_guard.h"
#include "jpeg_probe.h"
#include "gl_view.h"
#include "lensmeta/lensmeta.h"
#include "media_kind.h"
#include "video_texture_player.h"
#include "view_host.h"

using namespace vistamo;

namespace {

// The view shows pictures up to 8192 pixels wide (larger frames are not
// taken), and a framebuffer larger than that is more than a driver offers.
constexpr int kMaxViewSide = 8192;
constexpr int kMaxPictureSide = 8192;

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
                         "                 [--zoom 1..5] [--size WxH] [--screenshot OUT.png] [--no-match]\n"
                         "  --size: 1 to %d pixels a side; --pitch: -90 to 90\n", kMaxViewSide);
    return 2;
}

// The options, read before Qt starts so that a bad command line never
// needs a display.
struct Options {
    std::string file;
    std::optional<int> kind, mode, zoom;
    std::optional<double> yaw, pitch;
    int width = 1280, height = 720;
    std::optional<std::string> screenshot;
    bool matchLenses = true;
};

bool readInt(const std::string& text, long low, long high, int& value) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno || end == text.c_str() || *end || v < low || v > high)
        return false;
    value = int(v);
    return true;
}

bool readAngle(const std::string& text, double limit, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && !*end && std::isfinite(value) && std::fabs(value) <= limit;
}

bool parseOptions(int argc, char** argv, Options& o) {
    if (argc < 2 || argv[1][0] == '-')
        return false;
    o.file = argv[1];
    for (int i = 2; i < argc; i += 2) {
        if (std::strcmp(argv[i], "--no-match") == 0) {
            o.matchLenses = false;
            --i;  // a flag: no value follows
            continue;
        }
        if (i + 1 >= argc)
            return false;
        const std::string a = argv[i], v = argv[i + 1];
        int n = 0;
        double d = 0;
        bool ok = true;
        if (a == "--kind") ok = readInt(v, 0, 2, n), o.kind = n;
        else if (a == "--mode") ok = readInt(v, 0, 3, n), o.mode = n;
        else if (a == "--zoom") ok = readInt(v, 1, 5, n), o.zoom = n;
        else if (a == "--yaw") ok = readAngle(v, 1e6, d), o.yaw = d;
        else if (a == "--pitch") ok = readAngle(v, 90, d), o.pitch = d;
        else if (a == "--size") {
            const size_t x = v.find('x');
            ok = x != std::string::npos && readInt(v.substr(0, x), 1, kMaxViewSide, o.width) &&
                 readInt(v.substr(x + 1), 1, kMaxViewSide, o.height);
        } else if (a == "--screenshot") {
            ok = !v.empty();
            o.screenshot = v;
        } else {
            return false;
        }
        if (!ok)
            return false;
    }
    return true;
}

int fail(const std::string& line) {
    std::fprintf(stderr, "pano-view: %s\n", line.c_str());
    return 1;
}

// Qt's X11 platform aborts with several lines when there is no display.
bool hasDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform && std::strcmp(platform, "xcb") != 0)
        return true;
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (display && *display) || (wayland && *wayland);
}

}  // namespace

int main(int argc, char** argv) {
    vistamo::files::installCleanupOnSignals();
    Options o;
    if (!parseOptions(argc, argv, o))
        return usage();
    // Everything about the files is settled before a window opens.
    const std::string inputProblem = vistamo::files::inputProblem(o.file);
    if (!inputProblem.empty())
        return fail("cannot read " + o.file + ": " + inputProblem);
    const std::string pictureProblem = vistamo::picture::jpegFileProblem(o.file, kMaxPictureSide);
    if (!pictureProblem.empty())
        return fail("cannot show " + o.file + ": " + pictureProblem);
    ImageData data;
    std::string local = o.file;
    const bool calibrated = GetLensmeta(data, local);
    if (!o.kind)
        o.kind = calibrated ? int(vistamo::lens::mediaKindOf(data.calibText)) : int(render::Standard);
    if (*o.kind == render::Twins && !(calibrated && data.lenses.size() == 2))
        return fail(o.file + " has no two-lens calibration to stitch with");
    if (*o.kind != render::Standard && calibrated) {
        const std::string problem = vistamo::lens::calibrationProblem(data.calibText);
        if (!problem.empty())
            return fail("cannot show " + o.file + ": " + problem);
    }
    if (o.screenshot) {
        const std::string problem = vistamo::files::outputProblem(*o.screenshot, {o.file});
        if (!problem.empty())
            return fail("cannot write " + *o.screenshot + ": " + problem);
        const size_t dot = o.screenshot->rfind('.');
        const QByteArray suffix = dot == std::string::npos ? QByteArray()
                                                            : QByteArray::fromStdString(o.screenshot->substr(dot + 1)).toLower();
        if (suffix.isEmpty() || !QImageWriter::supportedImageFormats().contains(suffix))
            return fail("cannot write " + *o.screenshot + ": unknown image format for ." + suffix.toStdString());
    }
    if (!hasDisplay())
        return fail("no display: set DISPLAY, or run under xvfb-run");

    QApplication app(argc, argv);
    const QString file = QString::fromLocal8Bit(o.file.c_str());
    media::AVPlayer player;
    player.masterClock()->setClockAuto(false);
    player.masterClock()->setClockType(media::AVClock::VideoClock);
    player.setMediaEndAction(media::AVPlayer::MediaEndAction_KeepDisplay);
    ToolHost host(player);
    render::GLView view;
    view.setMainWindow(&host);
    view.resize(o.width, o.height);
    view.setWindowTitle(QStringLiteral("pano-view: %1").arg(file));
    view.show();
    render::VideoTexturePlayer renderer;
    renderer.setView(&view);
    player.setRenderer(&renderer);
    QString failure;
    QObject::connect(&player, &media::AVPlayer::error, [&failure](const QString& m) { failure = m; });

    view.setMatchLenses(o.matchLenses);
    view.setKind(*o.kind);
    if (o.mode)
        view.setViewMode(*o.mode);
    view.prepareFile(file);
    if (o.yaw || o.pitch || o.zoom)
        view.setCamera(o.yaw.value_or(view.yaw()), o.pitch.value_or(view.pitch()), o.zoom.value_or(view.zoomLevel()));
    renderer.clearFrameReceived();
    player.play(file);
    if (!player.isPlaying())
        return fail((failure.isEmpty() ? QStringLiteral("cannot play ") + file : failure).toStdString());
    if (!o.screenshot)
        return app.exec();

    // Wait for the first frame, let the view paint it, then photograph it.
    QElapsedTimer timer;
    timer.start();
    while (!renderer.frameReceived() && timer.elapsed() < 10000 && player.isPlaying())
        app.processEvents(QEventLoop::AllEvents, 20);
    if (!renderer.frameReceived())
        return fail("no picture arrived from " + o.file);
    player.pause(true);
    view.requestPaint();
    for (int k = 0; k < 10; ++k)
        app.processEvents(QEventLoop::AllEvents, 20);
    const QImage shot = view.grabFramebuffer();
    player.stop();
    // Encoded in memory, then written whole under a name of its own and
    // moved into place: a full disk leaves the old screenshot as it was.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const size_t dot = o.screenshot->rfind('.');
    if (shot.isNull() || !shot.save(&buffer, o.screenshot->substr(dot + 1).c_str()))
        return fail("cannot write " + *o.screenshot + ": the view gave no picture");
    std::string reason;
    if (!vistamo::files::writeFileAtomically(*o.screenshot, bytes.constData(), size_t(bytes.size()), {o.file},
                                             reason))
        return fail("cannot write " + *o.screenshot + ": " + reason);
    return 0;
}
