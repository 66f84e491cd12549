#include "rounded.h"

#include <QBitmap>
#include <QPainter>
#include <QWidget>

namespace vistamo::ui {

void applyRoundedMask(QWidget* widget) {
    QBitmap mask(widget->size());
    mask.fill(Qt::color0);
    QPainter painter(&mask);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::color1);
    painter.drawRoundedRect(widget->rect(), 5, 5);
    widget->setMask(mask);
}

}  // namespace vistamo::ui
