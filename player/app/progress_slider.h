// ProgressSlider: a slider that jumps to the point clicked on its groove
// (instead of one page step) and reports a value only on release or click
// (tracking off). The position bar and the volume bar of the control bar.
#pragma once

#include <QPoint>
#include <QSlider>

namespace vistamo::app {

class ProgressSlider : public QSlider {
    Q_OBJECT
public:
    explicit ProgressSlider(QWidget* parent = nullptr);

    // The value under a point of the widget, from the style's groove and
    // handle rectangles.
    int valueAt(QPoint point) const;

protected:
    void mousePressEvent(QMouseEvent* event) override;

private slots:
    void OnSliderBarClicked(int action);

private:
    QPoint pressPoint_;
};

}  // namespace vistamo::app
