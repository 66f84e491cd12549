#include "batch_queue.h"

#include <QTimer>

#include <algorithm>

#include "export_job.h"

namespace vistamo::exporting {

BatchQueue::BatchQueue(BatchOptions options, QString converter, QString exiftool, QObject* parent)
    : QObject(parent), options_(std::move(options)), converter_(std::move(converter)), exiftool_(std::move(exiftool)) {}

BatchQueue::~BatchQueue() {
    // A queue that goes while it runs stops its jobs (and their temporaries).
    for (auto& run : running_)
        run->job->cancel();
}

void BatchQueue::start() {
    if (started_)
        return;
    started_ = true;
    QTimer::singleShot(0, this, &BatchQueue::fill);
}

void BatchQueue::fill() {
    if (ended_ || stopping_)
        return;
    // One file planned per turn of the event loop: a long list of files
    // that fail or are skipped at once never holds the window.
    if (next_ < total() && int(running_.size()) < options_.jobs) {
        const QString file = options_.files[next_];
        FilePlan plan = planFile(file, options_, next_);
        ++next_;
        if (plan.outcome == FilePlan::Export && targets_.contains(plan.target)) {
            plan.outcome = FilePlan::Fail;
            plan.reason = QStringLiteral("%1 is another file's output too").arg(plan.target);
        }
        if (plan.outcome == FilePlan::Skip) {
            ++skipped_;
            emit fileSkipped(file, plan.reason);
        } else if (plan.outcome == FilePlan::Fail) {
            ++failed_;
            emit fileFailed(file, plan.reason);
        } else {
            targets_.insert(plan.target);
            startFile(file, plan);
        }
        QTimer::singleShot(0, this, &BatchQueue::fill);
        return;
    }
    if (running_.empty() && next_ >= total()) {
        ended_ = true;
        emit finished(false);
    }
}

void BatchQueue::startFile(const QString& file, const FilePlan& plan) {
    if (plan.codecByWidth && !toldCodec_) {
        toldCodec_ = true;
        emit codecChosenByWidth();
    }
    ExportJob::Plan job;
    job.type = plan.type;
    job.converter = converter_;
    job.exiftool = exiftool_;
    job.args = plan.converterArgs;
    job.mediaPath = job.sourcePath = plan.source;
    job.exportPath = plan.target;
    job.tempPath = plan.temporary;
    auto run = std::make_shared<Running>();
    run->file = file;
    run->job = new ExportJob(job, this);
    run->clock.start();
    connect(run->job, &ExportJob::progress, this, [this, file](int percent) { emit fileProgress(file, percent); });
    connect(run->job, &ExportJob::finished, this, [this, run, target = plan.target] {
        ++exported_;
        emit fileExported(run->file, target, run->clock.elapsed());
        ended(run);
    });
    connect(run->job, &ExportJob::failed, this, [this, run](const QString& reason) {
        ++failed_;
        emit fileFailed(run->file, reason);
        ended(run);
    });
    running_.push_back(run);
    emit fileStarted(file);
    run->job->start();
}

void BatchQueue::ended(const std::shared_ptr<Running>& run) {
    running_.erase(std::find(running_.begin(), running_.end(), run));
    run->job->deleteLater();
    QTimer::singleShot(0, this, &BatchQueue::fill);
}

void BatchQueue::cancel() {
    if (!running() || stopping_)
        return;
    stopping_ = true;
    // cancel() is silent: neither finished nor failed follows from a job.
    const auto stopped = std::move(running_);
    running_.clear();
    for (const auto& run : stopped) {
        run->job->cancel();
        run->job->deleteLater();
        ++cancelled_;
        emit fileCancelled(run->file);
    }
    cancelled_ += total() - next_;
    next_ = total();
    ended_ = true;
    emit finished(true);
}

}  // namespace vistamo::exporting
