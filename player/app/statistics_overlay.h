// The statistics overlay (key I): what the playback and the view are doing,
// as users know it from other players.
#pragma once

#include <QElapsedTimer>
#include <QLabel>
#include <QStringList>
#include <QTimer>

#include "av_player.h"

namespace vistamo::render {
class GLView;
}

namespace vistamo::app {

// The view's side of the overlay: paints and new frames per second, as
// measured over the last refresh.
struct ViewRates {
    double paintsPerSecond = 0;
    double framesPerSecond = 0;
};

// The overlay's lines for these figures, in the user's language.
QStringList formatStatistics(const media::PlaybackStatistics& stats, const ViewRates& view);

// A label over the picture, refreshed twice a second while it is shown.
// GUI thread only.
class StatisticsOverlay : public QLabel {
    Q_OBJECT
public:
    StatisticsOverlay(media::AVPlayer* player, QWidget* parent);
    void setView(render::GLView* view) { view_ = view; }
    void toggle();

private:
    void refresh();

    media::AVPlayer* player_;
    render::GLView* view_ = nullptr;  // the overlay's parent, so it outlives it
    QTimer timer_;
    QElapsedTimer since_;       // wall time of the last refresh
    qint64 lastPaints_ = -1;    // the view's counts at the last refresh
    qint64 lastFrames_ = -1;
};

}  // namespace vistamo::app
