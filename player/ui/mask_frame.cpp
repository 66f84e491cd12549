#include "mask_frame.h"

#include <QEvent>

namespace vistamo::ui {

MaskFrame::MaskFrame(QWidget* parent) : QFrame(parent) {
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint);
    setStyleSheet(QStringLiteral("QFrame{ background-color:#000000;}"));
    setWindowOpacity(0.85);
}

void MaskFrame::watch(QWidget* dialog) {
    if (dialog_)
        dialog_->removeEventFilter(this);
    dialog_ = dialog;
    if (dialog_)
        dialog_->installEventFilter(this);
}

bool MaskFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched != dialog_)
        return QFrame::eventFilter(watched, event);
    if (event->type() == QEvent::Show && dialog_->isModal()) {
        show();
    } else if (event->type() == QEvent::Hide) {
        hide();
        dialog_->removeEventFilter(this);
        dialog_ = nullptr;
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

}  // namespace vistamo::ui
