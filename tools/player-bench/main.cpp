// player-bench: the player's window on a file: the time from opening it to
// the first stitched picture on screen, and the pictures per second the
// window shows while it plays.
//
//   player-bench FILE [SECONDS]
#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QTemporaryDir>

#include <cstdio>

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
    if (argc < 2) {
        std::fprintf(stderr, "usage: player-bench FILE [SECONDS]\n");
        return 2;
    }
    const QString file = QString::fromLocal8Bit(argv[1]);
    const double seconds = argc > 2 ? std::atof(argv[2]) : 3.0;
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
    int shown = 0;
    QObject::connect(window.view(), &QOpenGLWidget::frameSwapped, [&] {
        if (!window.frameRenderer()->frameReceived())
            return;
        if (firstPicture < 0) {
            firstPicture = clock.elapsed();
            playingSince = clock.elapsed();
            return;
        }
        ++shown;
    });
    clock.start();
    window.openMediaFile(file);
    while (clock.elapsed() < 30000 && (firstPicture < 0 || clock.elapsed() - playingSince < seconds * 1000))
        application.processEvents(QEventLoop::AllEvents, 5);
    if (firstPicture < 0) {
        std::fprintf(stderr, "player-bench: no picture within 30 s\n");
        return 1;
    }
    const double span = double(clock.elapsed() - playingSince) / 1000.0;
    std::printf("window %dx%d: first stitched picture on screen after %lld ms; %d pictures in %.2f s: %.1f per second\n",
                window.width(), window.height(), static_cast<long long>(firstPicture), shown, span, shown / span);
    window.close();
    return 0;
}
