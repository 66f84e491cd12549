#include "frameless_widget.h"

#include <QMouseEvent>
#include <QWindowStateChangeEvent>

#include <algorithm>
#include <cstdlib>

namespace vistamo::ui {

FramelessWidget::FramelessWidget(QWidget* parent) : QMainWindow(parent) {
    setWindowFlags(Qt::FramelessWindowHint | Qt::Window);
    setMouseTracking(true);
}

void FramelessWidget::mousePressEvent(QMouseEvent* event) {
    if (event->buttons() == Qt::LeftButton &&
        (event->pos().y() > height() - kEdge || event->pos().x() > width() - kEdge)) {
        resizing_ = true;
        pressPoint_ = event->pos();
        heightAtPress_ = height();
        widthAtPress_ = width();
    }
    event->accept();
}

void FramelessWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->pos();
    if (resizing_) {
        const int dy = p.y() - pressPoint_.y(), dx = p.x() - pressPoint_.x();
        if (std::abs(dy) < kStep && std::abs(dx) < kStep)
            return;
        if (event->buttons() == Qt::LeftButton) {
            const int h = std::max(heightAtPress_ + (resizeBottom_ ? dy : 0), minimumSize_.height());
            const int w = std::max(widthAtPress_ + (resizeRight_ ? dx : 0), minimumSize_.width());
            setFixedSize(w, h);
            heightAtPress_ = h;
            widthAtPress_ = w;
            pressPoint_ = p;
        }
        return;
    }
    if (event->buttons() != Qt::NoButton)
        return;
    const bool bottom = p.y() > height() - kEdge, right = p.x() > width() - kEdge;
    if ((bottom && p.x() > width() - 2 * kEdge) || (right && p.y() > height() - 2 * kEdge)) {
        setCursor(Qt::SizeFDiagCursor);
        resizeRight_ = resizeBottom_ = true;
    } else if (bottom) {
        setCursor(Qt::SizeVerCursor);
        resizeBottom_ = true;
        resizeRight_ = false;
    } else if (right) {
        setCursor(Qt::SizeHorCursor);
        resizeRight_ = true;
        resizeBottom_ = false;
    } else {
        setCursor(Qt::ArrowCursor);
    }
}

void FramelessWidget::mouseReleaseEvent(QMouseEvent*) {
    if (resizing_) {
        resizing_ = false;
        setCursor(Qt::ArrowCursor);
    }
}

void FramelessWidget::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    if (change->oldState() != Qt::WindowMinimized)
        return;
    // A frameless window restored from the task bar is laid out and drawn
    // again only after a state change of its own.
    const Qt::WindowStates now = windowState();
    if (now == Qt::WindowNoState || now == Qt::WindowMaximized) {
        setWindowState(Qt::WindowFullScreen);
        setWindowState(now);
    } else if (now == Qt::WindowFullScreen) {
        setWindowState(Qt::WindowNoState);
        setWindowState(now);
    }
}

}  // namespace vistamo::ui
