#include "progress_slider.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>

namespace vistamo::app {

ProgressSlider::ProgressSlider(QWidget* parent) : QSlider(parent) {
    setTracking(false);
    connect(this, &QAbstractSlider::actionTriggered, this, &ProgressSlider::OnSliderBarClicked);
}

void ProgressSlider::mousePressEvent(QMouseEvent* event) {
    pressPoint_ = event->pos();
    QSlider::mousePressEvent(event);
}

int ProgressSlider::valueAt(QPoint point) const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const QPoint d = point - (handle.center() - handle.topLeft());
    if (orientation() == Qt::Horizontal)
        return QStyle::sliderValueFromPosition(minimum(), maximum(), d.x() - groove.x(),
                                               groove.right() - handle.width() + 1 - groove.x(), option.upsideDown);
    return QStyle::sliderValueFromPosition(minimum(), maximum(), d.y() - groove.y(),
                                           groove.bottom() - handle.height() + 1 - groove.y(), option.upsideDown);
}

void ProgressSlider::OnSliderBarClicked(int action) {
    if (action != QAbstractSlider::SliderPageStepAdd && action != QAbstractSlider::SliderPageStepSub)
        return;
    // QAbstractSlider takes the value from the slider position right after
    // this signal: the value jumps to the clicked point.
    setSliderPosition(valueAt(pressPoint_));
    emit sliderMoved(sliderPosition());
}

}  // namespace vistamo::app
