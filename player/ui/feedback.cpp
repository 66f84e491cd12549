#include "feedback.h"

#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include "rounded.h"
#include "type_bar.h"
#include "ui_feedback.h"

namespace vistamo::ui {

Feedback::Feedback(QWidget* parent) : QDialog(parent), form_(new Ui::feedback) {
    form_->setupUi(this);
    setWindowFlags(Qt::Popup | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    form_->left_btn_->setText(QCoreApplication::translate("feedback", "OK"));
    form_->right_btn_->setText(QCoreApplication::translate("feedback", "Cancel"));
    header_ = new TypeBar(this);
    header_->setGeometry(0, 0, width(), 44);
    header_->setStyleSheet(QString::fromLatin1(TypeBar::kYellowStyle));
    header_->label()->setText(QStringLiteral("Vistamo Player"));
    connect(header_->closeButton(), &QToolButton::clicked, this, &QDialog::close);
    connect(form_->left_btn_, &QPushButton::clicked, this, [this] {
        emit LeftBtnClicked();
        accept();
    });
    connect(form_->right_btn_, &QPushButton::clicked, this, [this] {
        emit RightBtnClicked();
        reject();
    });
    form_->feedback_text->setOpenExternalLinks(true);
    form_->feedback_text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

Feedback::~Feedback() { delete form_; }

void Feedback::setMessage(const QString& text) { form_->feedback_text->setText(text); }
QString Feedback::message() const { return form_->feedback_text->text(); }
void Feedback::setTitleLine(const QString& text) { header_->label()->setText(text); }
void Feedback::setLeftButtonText(const QString& text) { form_->left_btn_->setText(text); }
void Feedback::setRightButtonText(const QString& text) { form_->right_btn_->setText(text); }
void Feedback::hideLeftButton() { form_->left_btn_->setVisible(false); }
void Feedback::hideRightButton() { form_->right_btn_->setVisible(false); }
QPushButton* Feedback::leftButton() const { return form_->left_btn_; }
QPushButton* Feedback::rightButton() const { return form_->right_btn_; }

void Feedback::makeModal() {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowModality(Qt::WindowModal);
}

void Feedback::makeMessage() {
    makeModal();
    form_->right_btn_->setVisible(false);
    form_->left_btn_->setVisible(true);
    form_->left_btn_->setText(QCoreApplication::translate("feedback", "OK"));
    form_->left_btn_->setDefault(true);
    form_->left_btn_->setFocus();
}

void Feedback::makeQuestion(const QString& message, const QString& titleLine, const QString& yes, const QString& no) {
    setLeftButtonText(yes);
    setRightButtonText(no);
    makeModal();
    setMessage(message);
    setTitleLine(titleLine);
}

void Feedback::makeNonModal() {
    setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    setWindowModality(Qt::NonModal);
}

void Feedback::paintEvent(QPaintEvent* event) {
    applyRoundedMask(this);
    QDialog::paintEvent(event);
}

void Feedback::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    header_->setGeometry(0, 0, width(), 44);
}

}  // namespace vistamo::ui
