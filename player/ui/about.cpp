#include "about.h"

#include <QDesktopServices>
#include <QEvent>
#include <QLabel>
#include <QUrl>

#include "rounded.h"
#include "ui_about.h"

namespace vistamo::ui {

const char* const About::kProjectAddress = "https://vistamo.invalid/";

About::About(QWidget* parent) : QWidget(parent), form_(new Ui::about) {
    form_->setupUi(this);
    setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    setFixedSize(500, 360);
    form_->version_label_->setText(QStringLiteral("Vistamo Player (V1.0.1.7)"));
    form_->notice_label_->setText(
        tr("Vistamo is free software. It comes with no warranty; it reads and writes your files only where "
           "you tell it to."));
    form_->link_label_->hide();
    form_->link_label_->installEventFilter(this);
}

About::~About() { delete form_; }

QLabel* About::versionLabel() const { return form_->version_label_; }

bool About::eventFilter(QObject* watched, QEvent* event) {
    if (watched == form_->link_label_) {
        if (event->type() == QEvent::Enter)
            form_->link_label_->setCursor(Qt::PointingHandCursor);
        else if (event->type() == QEvent::Leave)
            form_->link_label_->setCursor(Qt::ArrowCursor);
        else if (event->type() == QEvent::MouseButtonPress)
            OnOpenLink();
    }
    return QWidget::eventFilter(watched, event);
}

void About::OnOpenLink() { QDesktopServices::openUrl(QUrl(QString::fromLatin1(kProjectAddress))); }

void About::paintEvent(QPaintEvent* event) {
    applyRoundedMask(this);
    QWidget::paintEvent(event);
}

}  // namespace vistamo::ui
