// player-bench: the player's window on a file: the time from opening it to
// the first stitched picture on screen, and how many distinct frames the
// view shows per second while it plays (paints that only repeat a picture
// are counted apart), with the playback's own counters.
//
//   player-bench FILE [SECONDS] [--view WxH] [--at-origin]
//
// --view sizes the window so that the picture area is W × H; --at-origin
// moves the window so that the picture's top-left corner is the screen's,
// where a screen grab can count what is really shown.
#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

#include "av_player.h"
#include "feedback.h"
#include "gl_view.h"
#include "main_window.h"
#include "resources.h"
#include "startup.h"
#include "video_texture_player.h"

using namespace vistamo;

int main(int argc, char** argv) {
    QApplication::setAttribute(Qt::AA_UseDesktopOpenGL);
    QApplication application(argc, argv);
    QString file;
    double seconds = 3.0;
    QSize viewSize;
    bool atOrigin = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--at-origin") == 0) {
            atOrigin = true;
        } else if (std::strcmp(argv[i], "--view") == 0 && i + 1 < argc) {
            int w = 0, h = 0;
            if (std::sscanf(argv[++i], "%dx%d", &w, &h) == 2 && w > 0 && h > 0)
                viewSize = QSize(w, h);
        } else if (file.isEmpty()) {
            file = QString::fromLocal8Bit(argv[i]);
        } else {
            seconds = std::atof(argv[i]);
        }
    }
    if (file.isEmpty()) {
        std::fprintf(stderr, "usage: player-bench FILE [SECONDS] [--view WxH] [--at-origin]\n");
        return 2;
    }
    ui::initResources();
    QTemporaryDir dir;
    const QSize size = app::initialWindowSize(QGuiApplication::primaryScreen()->availableGeometry());
    app::MainWindow window(nullptr, QStringLiteral("en_US"), dir.filePath("VistamoPlayer.ini"), size,
                           dir.filePath("VistamoPlayer.plist"));
    window.setDialogRunner([](ui::Feedback& dialog) {
        std::fprintf(stderr, "player-bench: %s\n", qPrintable(dialog.message()));
        return 0;
    });
    window.show();
    QElapsedTimer clock;
    qint64 firstPicture = -1, playingSince = -1;
    render::GLView::PaintCounts atStart;
    QObject::connect(window.view(), &render::GLView::frameSwapped, [&] {
        if (firstPicture >= 0 || !window.frameRenderer()->frameReceived() ||
            window.view()->paintCounts().newFrames == 0)
            return;
        firstPicture = clock.elapsed();
        playingSince = clock.elapsed();
        atStart = window.view()->paintCounts();
    });
    clock.start();
    window.openMediaFile(file);
    if (viewSize.isValid()) {
        // The window grows or shrinks by what the view lacks or has over.
        for (int k = 0; k < 4 && window.view()->size() != viewSize; ++k) {
            window.setMinimumSize(QSize(100, 100));
            window.resize(window.size() + (viewSize - window.view()->size()));
            application.processEvents(QEventLoop::AllEvents, 20);
        }
    }
    if (atOrigin) {
        window.move(-window.view()->mapTo(&window, QPoint(0, 0)));
        application.processEvents(QEventLoop::AllEvents, 20);
    }
    while (clock.elapsed() < 30000 && (firstPicture < 0 || clock.elapsed() - playingSince < seconds * 1000))
        application.processEvents(QEventLoop::AllEvents, 5);
    if (firstPicture < 0) {
        std::fprintf(stderr, "player-bench: no picture within 30 s\n");
        return 1;
    }
    const double span = double(clock.elapsed() - playingSince) / 1000.0;
    const render::GLView::PaintCounts end = window.view()->paintCounts();
    const qint64 frames = end.newFrames - atStart.newFrames, paints = end.paints - atStart.paints;
    const media::PlaybackStatistics stats = window.player()->statistics();
    std::printf("window %dx%d, view %dx%d: first stitched picture on screen after %lld ms; "
                "%lld distinct frames in %.2f s: %.1f per second (%lld paints); "
                "frames decoded %lld shown %lld dropped %lld of %lld\n",
                window.width(), window.height(), window.view()->width(), window.view()->height(),
                static_cast<long long>(firstPicture), static_cast<long long>(frames), span, frames / span,
                static_cast<long long>(paints), static_cast<long long>(stats.decoded),
                static_cast<long long>(stats.shown), static_cast<long long>(stats.dropped),
                static_cast<long long>(stats.sourceFrames));
    window.close();
    return 0;
}
