// BatchQueue: runs the batch's exports, options.jobs at a time, for
// vistamo-stitch and the player's "Export selected…". Each file is planned
// (planFile) when a place frees, so a long queue starts at once and a file
// changed meanwhile is judged as it is then; each planned file runs as an
// ExportJob. It lives on the GUI (or main) thread, and so do its signals.
// Every file ends in exactly one of skipped, failed, exported or (after
// cancel) cancelled; finished follows the last.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <memory>
#include <vector>

#include "batch_plan.h"

namespace vistamo::exporting {

class ExportJob;

class BatchQueue : public QObject {
    Q_OBJECT
public:
    // converter and exiftool are the programs every job runs.
    BatchQueue(BatchOptions options, QString converter, QString exiftool, QObject* parent = nullptr);
    ~BatchQueue() override;

    // Begins; the signals follow from the event loop.
    void start();
    // Stops the running jobs (each removes its temporary; finished files
    // stay) and drops the waiting files, then reports finished.
    void cancel();

    bool running() const { return started_ && !ended_; }
    int total() const { return int(options_.files.size()); }
    // Files not yet ended, the running ones included.
    int left() const { return total() - exported_ - failed_ - skipped_ - cancelled_; }
    int exportedCount() const { return exported_; }
    int failedCount() const { return failed_; }
    int skippedCount() const { return skipped_; }
    // Files that a cancel stopped or dropped.
    int cancelledCount() const { return cancelled_; }

signals:
    // Once, before the first such file starts: a width above
    // kH264WidthLimit made its codec HEVC.
    void codecChosenByWidth();
    void fileStarted(const QString& file);
    void fileProgress(const QString& file, int percent);
    void fileExported(const QString& file, const QString& target, qint64 elapsedMs);
    void fileFailed(const QString& file, const QString& reason);
    void fileSkipped(const QString& file, const QString& reason);
    void fileCancelled(const QString& file);
    void finished(bool cancelled);

private:
    struct Running {
        QString file;
        ExportJob* job = nullptr;
        QElapsedTimer clock;
    };

    // Starts files until jobs run or none waits; reports the end.
    void fill();
    void startFile(const QString& file, const FilePlan& plan);
    void ended(const std::shared_ptr<Running>& run);

    const BatchOptions options_;
    const QString converter_, exiftool_;
    int next_ = 0;                                  // the next file to plan
    QSet<QString> targets_;                         // the planned files' outputs
    std::vector<std::shared_ptr<Running>> running_;
    int exported_ = 0, failed_ = 0, skipped_ = 0, cancelled_ = 0;
    bool started_ = false, ended_ = false, toldCodec_ = false, stopping_ = false;
};

}  // namespace vistamo::exporting
