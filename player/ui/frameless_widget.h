// FramelessWidget: a main window without a system frame that gives back
// what the frame did: resizing by its right and bottom edges (in steps of
// at least 20 pixels, never below its minimum size) and a full redraw after
// it is restored from the task bar.
#pragma once

#include <QMainWindow>
#include <QPoint>
#include <QSize>

namespace vistamo::ui {

class FramelessWidget : public QMainWindow {
    Q_OBJECT
public:
    explicit FramelessWidget(QWidget* parent = nullptr);

    void setMinimumResizeSize(QSize size) { minimumSize_ = size; }
    QSize minimumResizeSize() const { return minimumSize_; }
    bool resizesRight() const { return resizeRight_; }
    bool resizesBottom() const { return resizeBottom_; }

    // The band along the right and bottom edges that resizes, and the step.
    static constexpr int kEdge = 5;
    static constexpr int kStep = 20;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int heightAtPress_ = 0;
    int widthAtPress_ = 0;
    QPoint pressPoint_;
    bool resizing_ = false;
    bool resizeRight_ = false;
    bool resizeBottom_ = false;
    QSize minimumSize_;
};

}  // namespace vistamo::ui
