#include "bottom_bar.h"

#include <QAction>
#include <QActionGroup>

#include "custom_menu.h"
#include "progress_slider.h"
#include "ui_bottom_bar.h"

namespace vistamo::app {

BottomBar::BottomBar(QWidget* mainWindow) : QWidget(mainWindow), form_(new Ui::bottom_bar), mainWindow_(mainWindow) {
    form_->setupUi(this);
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setMouseTracking(true);
    setWindowOpacity(0.75);
    viewMenu_ = new ui::CustomMenu(this);
    viewMenu_->setFixedSize(140, 210);
    viewMenu_->setWindowOpacity(0.75);
    group_ = new QActionGroup(this);
    pano_ = new QAction(tr("Equirectangular"), this);
    fisheye_ = new QAction(tr("Fisheye"), this);
    littlePlanet_ = new QAction(tr("Little planet"), this);
    source_ = new QAction(tr("Show source"), this);
    for (QAction* action : {pano_, fisheye_, littlePlanet_, source_}) {
        action->setCheckable(true);
        viewMenu_->addAction(action);
        group_->addAction(action);
    }
    pano_->setChecked(true);
    // Not a view mode: its own switch below them.
    viewMenu_->addSeparator();
    matchLenses_ = new QAction(tr("Match lenses"), this);
    matchLenses_->setCheckable(true);
    matchLenses_->setChecked(true);
    matchLenses_->setToolTip(tr("Match the exposure and colour of the two lenses at the seams (L)"));
    viewMenu_->addAction(matchLenses_);
    connect(pano_, &QAction::triggered, this, &BottomBar::PanoActionTriggered);
    connect(fisheye_, &QAction::triggered, this, &BottomBar::FisheyeActionTriggered);
    connect(littlePlanet_, &QAction::triggered, this, &BottomBar::LittlePlanetActionTriggered);
    connect(source_, &QAction::triggered, this, &BottomBar::OriginalActionTriggered);
    connect(form_->capture_btn_, &QToolButton::clicked, this, &BottomBar::Capture);
    form_->volume_slider_->setMinimum(0);
    form_->volume_slider_->setSingleStep(1);
    form_->volume_slider_->setPageStep(10);
}

BottomBar::~BottomBar() { delete form_; }

QToolButton* BottomBar::playButton() const { return form_->play_btn_; }
QToolButton* BottomBar::volumeButton() const { return form_->volume_btn_; }
QToolButton* BottomBar::modeButton() const { return form_->mode_btn_; }
QToolButton* BottomBar::captureButton() const { return form_->capture_btn_; }
QToolButton* BottomBar::exportButton() const { return form_->export_btn_; }
QToolButton* BottomBar::fullscreenButton() const { return form_->fullscreen_btn_; }
QLabel* BottomBar::positionLabel() const { return form_->cur_time_label_; }
QLabel* BottomBar::lengthLabel() const { return form_->video_length_label_; }
ProgressSlider* BottomBar::progressSlider() const { return form_->video_progress_slider_; }
ProgressSlider* BottomBar::volumeSlider() const { return form_->volume_slider_; }

void BottomBar::triggerPano() { pano_->trigger(); }

void BottomBar::paintEvent(QPaintEvent*) {}

}  // namespace vistamo::app
