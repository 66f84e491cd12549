#include "export_job.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "atomic_output.h"
#include "file_placer.h"
#include "spherical_metadata.h"
#include "still_tagger.h"

namespace vistamo::exporting {
namespace {

std::string local(const QString& path) { return QDir::fromNativeSeparators(path).toLocal8Bit().toStdString(); }

// The converter's process, tied to ours: it gets SIGTERM (and so removes
// its temporary) when this program dies, even of SIGKILL, and it starts
// with the default signal actions, so that a signal between fork and exec
// is not taken by this program's handlers.
class ConverterProcess : public QProcess {
public:
    explicit ConverterProcess(QObject* parent) : QProcess(parent), parent_(getpid()) {}

protected:
    void setupChildProcess() override {
        // In the child, between fork and exec: async-signal-safe calls only.
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE})
            ::signal(s, SIG_DFL);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent_)
            _exit(1);  // this program died before the tie was made
    }

private:
    const pid_t parent_;
};

}  // namespace

ExportJob::ExportJob(Plan plan, QObject* parent)
    : QObject(parent), plan_(std::move(plan)), process_(new ConverterProcess(this)), watchdog_(new QTimer(this)) {
    process_->setWorkingDirectory(QFileInfo(plan_.converter).absolutePath());
    process_->setReadChannel(QProcess::StandardError);
    process_->setProcessChannelMode(QProcess::SeparateChannels);
    // Standard output is not read: it goes nowhere rather than filling a pipe.
    process_->setStandardOutputFile(QProcess::nullDevice());
    connect(process_, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this, &ExportJob::onConverterEnd);
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        // A converter that never started sends no finished signal.
        if (error == QProcess::FailedToStart) {
            fail(tr("the converter cannot be started: ") + process_->errorString());
            onConverterEnd();
        }
    });
    connect(process_, &QProcess::readyRead, this, &ExportJob::readProgress);
    watchdog_->setSingleShot(true);
    connect(watchdog_, &QTimer::timeout, this, [this] {
        fail(tr("the converter stopped reporting progress"));
        process_->kill();
    });
}

ExportJob::~ExportJob() {
    if (running_)
        cancel();
    joinWorker();
}

void ExportJob::start() {
    running_ = true;
    cancelled_ = false;
    failure_.clear();
    converterSays_.clear();
    if (plan_.type == StandardCopy)
        startPlacing(plan_.mediaPath, false);  // the file is already a panorama
    else
        startConverter();
}

void ExportJob::fail(const QString& reason) {
    if (failure_.isEmpty())
        failure_ = reason;
}

void ExportJob::startConverter() {
    if (!QFileInfo(plan_.converter).isExecutable()) {
        fail(tr("the converter is missing: ") + plan_.converter);
        onConverterEnd();
        return;
    }
    QFile::remove(plan_.tempPath);
    qDebug() << "Convert args: " << plan_.args;
    process_->setProgram(plan_.converter);
    process_->setArguments(plan_.args);
    process_->start(QIODevice::ReadWrite);
    watchdog_->start(plan_.watchdogMs);
}

void ExportJob::readProgress() {
    while (process_->canReadLine()) {
        const QString line = QString::fromLocal8Bit(process_->readLine()).trimmed();
        // The converter's one failure line says why, in its own words.
        static const QString kOwnLine = QStringLiteral("Converter: ");
        if (line.startsWith(kOwnLine))
            converterSays_ = line.mid(kOwnLine.size());
        const int percent = progressOf(line);
        if (percent >= 0) {
            emit progress(percent);
            watchdog_->start(plan_.watchdogMs);
        }
    }
}

void ExportJob::onConverterEnd() {
    watchdog_->stop();
    if (cancelled_ || !running_)
        return;
    if (process_->state() == QProcess::NotRunning && process_->error() != QProcess::FailedToStart &&
        failure_.isEmpty()) {
        readProgress();
        if (process_->exitStatus() != QProcess::NormalExit)
            fail(tr("the converter stopped unexpectedly"));
        else if (process_->exitCode() != 0)
            fail(converterSays_.isEmpty() ? tr("the converter failed") : converterSays_);
    }
    if (failure_.isEmpty()) {
        const QFileInfo written(plan_.tempPath);
        if (!written.isFile() || written.size() <= 0)
            fail(tr("the converter wrote nothing"));
    }
    QString reason;
    if (failure_.isEmpty() && !finishOutput(reason))
        fail(reason);
    if (!failure_.isEmpty()) {
        QFile::remove(plan_.tempPath);
        running_ = false;
        qWarning() << "export failed:" << failure_;
        emit failed(failure_);
        return;
    }
    startPlacing(plan_.tempPath, true);
}

bool ExportJob::finishOutput(QString& reason) {
    if (plan_.type == TwinsImage || plan_.type == SphereImage) {
        QString why;
        if (!tagImage(plan_.exiftool, plan_.tempPath, plan_.sourcePath, why))
            qWarning() << "the still is exported without panorama tags:" << why;
        return true;
    }
    if (isVideoExport(plan_.type)) {
        // Spherical metadata beside the converter's output, which it then
        // replaces.
        const QString injected = plan_.tempPath + QStringLiteral("metadata.MP4");
        const auto result = mp4::injectSpherical(plan_.tempPath, injected);
        if (result.status != mp4::InjectStatus::Ok) {
            QFile::remove(injected);
            reason = tr("the panorama metadata cannot be written: ") + result.detail;
            return false;
        }
        if (std::rename(local(injected).c_str(), local(plan_.tempPath).c_str()) != 0) {
            QFile::remove(injected);
            reason = tr("the panorama metadata cannot be written");
            return false;
        }
    }
    return true;
}

void ExportJob::startPlacing(const QString& source, bool move) {
    Placement p;
    p.source = local(source);
    p.target = local(plan_.exportPath);
    p.inputs = {local(plan_.mediaPath), local(plan_.sourcePath)};
    p.moveSource = move;
    stopCopy_ = false;
    joinWorker();
    // Queued calls with this job as their context: dropped if it is gone.
    // The destructor joins the worker first, so `this` outlives the thread.
    worker_ = std::thread([this, p] {
        std::string reason;
        const bool ok = placeFile(p, [this](int percent) {
            QMetaObject::invokeMethod(this, [this, percent] { emit progress(percent); }, Qt::QueuedConnection);
        }, &stopCopy_, reason);
        const QString why = QString::fromLocal8Bit(reason.c_str());
        QMetaObject::invokeMethod(this, [this, ok, why] { onPlaced(ok, why); }, Qt::QueuedConnection);
    });
}

void ExportJob::onPlaced(bool ok, const QString& reason) {
    joinWorker();
    if (cancelled_ || !running_)
        return;
    running_ = false;
    if (!ok) {
        if (plan_.type != StandardCopy)
            QFile::remove(plan_.tempPath);
        qWarning() << "export failed:" << reason;
        emit failed(reason);
        return;
    }
    emit progress(100);
    emit finished();
}

void ExportJob::cancel() {
    cancelled_ = true;
    stopCopy_ = true;
    watchdog_->stop();
    if (process_->state() != QProcess::NotRunning) {
        // SIGTERM twice: one that comes between the child's fork and its
        // exec reaches this program's handler, not the converter's.
        process_->terminate();
        if (!process_->waitForFinished(1000)) {
            process_->terminate();
            if (!process_->waitForFinished(2000)) {
                process_->kill();
                process_->waitForFinished(3000);
                // A killed converter cannot remove its own temporary.
                if (!plan_.tempPath.isEmpty())
                    files::removeStaleTemporaries(QFile::encodeName(plan_.tempPath).toStdString());
            }
        }
    }
    joinWorker();
    if (plan_.type != StandardCopy && !plan_.tempPath.isEmpty())
        QFile::remove(plan_.tempPath);
    running_ = false;
}

void ExportJob::joinWorker() {
    // The copy checks stopCopy_ between blocks, so this ends soon after a cancel.
    if (worker_.joinable())
        worker_.join();
}

}  // namespace vistamo::exporting
