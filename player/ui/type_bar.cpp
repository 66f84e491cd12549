#include "type_bar.h"

#include <QMouseEvent>

#include "ui_type_bar.h"

namespace vistamo::ui {

const char* const TypeBar::kYellowStyle =
    "QWidget#type_bar{ background-color:#ffe200;} \nQLabel#file_path_label_{  background-color:#ffe200; color:#181818;}";
const char* const TypeBar::kDarkStyle =
    "QWidget{ background-color:#212121;} QLabel{  background-color:#212121; color:#ffffff;}";

TypeBar::TypeBar(QWidget* parent) : QWidget(parent), form_(new Ui::type_bar), window_(parent) {
    form_->setupUi(this);
    setAttribute(Qt::WA_StyledBackground, true);
    form_->file_path_label_->setText(tr("Please choose file type"));
    form_->close_btn_->hide();
}

TypeBar::~TypeBar() { delete form_; }

QLabel* TypeBar::label() const { return form_->file_path_label_; }
QToolButton* TypeBar::closeButton() const { return form_->close_btn_; }

void TypeBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    pressPoint_ = event->pos();
    dragging_ = true;
}

void TypeBar::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ && (event->buttons() & Qt::LeftButton) && window_)
        window_->move(window_->pos() + event->pos() - pressPoint_);
}

void TypeBar::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        dragging_ = false;
}

}  // namespace vistamo::ui
