// The rounded corners of the player's own dialogs: a radius-5 mask painted
// from the widget's size (the dialogs have no system frame to round them).
#pragma once

class QWidget;

namespace vistamo::ui {

void applyRoundedMask(QWidget* widget);

}  // namespace vistamo::ui
