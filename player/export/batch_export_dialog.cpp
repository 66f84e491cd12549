#include "batch_export_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "batch_queue.h"
#include "dialog_look.h"
#include "rounded.h"
#include "still_tagger.h"
#include "type_bar.h"

namespace vistamo::exporting {

namespace {

// The export dialog's look, and the controls only this form has.
const char* const kBatchControls =
    "QSpinBox{color:#eeeeee; background-color:#212121; border:1px solid #888888;} "
    "QRadioButton, QCheckBox{color:#ffffff;} "
    "QListWidget{color:#eeeeee; background-color:#1a1a1a; border:1px solid #555555;} "
    "QPushButton:focus{color:#181818; background-color:#ffe200;}";

QString nameOf(const QString& file) { return QFileInfo(file).fileName(); }

}  // namespace

BatchExportDialog::BatchExportDialog(QStringList files, QWidget* parent) : QDialog(parent), files_(std::move(files)) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setModal(false);
    const QString programFolder = QCoreApplication::applicationDirPath();
    converter_ = QDir(programFolder).filePath(QStringLiteral("Converter"));
    exiftool_ = findExiftool(programFolder);
    askFolder_ = [this](const QString& start) {
        return QFileDialog::getExistingDirectory(this, tr("Please select the folder to save the results"), start);
    };
    buildForm();
    buildRun();
}

BatchExportDialog::~BatchExportDialog() = default;  // the queue, a child, stops what runs

void BatchExportDialog::setTools(const QString& converter, const QString& exiftool) {
    if (!converter.isEmpty())
        converter_ = converter;
    if (!exiftool.isEmpty())
        exiftool_ = exiftool;
}

void BatchExportDialog::buildForm() {
    setFixedSize(560, 470);
    QFont font(QStringLiteral("微软雅黑"));
    font.setPointSize(11);
    setFont(font);
    setStyleSheet(QString::fromLatin1(kExportDialogLook) + QLatin1Char(' ') + QString::fromLatin1(kBatchControls));
    header_ = new ui::TypeBar(this);
    header_->setGeometry(0, 0, width(), 44);
    header_->setStyleSheet(QString::fromLatin1(ui::TypeBar::kYellowStyle));
    header_->label()->setText(tr("Export selected files"));
    connect(header_->closeButton(), &QToolButton::clicked, this, &BatchExportDialog::reject);

    pages_ = new QStackedWidget(this);
    pages_->setGeometry(24, 56, 512, 340);
    auto* form = new QWidget(pages_);
    auto* grid = new QGridLayout(form);
    auto* count = new QLabel(files_.size() == 1 ? tr("1 file selected") : tr("%1 files selected").arg(files_.size()),
                             form);
    folderEdit_ = new QLineEdit(form);
    folderEdit_->setObjectName(QStringLiteral("batch_folder_edit_"));
    folderEdit_->setPlaceholderText(tr("Beside each file"));
    browseButton_ = new QPushButton(tr("Browse"), form);
    browseButton_->setMinimumWidth(90);
    connect(browseButton_, &QPushButton::clicked, this, &BatchExportDialog::browse);
    formatCombo_ = new QComboBox(form);
    formatCombo_->setObjectName(QStringLiteral("batch_format_comb_"));
    formatCombo_->addItem(tr("By width"), QString());
    formatCombo_->addItem(QStringLiteral("H.264"), QStringLiteral("h264"));
    formatCombo_->addItem(QStringLiteral("H.265"), QStringLiteral("hevc"));
    codecHint_ = new QLabel(form);
    codecHint_->setWordWrap(true);
    codecHint_->setStyleSheet(QStringLiteral("QLabel{color:#bbbbbb;}"));
    auto showHint = [this] {
        codecHint_->setText(formatCombo_->currentData().toString().isEmpty()
                                ? tr("H.264 up to %1 pixels wide, H.265 above: many phones and graphics cards cannot "
                                     "play H.264 wider.")
                                      .arg(kH264WidthLimit)
                                : QString());
    };
    connect(formatCombo_, QOverload<int>::of(&QComboBox::currentIndexChanged), this, showHint);
    showHint();
    bitrateSpin_ = new QSpinBox(form);
    bitrateSpin_->setRange(5, 100);
    bitrateSpin_->setValue(20);
    bitrateSpin_->setSuffix(QStringLiteral(" Mbps"));
    bitrateSpin_->setFixedWidth(120);
    sourceWidthButton_ = new QRadioButton(tr("The source's width"), form);
    sourceWidthButton_->setChecked(true);
    widthButton_ = new QRadioButton(tr("Width"), form);
    widthSpin_ = new QSpinBox(form);
    widthSpin_->setRange(2, 16384);
    widthSpin_->setSingleStep(2);
    widthSpin_->setValue(1920);
    widthSpin_->setSuffix(QStringLiteral(" px"));
    widthSpin_->setFixedWidth(120);
    widthSpin_->setEnabled(false);
    connect(widthButton_, &QRadioButton::toggled, widthSpin_, &QSpinBox::setEnabled);
    replaceBox_ = new QCheckBox(tr("Replace existing panoramas"), form);
    problemLabel_ = new QLabel(form);
    problemLabel_->setWordWrap(true);
    problemLabel_->setStyleSheet(QStringLiteral("QLabel{color:#ff5050;}"));

    grid->addWidget(new QLabel(tr("Files"), form), 0, 0);
    grid->addWidget(count, 0, 1, 1, 3);
    grid->addWidget(new QLabel(tr("Folder"), form), 1, 0);
    grid->addWidget(folderEdit_, 1, 1, 1, 2);
    grid->addWidget(browseButton_, 1, 3);
    grid->addWidget(new QLabel(tr("Format"), form), 2, 0);
    grid->addWidget(formatCombo_, 2, 1, 1, 3);
    grid->addWidget(codecHint_, 3, 1, 1, 3);
    grid->addWidget(new QLabel(tr("Bitrate"), form), 4, 0);
    grid->addWidget(bitrateSpin_, 4, 1, 1, 2, Qt::AlignLeft);
    grid->addWidget(new QLabel(tr("Size"), form), 5, 0);
    grid->addWidget(sourceWidthButton_, 5, 1, 1, 3);
    auto* widthRow = new QHBoxLayout;
    widthRow->addWidget(widthButton_);
    widthRow->addWidget(widthSpin_);
    widthRow->addStretch(1);
    grid->addLayout(widthRow, 6, 1, 1, 3);
    grid->addWidget(replaceBox_, 7, 1, 1, 3);
    grid->addWidget(problemLabel_, 8, 0, 1, 4);
    grid->setColumnStretch(2, 1);
    pages_->addWidget(form);

    startButton_ = new QPushButton(tr("Export"), this);
    startButton_->setObjectName(QStringLiteral("batch_start_btn_"));
    cancelButton_ = new QPushButton(tr("Cancel"), this);
    cancelButton_->setObjectName(QStringLiteral("batch_cancel_btn_"));
    startButton_->setGeometry(160, 414, 110, 34);
    cancelButton_->setGeometry(290, 414, 110, 34);
    startButton_->setDefault(true);
    connect(startButton_, &QPushButton::clicked, this, &BatchExportDialog::start);
    connect(cancelButton_, &QPushButton::clicked, this, [this] {
        if (running())
            cancelRun();
        else
            QDialog::reject();
    });
}

void BatchExportDialog::buildRun() {
    auto* run = new QWidget(pages_);
    auto* column = new QVBoxLayout(run);
    currentLabel_ = new QLabel(run);
    currentLabel_->setObjectName(QStringLiteral("batch_current_"));
    progressBar_ = new QProgressBar(run);
    progressBar_->setRange(0, 100);
    progressBar_->setFixedHeight(30);
    leftLabel_ = new QLabel(run);
    leftLabel_->setObjectName(QStringLiteral("batch_left_"));
    summaryLabel_ = new QLabel(run);
    summaryLabel_->setObjectName(QStringLiteral("batch_summary_"));
    summaryLabel_->setWordWrap(true);
    problemList_ = new QListWidget(run);
    problemList_->setObjectName(QStringLiteral("batch_problems_"));
    problemList_->setWordWrap(true);
    problemList_->setFocusPolicy(Qt::NoFocus);
    problemList_->hide();  // until a file fails or is skipped
    column->addWidget(currentLabel_);
    column->addWidget(progressBar_);
    column->addWidget(leftLabel_);
    column->addWidget(summaryLabel_);
    column->addWidget(problemList_, 1);
    column->addStretch(0);
    pages_->addWidget(run);
}

void BatchExportDialog::paintEvent(QPaintEvent* event) {
    ui::applyRoundedMask(this);
    QDialog::paintEvent(event);
}

void BatchExportDialog::browse() {
    const QString start =
        folderEdit_->text().isEmpty() ? QFileInfo(files_.value(0)).absolutePath() : folderEdit_->text();
    const QString chosen = askFolder_(start);
    if (!chosen.isEmpty())
        folderEdit_->setText(QDir::toNativeSeparators(chosen));
}

bool BatchExportDialog::running() const { return queue_ && queue_->running(); }

void BatchExportDialog::start() {
    BatchOptions options;
    options.host = BatchOptions::Player;
    options.files = files_;
    options.codec = formatCombo_->currentData().toString();
    options.bitrateMbps = bitrateSpin_->value();
    options.force = replaceBox_->isChecked();
    options.matchLenses = matchLenses_;
    const QString folder = QDir::fromNativeSeparators(folderEdit_->text().trimmed());
    if (!folder.isEmpty() && !QFileInfo(folder).isDir()) {
        problemLabel_->setText(tr("%1 is not a folder.").arg(QDir::toNativeSeparators(folder)));
        folderEdit_->setFocus();
        return;
    }
    options.outputDir = folder;
    if (widthButton_->isChecked()) {
        if (widthSpin_->value() % 2 != 0) {
            problemLabel_->setText(tr("The width must be even."));
            widthSpin_->setFocus();
            return;
        }
        options.width = widthSpin_->value();
    }
    problemLabel_->clear();

    queue_ = new BatchQueue(options, converter_, exiftool_, this);
    connect(queue_, &BatchQueue::fileStarted, this, [this](const QString& file) {
        current_ = file;
        progressBar_->setValue(0);
        currentLabel_->setText(tr("Exporting %1 (%2 of %3)")
                                   .arg(nameOf(file))
                                   .arg(queue_->total() - queue_->left() + 1)
                                   .arg(queue_->total()));
        showLeft();
    });
    connect(queue_, &BatchQueue::fileProgress, this, [this](const QString&, int percent) {
        progressBar_->setValue(percent);
    });
    connect(queue_, &BatchQueue::fileExported, this, [this](const QString& file, const QString&, qint64) {
        if (file == current_)
            current_.clear();
        progressBar_->setValue(100);
        showLeft();
    });
    connect(queue_, &BatchQueue::fileFailed, this, [this](const QString& file, const QString& reason) {
        if (file == current_)
            current_.clear();
        addProblem(file, reason);
        showLeft();
    });
    connect(queue_, &BatchQueue::fileSkipped, this, [this](const QString& file, const QString& reason) {
        addProblem(file, tr("skipped, %1").arg(reason));
        showLeft();
    });
    connect(queue_, &BatchQueue::finished, this, &BatchExportDialog::showEnd);

    pages_->setCurrentIndex(1);
    startButton_->hide();
    cancelButton_->move((width() - cancelButton_->width()) / 2, cancelButton_->y());
    cancelButton_->setFocus();
    currentLabel_->setText(tr("Preparing…"));
    showLeft();
    queue_->start();
}

void BatchExportDialog::showLeft() {
    leftLabel_->setText(tr("Files left: %1").arg(queue_->left()));
}

void BatchExportDialog::addProblem(const QString& file, const QString& reason) {
    problemList_->show();
    auto* row = new QListWidgetItem(QStringLiteral("%1: %2").arg(nameOf(file), reason), problemList_);
    row->setToolTip(QDir::toNativeSeparators(file));
}

void BatchExportDialog::cancelRun() {
    if (running())
        queue_->cancel();
}

void BatchExportDialog::showEnd(bool cancelled) {
    ended_ = true;
    const int failed = queue_->failedCount();
    currentLabel_->setText(!cancelled          ? QString()
                           : current_.isEmpty() ? tr("Stopped between two files")
                                                : tr("Stopped during %1").arg(nameOf(current_)));
    currentLabel_->setVisible(cancelled);
    header_->label()->setText(cancelled ? tr("Export cancelled") : tr("Export finished"));
    if (!cancelled)
        progressBar_->setValue(100);
    leftLabel_->setText(cancelled ? tr("Not exported: %1").arg(queue_->cancelledCount()) : QString());
    leftLabel_->setVisible(cancelled);
    summaryLabel_->setText(tr("%1 exported, %2 failed, %3 skipped")
                               .arg(queue_->exportedCount())
                               .arg(failed)
                               .arg(queue_->skippedCount()));
    cancelButton_->setText(tr("Close"));
    // The end is news: a dialog hidden during the run comes back with it.
    show();
    raise();
    emit runEnded(queue_->exportedCount(), failed, queue_->skippedCount(), cancelled);
}

void BatchExportDialog::reject() {
    // Closing a running batch hides it; the run goes on (and its end shows
    // the dialog again). Cancel stops it.
    if (running()) {
        hide();
        return;
    }
    QDialog::reject();
}

}  // namespace vistamo::exporting
