// MaskFrame: the dark veil laid over the main window while one of its
// dialogs runs; it goes with the dialog it watches.
#pragma once

#include <QFrame>

namespace vistamo::ui {

class MaskFrame : public QFrame {
    Q_OBJECT
public:
    explicit MaskFrame(QWidget* parent = nullptr);

    void setMainWindow(QWidget* window) { mainWindow_ = window; }
    // Shows the veil while dialog is shown modal, hides it (and stops
    // watching) when the dialog is hidden.
    void watch(QWidget* dialog);
    QWidget* watched() const { return dialog_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* dialog_ = nullptr;
    QWidget* mainWindow_ = nullptr;
};

}  // namespace vistamo::ui
