#include "export_controller.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QToolButton>

#include <string>

#include "batch_export_dialog.h"
#include "export_dialog.h"
#include "gl_view.h"
#include "lensmeta/lensmeta.h"
#include "main_window.h"
#include "startup.h"

namespace vistamo::app {

ExportController::ExportController(MainWindow& window, QToolButton* button)
    : QObject(&window), window_(window), button_(button), animation_(new QTimer(this)) {
    animation_->setSingleShot(false);
    animation_->setInterval(100);
    connect(animation_, &QTimer::timeout, this, &ExportController::animate);
    runDialog_ = [](exporting::ExportDialog& dialog) { return dialog.exec(); };
}

bool ExportController::running() const { return dialog_ && !dialog_->finished(); }

QStringList ExportController::converterArgs(int exportType) {
    const auto type = exporting::ExportType(exportType);
    const QString played = window_.playedFile();
    QString calibration;
    if (type != exporting::StandardCopy) {
        PanoData data;
        std::string local = QFile::encodeName(QDir::fromNativeSeparators(played)).toStdString();
        if (GetPanoParam(data, local) && !data.photos.empty())
            calibration = QString::fromStdString(data.photos.front().calibText);
        const bool twins = type == exporting::TwinsVideo || type == exporting::TwinsImage;
        if (twins && calibration.isEmpty())
            return {};
    }
    // The decoded width, not the view's (halved when wide) picture.
    int width = window_.view()->decodedSize().width();
    if (width <= 0)
        width = 1920;  // no picture yet: the common panorama width
    QStringList args = exporting::buildConverterArgs(type, played, width, calibration);
    // The export shows what the view shows: its lenses matched or not.
    if ((type == exporting::TwinsVideo || type == exporting::TwinsImage) && !window_.view()->matchLenses())
        args << QStringLiteral("--no-match");
    return args;
}

void ExportController::begin() {
    if (running()) {
        // An export runs: show its dialog again.
        window_.showMask(dialog_);
        dialog_->show();
        return;
    }
    delete dialog_;
    dialog_ = new exporting::ExportDialog(&window_);
    connect(dialog_, &exporting::ExportDialog::ExportFinished, this, &ExportController::end, Qt::QueuedConnection);
    if (!converter_.isEmpty())
        dialog_->setConverterProgram(converter_);
    if (!exiftool_.isEmpty())
        dialog_->setExiftoolProgram(exiftool_);
    dialog_->setUserFolder(userFolder_.isEmpty() ? userFolderPath() : userFolder_);
    dialog_->setDialogRunner([this](ui::Feedback& dialog) { return window_.runDialog(dialog); });
    const auto type = exporting::exportTypeFor(window_.view()->kind(), window_.isImage());
    dialog_->setExportType(type);
    dialog_->setPaths(window_.currentFile(), window_.playedFile());
    window_.showMask(dialog_);
    const QStringList args = converterArgs(type);
    if (args.isEmpty()) {
        end(false);
        return;
    }
    dialog_->setArgs(args);
    if (runDialog_(*dialog_) == QDialog::Accepted) {
        animation_->start();
        dialog_->startConvert();
    }
}

void ExportController::animate() {
    if (!dialog_)
        return;
    button_->setToolTip(QFileInfo(window_.currentFile()).fileName() + QStringLiteral(" ") + tr("is exporting"));
    button_->setStyleSheet(
        QStringLiteral("QToolButton{ border-image: url(:/images/exporting/exporting%1.png); background: #000000;}")
            .arg(frame_));
    frame_ = frame_ % 14 + 1;
}

void ExportController::end(bool success) {
    animation_->stop();
    button_->setStyleSheet(QStringLiteral("QToolButton{ border-image: url(:images/export.png); background: #000000;} "
                                          "\nQToolButton::hover{ border-image:url(:images/export_hover.png)}"));
    button_->setToolTip(tr("Export"));
    if (!success)
        window_.tell(tr("Export failed!"));
    // The file is already in place (or nothing was moved): the dialog goes.
    if (dialog_ && dialog_->finished()) {
        dialog_->deleteLater();
        dialog_ = nullptr;
    }
}

void ExportController::cancel() {
    if (running())
        dialog_->cancelExport();
    if (batchRunning()) {
        batch_->cancelRun();
        batch_->hide();  // the window closes: no news of the end
    }
}

bool ExportController::batchRunning() const { return batch_ && batch_->running(); }

void ExportController::beginBatch(const QStringList& files) {
    if (files.isEmpty())
        return;
    if (batchRunning()) {
        // A batch runs: its dialog comes back; a new selection waits for its end.
        batch_->show();
        batch_->raise();
        batch_->activateWindow();
        return;
    }
    delete batch_;
    batch_ = new exporting::BatchExportDialog(files, &window_);
    batch_->setTools(converter_, exiftool_);
    batch_->setMatchLenses(window_.view()->matchLenses());
    // A closed dialog goes; a running one only hides (and ends shown).
    connect(batch_, &QDialog::finished, this, [this, dialog = batch_] {
        dialog->deleteLater();
        if (batch_ == dialog)
            batch_ = nullptr;
    });
    batch_->move(window_.geometry().center() - batch_->rect().center());
    batch_->show();
    batch_->raise();
    batch_->activateWindow();
}

}  // namespace vistamo::app
