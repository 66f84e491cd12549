#include "custom_menu.h"

#include <QPainter>

namespace vistamo::ui {

CustomMenu::CustomMenu(QWidget* parent) : QMenu(parent) {
    setStyleSheet(QStringLiteral("QMenu{\ncolor: #ffffff;\nbackground-color:#191919;\npadding: 1px 1px -3px 2px;\n"
                                 "font:10pt ;}\nQMenu::item{padding: 11px;}\nQMenu::item:selected{color:#fbe201;}"));
}

void CustomMenu::paintEvent(QPaintEvent* event) {
    if (actions().isEmpty()) {
        QMenu::paintEvent(event);
        return;
    }
    QPainter painter(this);
    const QPoint mouse = mapFromGlobal(QCursor::pos());
    for (QAction* action : actions()) {
        const QRect r = actionGeometry(action);
        painter.fillRect(r, r.contains(mouse) || action == activeAction() ? QColor(0, 0, 0) : QColor(25, 25, 25));
        painter.setPen(action->isChecked() ? QColor(255, 226, 0) : palette().color(QPalette::Text));
        painter.drawText(r, Qt::AlignCenter, action->text());
    }
}

}  // namespace vistamo::ui
