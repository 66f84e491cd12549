// vistamo-stitch: stitches many files at once, each as the player's export
// would (batch_plan decides, ExportJob runs the Converter and places the
// file). One line per skipped, failed or finished file; on a terminal, a
// progress bar per running file with the time left. Ends with
// "N exported, M failed, K skipped"; exit status 0 only when none failed,
// 2 on a usage error. SIGINT, SIGTERM and SIGHUP cancel the running
// stitches (their temporaries go, finished panoramas stay) and end it.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "batch_plan.h"
#include "export_job.h"
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

struct Running {
    QString file;
    ExportJob* job = nullptr;
    QElapsedTimer clock;
    int percent = 0;
};

class Batch : public QObject {
public:
    Batch(BatchOptions options, std::deque<FilePlan> plans, QStringList files, int skipped, int failed)
        : options_(std::move(options)), plans_(std::move(plans)), files_(std::move(files)), skipped_(skipped),
          failed_(failed), terminal_(isatty(STDOUT_FILENO) == 1) {
        const QString programs = QCoreApplication::applicationDirPath();
        converter_ = QDir(programs).filePath(QStringLiteral("Converter"));
        exiftool_ = findExiftool(programs);
        redraw_.setInterval(250);
        connect(&redraw_, &QTimer::timeout, this, [this] { drawBars(); });
    }

    void start() {
        if (terminal_)
            redraw_.start();
        fill();
    }

    // Cancels what runs; the temporaries go with it.
    void cancelAll() {
        for (auto& r : running_)
            r->job->cancel();
        clearBars();
        for (auto& r : running_)
            say(QStringLiteral("%1: cancelled").arg(r->file));
        failed_ += int(running_.size()) + int(plans_.size());
        running_.clear();
        plans_.clear();
        finish(130);
    }

private:
    void fill() {
        while (!plans_.empty() && int(running_.size()) < options_.jobs) {
            const FilePlan plan = plans_.front();
            plans_.pop_front();
            const QString file = files_.takeFirst();
            ExportJob::Plan job;
            job.type = plan.type;
            job.converter = converter_;
            job.exiftool = exiftool_;
            job.args = plan.converterArgs;
            job.mediaPath = job.sourcePath = plan.source;
            job.exportPath = plan.target;
            job.tempPath = plan.temporary;
            auto r = std::make_shared<Running>();
            r->file = file;
            r->job = new ExportJob(job, this);
            r->clock.start();
            connect(r->job, &ExportJob::progress, this, [r](int p) { r->percent = p; });
            connect(r->job, &ExportJob::finished, this, [this, r, target = plan.target] {
                done(r, QString(), target);
            });
            connect(r->job, &ExportJob::failed, this, [this, r](const QString& why) { done(r, why, QString()); });
            running_.push_back(r);
            r->job->start();
        }
        if (running_.empty() && plans_.empty())
            finish(failed_ > 0 ? 1 : 0);
    }

    void done(const std::shared_ptr<Running>& r, const QString& failure, const QString& target) {
        clearBars();
        if (failure.isEmpty()) {
            ++exported_;
            std::printf("%s -> %s (%.1f s)\n", r->file.toLocal8Bit().constData(),
                        QDir::toNativeSeparators(target).toLocal8Bit().constData(), double(r->clock.elapsed()) / 1000);
            std::fflush(stdout);
        } else {
            ++failed_;
            say(QStringLiteral("%1: %2").arg(r->file, failure));
        }
        running_.erase(std::find(running_.begin(), running_.end(), r));
        r->job->deleteLater();
        fill();
        drawBars();
    }

    void drawBars() {
        if (!terminal_ || running_.empty())
            return;
        QString line;
        for (const auto& r : running_) {
            const int filled = r->percent / 5;
            QString left = QStringLiteral("--:--");
            if (r->percent > 0) {
                const qint64 rest = r->clock.elapsed() * (100 - r->percent) / r->percent / 1000;
                left = QStringLiteral("%1:%2").arg(rest / 60).arg(rest % 60, 2, 10, QLatin1Char('0'));
            }
            line += QStringLiteral("%1 [%2%3] %4% %5 left  ")
                        .arg(QFileInfo(r->file).fileName(), QString(filled, QLatin1Char('#')),
                             QString(20 - filled, QLatin1Char('.')))
                        .arg(r->percent)
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

    void finish(int status) {
        redraw_.stop();
        clearBars();
        std::printf("%d exported, %d failed, %d skipped\n", exported_, failed_, skipped_);
        std::fflush(stdout);
        QCoreApplication::exit(status);
    }

    BatchOptions options_;
    std::deque<FilePlan> plans_;  // waiting, in order, with files_
    QStringList files_;
    std::vector<std::shared_ptr<Running>> running_;
    int exported_ = 0, skipped_, failed_;
    bool terminal_;
    bool barsShown_ = false;
    QString converter_, exiftool_;
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
    std::deque<FilePlan> plans;
    QStringList files;
    QSet<QString> targets;
    int skipped = 0, failed = 0;
    bool toldCodec = false;
    for (int k = 0; k < options.files.size(); ++k) {
        const QString& file = options.files[k];
        FilePlan plan = planFile(file, options, k);
        if (plan.outcome == FilePlan::Export && targets.contains(plan.target)) {
            plan.outcome = FilePlan::Fail;
            plan.reason = QStringLiteral("%1 is another FILE's output too").arg(plan.target);
        }
        if (plan.outcome == FilePlan::Skip) {
            ++skipped;
            say(QStringLiteral("%1: skipped, %2").arg(file, plan.reason));
            continue;
        }
        if (plan.outcome == FilePlan::Fail) {
            ++failed;
            say(QStringLiteral("%1: %2").arg(file, plan.reason));
            continue;
        }
        if (plan.codecByWidth && !toldCodec) {
            say(QStringLiteral("panoramas wider than %1 pixels are H.265 (--codec h264 keeps H.264)")
                    .arg(kH264WidthLimit));
            toldCodec = true;
        }
        targets.insert(plan.target);
        files << file;
        plans.push_back(std::move(plan));
    }

    Batch batch(options, std::move(plans), files, skipped, failed);
    // Signals reach the event loop through a pipe: the handler only writes.
    if (pipe(signalPipe) != 0)
        return 1;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaction(s, &action, nullptr);
    QSocketNotifier signalArrived(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalArrived, &QSocketNotifier::activated, &batch, [&batch] {
        unsigned char byte;
        [[maybe_unused]] const ssize_t n = read(signalPipe[0], &byte, 1);
        batch.cancelAll();
    });
    QTimer::singleShot(0, &batch, [&batch] { batch.start(); });
    return application.exec();
}
