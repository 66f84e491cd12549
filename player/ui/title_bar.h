// TitleBar: the 30-pixel strip across the main window's top: drags the
// window, shows the open file's path, and carries the menu, minimise,
// maximise and close buttons. It reaches the main window only through its
// public slots setFullscreen() and showMask(QWidget*), found by name.
#pragma once

#include <QPoint>
#include <QWidget>

#include <functional>

namespace Ui {
class title_bar;
}
class QAction;
class QLabel;
class QToolButton;

namespace vistamo::ui {

class About;
class CustomMenu;

// The help document for a locale name: "vistamo_help_cn.pdf" for "zh_CN",
// "vistamo_help_en.pdf" otherwise, in folder (forward slashes).
QString helpDocumentPath(const QString& folder, const QString& locale);

class TitleBar : public QWidget {
    Q_OBJECT
public:
    explicit TitleBar(QWidget* mainWindow);
    ~TitleBar() override;

    QLabel* pathLabel() const;
    QToolButton* menuButton() const;
    QToolButton* maximizeButton() const;
    QToolButton* closeButton() const;
    CustomMenu* menu() const { return menu_; }
    // Where the menu opens (global): its right edge on the menu button's
    // right edge, its top on the bar's bottom edge.
    QPoint menuPosition() const;
    About* aboutDialog() const { return about_; }
    // Where the main window's locale comes from (the default: the system's).
    void setLocaleSource(std::function<QString()> source) { localeSource_ = std::move(source); }

signals:
    void signaltoUI();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private slots:
    void on_minimize_btn__clicked();

private:
    void openHelp();
    void showAbout();

    Ui::title_bar* form_;
    CustomMenu* menu_;
    QWidget* mainWindow_;
    QPoint pressPoint_;
    bool dragging_ = false;
    QAction* helpAction_;
    QAction* aboutAction_;
    About* about_;
    std::function<QString()> localeSource_;
};

}  // namespace vistamo::ui
