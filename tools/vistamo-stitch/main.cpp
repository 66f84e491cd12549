// vistamo-stitch: stitches many files at once, each as the player's export
// would (BatchQueue plans each file and runs its ExportJob). One line per skipped, failed or finished file; on a terminal, a
// progress bar per running file with the time left. Ends with
// "N exported, M failed, K skipped"; exit status 0 only when none failed,
// 2 on a usage error. SIGINT, SIGTERM and SIGHUP cancel the running
// stitches (their temporaries go, finished panoramas stay) and end it.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <map>

extern "C" {
#include <libavutil/log.h>
}

#include "batch_plan.h"
#include "batch_queue.h"
#include "still_tagger.h"

using namespace vistamo::exporting;

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int signal) {
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t n = write(signalPipe[1], &byte, 1);
}

void say(const QString& line) {
    std::fprintf(stderr, "vistamo-stitch: %s\n", line.toLocal8Bit().constData());
}

// The terminal's side of the queue: one line per ended file, and on a
// terminal a line of progress bars (one per running file) redrawn below.
class Presenter : public QObject {
public:
    explicit Presenter(BatchQueue& queue) : queue_(queue), terminal_(isatty(STDOUT_FILENO) == 1) {
        redraw_.setInterval(250);
        connect(&redraw_, &QTimer::timeout, this, [this] { drawBars(); });
        connect(&queue, &BatchQueue::codecChosenByWidth, this, [this] {
            clearBars();
            say(QStringLiteral("panoramas wider than %1 pixels are H.265 (--codec h264 keeps H.264)")
                    .arg(kH264WidthLimit));
        });
        connect(&queue, &BatchQueue::fileSkipped, this, [this](const QString& file, const QString& reason) {
            clearBars();
            say(QStringLiteral("%1: skipped, %2").arg(file, reason));
        });
        connect(&queue, &BatchQueue::fileFailed, this, [this](const QString& file, const QString& reason) {
            bars_.erase(file);
            clearBars();
            say(QStringLiteral("%1: %2").arg(file, reason));
        });
        connect(&queue, &BatchQueue::fileStarted, this, [this](const QString& file) {
            bars_[file].clock.start();
        });
        connect(&queue, &BatchQueue::fileProgress, this,
                [this](const QString& file, int percent) { bars_[file].percent = percent; });
        connect(&queue, &BatchQueue::fileExported, this, [this](const QString& file, const QString& target, qint64 ms) {
            bars_.erase(file);
            clearBars();
            std::printf("%s -> %s (%.1f s)\n", file.toLocal8Bit().constData(),
                        QDir::toNativeSeparators(target).toLocal8Bit().constData(), double(ms) / 1000);
            std::fflush(stdout);
        });
        connect(&queue, &BatchQueue::fileCancelled, this, [this](const QString& file) {
            bars_.erase(file);
            clearBars();
            say(QStringLiteral("%1: cancelled").arg(file));
        });
        connect(&queue, &BatchQueue::finished, this, [this](bool cancelled) { finish(cancelled); });
    }

    void start() {
        if (terminal_)
            redraw_.start();
        queue_.start();
    }

private:
    struct Bar {
        QElapsedTimer clock;
        int percent = 0;
    };

    void drawBars() {
        if (!terminal_ || bars_.empty())
            return;
        QString line;
        for (const auto& [file, bar] : bars_) {
            const int filled = bar.percent / 5;
            QString left = QStringLiteral("--:--");
            if (bar.percent > 0) {
                const qint64 rest = bar.clock.elapsed() * (100 - bar.percent) / bar.percent / 1000;
                left = QStringLiteral("%1:%2").arg(rest / 60).arg(rest % 60, 2, 10, QLatin1Char('0'));
            }
            line += QStringLiteral("%1 [%2%3] %4% %5 left  ")
                        .arg(QFileInfo(file).fileName(), QString(filled, QLatin1Char('#')),
                             QString(20 - filled, QLatin1Char('.')))
                        .arg(bar.percent)
                        .arg(left);
        }
        std::printf("\r\033[K%s", line.toLocal8Bit().constData());
        std::fflush(stdout);
        barsShown_ = true;
    }

    void clearBars() {
        if (barsShown_)
            std::printf("\r\033[K");
        barsShown_ = false;
    }

    void finish(bool cancelled) {
        redraw_.stop();
        clearBars();
        // What a signal stopped counts as failed: it was not exported.
        const int failed = queue_.failedCount() + queue_.cancelledCount();
        std::printf("%d exported, %d failed, %d skipped\n", queue_.exportedCount(), failed, queue_.skippedCount());
        std::fflush(stdout);
        QCoreApplication::exit(cancelled ? 130 : failed > 0 ? 1 : 0);
    }

    BatchQueue& queue_;
    const bool terminal_;
    std::map<QString, Bar> bars_;  // the running files, by name
    bool barsShown_ = false;
    QTimer redraw_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    av_log_set_level(AV_LOG_QUIET);  // a damaged file is our one line, not FFmpeg's
    // The jobs' own log lines are the player's; this tool says its own.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    if (arguments.value(0) == QLatin1String("--help") || arguments.value(0) == QLatin1String("-h")) {
        std::fputs(kBatchUsage, stdout);
        return 0;
    }
    BatchOptions options;
    QString reason;
    if (!parseBatchArguments(arguments, options, reason)) {
        say(reason);
        std::fputs(kBatchUsage, stderr);
        return 2;
    }
    const QString programs = QCoreApplication::applicationDirPath();
    BatchQueue queue(options, QDir(programs).filePath(QStringLiteral("Converter")), findExiftool(programs));
    Presenter presenter(queue);
    // Signals reach the event loop through a pipe: the handler only writes.
    if (pipe(signalPipe) != 0)
        return 1;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaction(s, &action, nullptr);
    QSocketNotifier signalArrived(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalArrived, &QSocketNotifier::activated, &queue, [&queue] {
        unsigned char byte;
        [[maybe_unused]] const ssize_t n = read(signalPipe[0], &byte, 1);
        queue.cancel();
    });
    presenter.start();
    return application.exec();
}
