// VideoTypeDlg: asks which kind of picture a file holds (Standard, Sphere,
// Twins) with three image buttons; the main window connects them.
#pragma once

#include <QDialog>

namespace Ui {
class VideoTypeDlg;
}
class QPushButton;

namespace vistamo::ui {

class TypeBar;

class VideoTypeDlg : public QDialog {
    Q_OBJECT
public:
    explicit VideoTypeDlg(QWidget* parent = nullptr);
    ~VideoTypeDlg() override;

    QPushButton* standardButton() const;
    QPushButton* sphereButton() const;
    QPushButton* twinsButton() const;
    TypeBar* header() const { return header_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Ui::VideoTypeDlg* form_;
    TypeBar* header_;
};

}  // namespace vistamo::ui
