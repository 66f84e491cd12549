#include "video_type_dlg.h"

#include "rounded.h"
#include "type_bar.h"
#include "ui_video_type_dlg.h"

namespace vistamo::ui {

VideoTypeDlg::VideoTypeDlg(QWidget* parent) : QDialog(parent), form_(new Ui::VideoTypeDlg) {
    form_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setFixedSize(540, 320);
    header_ = new TypeBar(this);
    header_->setGeometry(0, 0, width(), 44);
    header_->setStyleSheet(QString::fromLatin1(TypeBar::kDarkStyle));
}

VideoTypeDlg::~VideoTypeDlg() { delete form_; }

QPushButton* VideoTypeDlg::standardButton() const { return form_->stand_btn_; }
QPushButton* VideoTypeDlg::sphereButton() const { return form_->sphere_btn_; }
QPushButton* VideoTypeDlg::twinsButton() const { return form_->twins_btn_; }

void VideoTypeDlg::paintEvent(QPaintEvent* event) {
    applyRoundedMask(this);
    QDialog::paintEvent(event);
}

}  // namespace vistamo::ui
