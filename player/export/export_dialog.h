// ExportDialog: the export's sizes, target path and bit rate, and the
// progress of its run, which an ExportJob carries out without blocking the
// GUI thread: startConvert() returns at once, and ExportFinished tells the
// end (not after a cancel). GUI thread only.
#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

#include "export_plan.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace vistamo::ui {
class Feedback;
class TypeBar;
}

namespace vistamo::exporting {

class ExportJob;

class ExportDialog : public QDialog {
    Q_OBJECT
public:
    explicit ExportDialog(QWidget* parent);
    ~ExportDialog() override;

    void setExportType(ExportType type);
    void setPaths(const QString& mediaPath, const QString& sourcePath);
    void setArgs(const QStringList& list);
    // Starts the accepted export; ExportFinished follows at its end.
    void startConvert();
    // Stops a running export: the converter is killed and its output removed.
    void cancelExport();

    ExportType exportType() const { return exportType_; }
    QString exportPath() const { return exportPath_; }
    QString tempPath() const { return tempPath_; }
    bool finished() const { return finished_; }
    const QStringList& args() const { return args_; }
    // Why the last export failed ("" after success).
    const QString& failure() const { return failure_; }

    // Seams: the tools (default: "Converter" and exiftool beside the
    // program, exiftool else on PATH), the user folder for temporaries, how
    // message dialogs are run, and how the target is asked for.
    void setConverterProgram(const QString& path) { converter_ = path; }
    void setExiftoolProgram(const QString& path) { exiftool_ = path; }
    void setUserFolder(const QString& path) { userFolder_ = path; }
    void setDialogRunner(std::function<int(ui::Feedback&)> runner) { runDialog_ = std::move(runner); }
    void setSavePathAsker(std::function<QString(const QString& proposal, const QString& filter)> asker) {
        askSavePath_ = std::move(asker);
    }
    // The longest silence from a running converter before it is stopped.
    void setWatchdogMs(int ms) { watchdogMs_ = ms; }

    // The form, for the window and for tests.
    QLineEdit* widthEdit() const { return widthEdit_; }
    QLineEdit* heightEdit() const { return heightEdit_; }
    QLineEdit* exportPathEdit() const { return exportPathEdit_; }
    QLineEdit* bitrateEdit() const { return bitrateEdit_; }
    QComboBox* formatCombo() const { return formatCombo_; }
    QLabel* codecHint() const { return codecHint_; }
    QPushButton* okButton() const { return okButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QProgressBar* progressBar() const { return progressBar_; }

signals:
    void ExportFinished(bool isSuccess);

private slots:
    void OnConvertFinished();
    void OnBrowseBtnClicked();
    void OnCancelBtnClicked();
    void OnStartBtnClicked();
    void OnWidthChanged(const QString text);
    void OnHeightChanged(const QString text);
    void OnFormatChosen();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void buildForm();
    // Proposes the codec for the typed width (unless the user chose one)
    // and says why when it is H.265.
    void proposeCodec();
    void showRunningLook();
    void fail(const QString& reason);
    int message(const QString& text);

    QStringList args_;
    ExportType exportType_ = StandardCopy;
    QString mediaPath_, sourcePath_, exportPath_, tempPath_;
    bool finished_ = true;
    bool cancelled_ = false;
    QString failure_;
    ExportJob* job_ = nullptr;  // the running or last run; a child
    int watchdogMs_ = 10 * 60 * 1000;
    QString converter_, exiftool_, userFolder_;
    std::function<int(ui::Feedback&)> runDialog_;
    std::function<QString(const QString&, const QString&)> askSavePath_;

    ui::TypeBar* header_ = nullptr;
    QFrame* argFrame_ = nullptr;
    QLineEdit *widthEdit_ = nullptr, *heightEdit_ = nullptr, *exportPathEdit_ = nullptr, *bitrateEdit_ = nullptr;
    QLabel *bitrateLabel_ = nullptr, *bitrateUnit_ = nullptr, *bitrateRange_ = nullptr, *formatLabel_ = nullptr;
    QComboBox* formatCombo_ = nullptr;
    QLabel* codecHint_ = nullptr;
    bool formatChosen_ = false;  // the user picked a format: no more proposals
    QPushButton *browseButton_ = nullptr, *okButton_ = nullptr, *cancelButton_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
};

}  // namespace vistamo::exporting
