// BatchExportDialog: the playlist's "Export selected…". One form for every
// selected file (the folder, the format, the bit rate, the size), then the
// run of a BatchQueue, one file at a time: the current file's progress and
// the number left, a cancel that removes the current file's temporary and
// keeps the finished ones, and at the end the files that failed or were
// skipped. It is not modal: the window stays usable while it runs, and
// closing it hides it until the run ends. GUI thread only.
#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;

namespace vistamo::ui {
class TypeBar;
}

namespace vistamo::exporting {

class BatchQueue;

class BatchExportDialog : public QDialog {
    Q_OBJECT
public:
    BatchExportDialog(QStringList files, QWidget* parent);
    ~BatchExportDialog() override;

    // Seams: the tools (default: "Converter" and exiftool beside the
    // program, exiftool else on PATH) and how the folder is asked for.
    void setTools(const QString& converter, const QString& exiftool);
    void setFolderAsker(std::function<QString(const QString& start)> asker) { askFolder_ = std::move(asker); }
    // Whether two-lens files are exported with their lenses matched (the
    // view's setting; the default).
    void setMatchLenses(bool match) { matchLenses_ = match; }

    const QStringList& files() const { return files_; }
    bool running() const;
    bool ended() const { return ended_; }
    // Stops the run (the window closes, or the cancel button).
    void cancelRun();

    // The form and the run's look, for the window and for tests.
    QLineEdit* folderEdit() const { return folderEdit_; }
    QComboBox* formatCombo() const { return formatCombo_; }
    QSpinBox* bitrateSpin() const { return bitrateSpin_; }
    QRadioButton* sourceWidthButton() const { return sourceWidthButton_; }
    QRadioButton* widthButton() const { return widthButton_; }
    QSpinBox* widthSpin() const { return widthSpin_; }
    QCheckBox* replaceBox() const { return replaceBox_; }
    QLabel* problemLabel() const { return problemLabel_; }
    QPushButton* startButton() const { return startButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QLabel* currentLabel() const { return currentLabel_; }
    QLabel* leftLabel() const { return leftLabel_; }
    QProgressBar* progressBar() const { return progressBar_; }
    QLabel* summaryLabel() const { return summaryLabel_; }
    // One row per file that failed or was skipped: "NAME: reason".
    QListWidget* problemList() const { return problemList_; }

signals:
    // The run's end (after a cancel too): what became of the files.
    void runEnded(int exported, int failed, int skipped, bool cancelled);

public slots:
    void reject() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void buildForm();
    void buildRun();
    void browse();
    void start();
    void showLeft();
    void showEnd(bool cancelled);
    void addProblem(const QString& file, const QString& reason);

    const QStringList files_;
    QString converter_, exiftool_;
    std::function<QString(const QString&)> askFolder_;
    BatchQueue* queue_ = nullptr;  // the run; a child
    bool ended_ = false;
    bool matchLenses_ = true;
    QString current_;              // the running file

    ui::TypeBar* header_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QLineEdit* folderEdit_ = nullptr;
    QPushButton* browseButton_ = nullptr;
    QComboBox* formatCombo_ = nullptr;
    QLabel* codecHint_ = nullptr;
    QSpinBox *bitrateSpin_ = nullptr, *widthSpin_ = nullptr;
    QRadioButton *sourceWidthButton_ = nullptr, *widthButton_ = nullptr;
    QCheckBox* replaceBox_ = nullptr;
    QLabel* problemLabel_ = nullptr;
    QLabel *currentLabel_ = nullptr, *leftLabel_ = nullptr, *summaryLabel_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QListWidget* problemList_ = nullptr;
    QPushButton *startButton_ = nullptr, *cancelButton_ = nullptr;
};

}  // namespace vistamo::exporting
