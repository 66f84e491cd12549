// CustomMenu: the title bar's and the view-mode menu, drawn by hand: each
// entry centred, the one under the mouse on black, the checked one yellow.
#pragma once

#include <QMenu>

namespace vistamo::ui {

class CustomMenu : public QMenu {
    Q_OBJECT
public:
    explicit CustomMenu(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace vistamo::ui
