#include "export_dialog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include "dialog_look.h"
#include "feedback.h"
#include "export_job.h"
#include "rounded.h"
#include "still_tagger.h"
#include "type_bar.h"

namespace vistamo::exporting {

namespace {

const QString kTitle = QStringLiteral("Vistamo Player");
const char* const kFieldStyle = "QLineEdit{color: #eeeeee;border:1px solid #888888;}";
const char* const kBadFieldStyle = "QLineEdit{color: #ee0000;border:1px solid #888888;}";


}  // namespace

ExportDialog::ExportDialog(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    buildForm();
    const QString programFolder = QCoreApplication::applicationDirPath();
    converter_ = QDir(programFolder).filePath(QStringLiteral("Converter"));
    exiftool_ = findExiftool(programFolder);
    connect(browseButton_, &QPushButton::clicked, this, &ExportDialog::OnBrowseBtnClicked);
    connect(cancelButton_, &QPushButton::clicked, this, &ExportDialog::OnCancelBtnClicked);
    connect(okButton_, &QPushButton::clicked, this, &ExportDialog::OnStartBtnClicked);
    runDialog_ = [](ui::Feedback& dialog) { return dialog.exec(); };
    askSavePath_ = [this](const QString& proposal, const QString& filter) {
        return QFileDialog::getSaveFileName(this, tr("Please select the folder to save the result"), proposal, filter);
    };
}

ExportDialog::~ExportDialog() {
    if (!finished_)
        cancelExport();
}

void ExportDialog::buildForm() {
    resize(520, 414);
    setMaximumSize(520, 600);
    QFont font(QStringLiteral("微软雅黑"));
    font.setPointSize(11);
    setFont(font);
    setStyleSheet(QString::fromLatin1(kExportDialogLook));
    header_ = new ui::TypeBar(this);
    header_->setGeometry(0, 0, width(), 44);
    header_->setStyleSheet(QString::fromLatin1(ui::TypeBar::kYellowStyle));
    header_->label()->setText(tr("Export"));
    connect(header_->closeButton(), &QToolButton::clicked, this, &ExportDialog::OnCancelBtnClicked);

    argFrame_ = new QFrame(this);
    argFrame_->setObjectName(QStringLiteral("arg_frame_"));
    argFrame_->setGeometry(32, 64, 455, 260);
    auto* grid = new QGridLayout(argFrame_);
    auto label = [this](const QString& text) {
        auto* l = new QLabel(text, argFrame_);
        return l;
    };
    auto edit = [this](const char* name, const QString& text) {
        auto* e = new QLineEdit(text, argFrame_);
        e->setObjectName(QString::fromLatin1(name));
        return e;
    };
    widthEdit_ = edit("width_edit_", tr("Default"));
    heightEdit_ = edit("height_edit_", tr("Default"));
    exportPathEdit_ = edit("export_path_edit_", QString());
    bitrateEdit_ = edit("bitrate_edit_", QStringLiteral("20"));
    browseButton_ = new QPushButton(tr("Browse"), argFrame_);
    browseButton_->setObjectName(QStringLiteral("export_path_btn_"));
    formatCombo_ = new QComboBox(argFrame_);
    formatCombo_->setObjectName(QStringLiteral("format_comb_"));
    formatCombo_->addItem(QStringLiteral("H.264"), QStringLiteral("h264"));
    formatCombo_->addItem(QStringLiteral("H.265"), QStringLiteral("hevc"));
    connect(formatCombo_, QOverload<int>::of(&QComboBox::activated), this, &ExportDialog::OnFormatChosen);
    codecHint_ = new QLabel(argFrame_);
    codecHint_->setObjectName(QStringLiteral("codec_hint_"));
    codecHint_->setWordWrap(true);
    codecHint_->setStyleSheet(QStringLiteral("QLabel{color:#bbbbbb;}"));
    codecHint_->hide();
    bitrateLabel_ = label(tr("Bitrate"));
    bitrateUnit_ = label(QStringLiteral("Mbps"));
    bitrateRange_ = label(QStringLiteral("(5-100 Mbps)"));
    formatLabel_ = label(tr("Format"));
    grid->addWidget(label(tr("Resolution")), 0, 0);
    grid->addWidget(widthEdit_, 0, 1);
    grid->addWidget(label(QStringLiteral(" ×")), 0, 2);
    grid->addWidget(heightEdit_, 0, 3);
    grid->addWidget(label(tr("Exp Path")), 1, 0);
    grid->addWidget(exportPathEdit_, 1, 1, 1, 3);
    grid->addWidget(browseButton_, 1, 4);
    grid->addWidget(bitrateLabel_, 2, 0);
    grid->addWidget(bitrateEdit_, 2, 1);
    grid->addWidget(bitrateUnit_, 2, 2);
    grid->addWidget(bitrateRange_, 2, 3);
    grid->addWidget(formatLabel_, 3, 0);
    grid->addWidget(formatCombo_, 3, 1, 1, 3);
    grid->addWidget(codecHint_, 4, 0, 1, 5);

    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName(QStringLiteral("progressBar_"));
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    progressBar_->setGeometry(32, 90, 455, 30);
    progressBar_->hide();
    okButton_ = new QPushButton(tr("OK"), this);
    okButton_->setObjectName(QStringLiteral("ok_btn_"));
    cancelButton_ = new QPushButton(tr("Cancel"), this);
    cancelButton_->setObjectName(QStringLiteral("cancel_btn_"));
    okButton_->setGeometry(150, 350, 100, 34);
    cancelButton_->setGeometry(270, 350, 100, 34);
    okButton_->setDefault(true);
}

void ExportDialog::paintEvent(QPaintEvent* event) {
    ui::applyRoundedMask(this);
    QDialog::paintEvent(event);
}

void ExportDialog::setExportType(ExportType type) {
    exportType_ = type;
    const bool video = isVideoExport(type);
    for (QWidget* w : {static_cast<QWidget*>(bitrateEdit_), static_cast<QWidget*>(formatCombo_),
                       static_cast<QWidget*>(bitrateLabel_), static_cast<QWidget*>(bitrateUnit_),
                       static_cast<QWidget*>(bitrateRange_), static_cast<QWidget*>(formatLabel_)}) {
        w->setVisible(video);
        w->setEnabled(video);
    }
    proposeCodec();
    if (!video) {
        argFrame_->setFixedSize(455, 130);
        setFixedSize(520, 300);
        okButton_->move(150, 236);
        cancelButton_->move(270, 236);
    }
    header_->resize(width(), 44);
}

void ExportDialog::setPaths(const QString& mediaPath, const QString& sourcePath) {
    mediaPath_ = mediaPath;
    sourcePath_ = sourcePath;
    exportPath_ = panoPathFor(mediaPath);
    exportPathEdit_->setText(QDir::toNativeSeparators(exportPath_));
}

void ExportDialog::setArgs(const QStringList& list) {
    args_ = list;
    if (args_.size() > 4) {
        widthEdit_->setText(args_[3]);
        heightEdit_->setText(args_[4]);
    }
    proposeCodec();
    connect(widthEdit_, &QLineEdit::textChanged, this, &ExportDialog::OnWidthChanged, Qt::UniqueConnection);
    connect(heightEdit_, &QLineEdit::textChanged, this, &ExportDialog::OnHeightChanged, Qt::UniqueConnection);
}

void ExportDialog::OnWidthChanged(const QString text) {
    const int sourceWidth = args_.size() > 3 ? args_[3].toInt() : 0;
    widthEdit_->setStyleSheet(QString::fromLatin1(widthAccepted(text, sourceWidth) ? kFieldStyle : kBadFieldStyle));
    const QString half = QString::number(text.toDouble() / 2, 'g', 6);
    if (!heightEdit_->hasFocus() && heightEdit_->text() != half) {
        const QSignalBlocker quiet(heightEdit_);
        heightEdit_->setText(half);
    }
    proposeCodec();
}

void ExportDialog::OnFormatChosen() {
    formatChosen_ = true;
    proposeCodec();
}

void ExportDialog::proposeCodec() {
    const int width = widthEdit_->text().trimmed().toInt();
    const bool wide = isVideoExport(exportType_) && width > kH264WidthLimit;
    if (!formatChosen_)
        formatCombo_->setCurrentIndex(formatCombo_->findData(proposedCodec(wide ? width : 0)));
    codecHint_->setText(tr("Wider than %1 pixels: H.265 is proposed, because many phones and graphics cards "
                           "cannot play H.264 this wide.")
                            .arg(kH264WidthLimit));
    codecHint_->setVisible(wide);
}

void ExportDialog::OnHeightChanged(const QString text) {
    const QString twice = QString::number(text.toDouble() * 2, 'g', 6);
    if (widthEdit_->text() != twice)
        widthEdit_->setText(twice);  // re-runs the width check
}

void ExportDialog::OnBrowseBtnClicked() {
    const QString filter =
        isVideoExport(exportType_) ? QStringLiteral("Videos(*.mp4 *.mov);") : QStringLiteral("Images(*.jpg);");
    const QString answer = askSavePath_(exportPathEdit_->text(), filter);
    if (answer.isEmpty())
        return;
    exportPathEdit_->setText(QDir::toNativeSeparators(answer));
    QDir::setCurrent(QFileInfo(answer).absolutePath());
    okButton_->setEnabled(true);
}

void ExportDialog::OnStartBtnClicked() {
    exportPath_ = QDir::fromNativeSeparators(exportPathEdit_->text().trimmed());
    tempPath_ = tempPathFor(userFolder_.isEmpty() ? QDir::homePath() : userFolder_, exportPath_);
    if (exportPath_.isEmpty()) {
        hide();
        message(tr("The save path is empty, exporting aborted!"));
        reject();
        return;
    }
    const int sourceWidth = args_.size() > 3 ? args_[3].toInt() : 0;
    if (exportType_ == StandardCopy || widthAccepted(widthEdit_->text(), sourceWidth)) {
        tempPath_ = QDir::toNativeSeparators(tempPath_);
        accept();
    }
    // Otherwise the red field shows the problem.
}

void ExportDialog::OnCancelBtnClicked() {
    if (finished_)
        reject();
    else
        hide();  // the export runs on
}

int ExportDialog::message(const QString& text) {
    ui::Feedback dialog(parentWidget());
    dialog.setFixedSize(400, 200);
    dialog.hideRightButton();
    dialog.setLeftButtonText(tr("OK"));
    dialog.makeModal();
    dialog.setMessage(text);
    dialog.setTitleLine(kTitle);
    return runDialog_(dialog);
}

void ExportDialog::fail(const QString& reason) {
    if (failure_.isEmpty())
        failure_ = reason;
}

void ExportDialog::showRunningLook() {
    setFixedSize(520, 220);
    header_->resize(width(), 44);
    argFrame_->hide();
    okButton_->hide();
    progressBar_->setValue(0);
    progressBar_->show();
    cancelButton_->setText(tr("Hide"));
    cancelButton_->move(210, 150);
    header_->label()->setText(QFileInfo(mediaPath_).fileName() + QStringLiteral(" ") + tr("is exporting"));
    setModal(true);
    show();
}

void ExportDialog::startConvert() {
    failure_.clear();
    cancelled_ = false;
    if (mediaPath_.isEmpty()) {
        fail(tr("no file is open"));
        emit ExportFinished(false);
        return;
    }
    showRunningLook();
    if (exportType_ != StandardCopy && args_.size() > 7) {
        args_[2] = QDir::toNativeSeparators(tempPath_);
        args_[3] = widthEdit_->text().trimmed();
        args_[4] = heightEdit_->text().trimmed();
        if (isVideoExport(exportType_)) {
            args_[7] = bitrateEdit_->text().trimmed();
            const QString codec = formatCombo_->currentData().toString();
            // The codec follows the eight arguments, before any option.
            if (args_.size() > 8 && (args_[8] == QLatin1String("h264") || args_[8] == QLatin1String("hevc")))
                args_[8] = codec;
            else
                args_.insert(8, codec);
        }
    }
    ExportJob::Plan plan;
    plan.type = exportType_;
    plan.converter = converter_;
    plan.exiftool = exiftool_;
    plan.args = args_;
    plan.mediaPath = mediaPath_;
    plan.sourcePath = sourcePath_;
    plan.exportPath = exportPath_;
    plan.tempPath = tempPath_;
    plan.watchdogMs = watchdogMs_;
    delete job_;
    job_ = new ExportJob(plan, this);
    connect(job_, &ExportJob::progress, progressBar_, &QProgressBar::setValue);
    connect(job_, &ExportJob::finished, this, [this] {
        finished_ = true;
        OnConvertFinished();
    });
    connect(job_, &ExportJob::failed, this, [this](const QString& reason) {
        finished_ = true;
        fail(reason);
        hide();
        emit ExportFinished(false);
    });
    finished_ = false;
    job_->start();
}

void ExportDialog::OnConvertFinished() {
    if (cancelled_)
        return;
    if (isVisible())
        hide();
    message(QFileInfo(mediaPath_).fileName() + QStringLiteral(" ") + tr("has been exported successfully! Please check") +
            QStringLiteral(" ") + QFileInfo(exportPath_).fileName());
    emit ExportFinished(true);
}

void ExportDialog::cancelExport() {
    cancelled_ = true;
    if (job_)
        job_->cancel();
    finished_ = true;
}

}  // namespace vistamo::exporting
