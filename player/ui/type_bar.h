// TypeBar: the header strip of the player's dialogs; dragging it moves the
// dialog it belongs to (its parent).
#pragma once

#include <QPoint>
#include <QWidget>

namespace Ui {
class type_bar;
}
class QLabel;
class QToolButton;

namespace vistamo::ui {

class TypeBar : public QWidget {
    Q_OBJECT
public:
    explicit TypeBar(QWidget* parent);
    ~TypeBar() override;

    QLabel* label() const;
    QToolButton* closeButton() const;

    // The yellow header of message dialogs, and the dark one of the media
    // type dialog.
    static const char* const kYellowStyle;
    static const char* const kDarkStyle;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    Ui::type_bar* form_;
    QPoint pressPoint_;
    bool dragging_ = false;
    QWidget* window_;
};

}  // namespace vistamo::ui
