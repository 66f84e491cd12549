// ExportController: the export button's side of the main window. It makes
// the export dialog for the current file, starts its job, animates the
// button while the job runs, and tells the end. It also keeps the
// playlist's batch export (one BatchExportDialog at a time). The jobs run
// without blocking (ExportJob, BatchQueue); everything here is on the GUI
// thread.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QTimer;
class QToolButton;

namespace vistamo::exporting {
class BatchExportDialog;
class ExportDialog;
}
namespace vistamo::ui {
class Feedback;
}

namespace vistamo::app {

class MainWindow;

class ExportController : public QObject {
    Q_OBJECT
public:
    ExportController(MainWindow& window, QToolButton* button);

    // The export's tools (empty: the dialog's defaults beside the program),
    // its user folder for temporaries, and how the dialog is run once
    // prepared (the default execs it; tests fill it and click).
    void setTools(const QString& converter, const QString& exiftool) {
        converter_ = converter;
        exiftool_ = exiftool;
    }
    void setUserFolder(const QString& folder) { userFolder_ = folder; }
    void setDialogRunner(std::function<int(exporting::ExportDialog&)> runner) { runDialog_ = std::move(runner); }
    exporting::ExportDialog* dialog() const { return dialog_; }
    bool running() const;

    // The converter's argument list for the played file (empty when its
    // two-lens calibration cannot be read).
    QStringList converterArgs(int exportType);
    // The export button: a running export's dialog again, or a new export.
    void begin();
    void animate();
    void end(bool success);
    // Stops the running exports, single and batch (the window closes).
    void cancel();

    // The playlist's "Export selected…": the running batch's dialog again,
    // or a new batch of files.
    void beginBatch(const QStringList& files);
    exporting::BatchExportDialog* batchDialog() const { return batch_; }
    bool batchRunning() const;

private:
    MainWindow& window_;
    QToolButton* button_;
    QTimer* animation_;
    int frame_ = 1;  // the button's animation frame, 1 to 14
    exporting::ExportDialog* dialog_ = nullptr;
    exporting::BatchExportDialog* batch_ = nullptr;  // shown or running; a child of the window
    QString converter_, exiftool_, userFolder_;
    std::function<int(exporting::ExportDialog&)> runDialog_;
};

}  // namespace vistamo::app
