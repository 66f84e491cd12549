// BottomBar: the floating control bar under the picture: play, position
// and length, the position bar, volume, the view-mode menu, capture,
// export and full screen. A frameless tool window at 0.75 opacity; the
// main window reaches its widgets directly and connects them.
#pragma once

#include <QWidget>

namespace Ui {
class bottom_bar;
}
class QAction;
class QActionGroup;
class QLabel;
class QToolButton;

namespace vistamo::ui {
class CustomMenu;
}

namespace vistamo::app {

class ProgressSlider;

class BottomBar : public QWidget {
    Q_OBJECT
public:
    explicit BottomBar(QWidget* mainWindow);
    ~BottomBar() override;

    QToolButton* playButton() const;
    QToolButton* volumeButton() const;
    QToolButton* modeButton() const;
    QToolButton* captureButton() const;
    QToolButton* exportButton() const;
    QToolButton* fullscreenButton() const;
    QLabel* positionLabel() const;
    QLabel* lengthLabel() const;
    ProgressSlider* progressSlider() const;
    ProgressSlider* volumeSlider() const;
    ui::CustomMenu* viewMenu() const { return viewMenu_; }
    QAction* panoAction() const { return pano_; }
    QAction* fisheyeAction() const { return fisheye_; }
    QAction* littlePlanetAction() const { return littlePlanet_; }
    QAction* sourceAction() const { return source_; }
    // The lens-matching switch (checkable; the window keeps it in step).
    QAction* matchLensesAction() const { return matchLenses_; }

    // Back to "Equirectangular" (a new file replaced a playing one).
    void triggerPano();

signals:
    void PanoActionTriggered();
    void FisheyeActionTriggered();
    void LittlePlanetActionTriggered();
    void OriginalActionTriggered();
    void Capture();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Ui::bottom_bar* form_;
    ui::CustomMenu* viewMenu_;
    QWidget* mainWindow_;
    QAction* pano_;
    QAction* fisheye_;
    QAction* littlePlanet_;
    QAction* source_;
    QAction* matchLenses_;
    QActionGroup* group_;
};

}  // namespace vistamo::app
