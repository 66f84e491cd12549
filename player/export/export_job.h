// ExportJob: one export run, from the converter's start to the file at its
// target, without blocking its thread: the converter is a child process
// (progress from its "Export_Progress " lines), then the still's tags or
// the video's spherical metadata, then the move (or a Standard file's copy)
// on a worker thread. It lives on the GUI thread, and its signals come
// there. Every step ends: the converter's end, its failure to start, a
// watchdog on its silence, or cancel().
#pragma once

#include <QObject>
#include <QProcess>
#include <QStringList>

#include <atomic>
#include <thread>

#include "export_plan.h"

class QTimer;

namespace vistamo::exporting {

class ExportJob : public QObject {
    Q_OBJECT
public:
    struct Plan {
        ExportType type = StandardCopy;
        QString converter, exiftool;  // the programs
        QStringList args;             // the converter's, complete
        QString mediaPath;            // the file shown
        QString sourcePath;           // the file played (the converter's input)
        QString exportPath;           // the target
        QString tempPath;             // the converter's output in the user folder
        int watchdogMs = 10 * 60 * 1000;  // the longest silence of a running converter
    };

    ExportJob(Plan plan, QObject* parent);
    // A job still running is cancelled.
    ~ExportJob() override;

    void start();
    // Stops the run: the converter gets SIGTERM (so that it removes its own
    // temporary), again after 1 s, then SIGKILL after 3 s (and its temporary
    // is removed for it); a copy stops; the temporary goes.
    // Neither finished() nor failed() follows.
    void cancel();
    bool running() const { return running_; }

signals:
    void progress(int percent);
    void finished();
    void failed(const QString& reason);

private:
    void startConverter();
    void onConverterEnd();
    void readProgress();
    // Tags or metadata; false with reason.
    bool finishOutput(QString& reason);
    // Moves (or copies) source to the target on the worker thread.
    void startPlacing(const QString& source, bool move);
    void onPlaced(bool ok, const QString& reason);
    void fail(const QString& reason);
    void joinWorker();

    const Plan plan_;
    bool running_ = false;      // GUI thread
    bool cancelled_ = false;    // GUI thread
    QString failure_;           // the first reason of a failing run; GUI thread
    QString converterSays_;     // the converter's last "Converter: " line; GUI thread
    QProcess* process_;
    QTimer* watchdog_;
    std::thread worker_;               // the placing; joined on the GUI thread
    std::atomic<bool> stopCopy_{false};  // set on the GUI thread, read by the worker
};

}  // namespace vistamo::exporting
