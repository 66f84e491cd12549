// PlaybackController: the control bar's side of playback. It starts and
// stops the media player for the main window, keeps the position, length
// and slider in step, plays and pauses, sets the volume and mute, and runs
// the watchdog that restarts a playback showing no picture, then gives up
// with a message. GUI thread only; the player's signals come there queued.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

#include "av_player.h"

namespace vistamo::app {

class BottomBar;

class PlaybackController : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<bool()> pictureSeen;           // a picture reached the screen
        std::function<void(const QString&)> tell;    // one message for the user
    };
    PlaybackController(media::AVPlayer* player, BottomBar* bar, Hooks hooks, QObject* parent);

    // The watchdog restarts a playback that shows no picture this often,
    // then gives up with a message.
    static constexpr int kWatchdogRestarts = 3;

    // Makes the bar fit the file about to play (a still has no time line)
    // and plays it.
    void play(const QString& path, bool isImage);
    // Stops without ending on the last picture.
    void stop();
    void playOrPause();

    void progressed(qint64 position);
    void lengthChanged(qint64 length);
    void sliderMoved(int position);
    void stateChanged(media::AVPlayer::State state);
    void setVolume(int value);
    void toggleMute();

private:
    void restylePlayButton(bool playing);

    media::AVPlayer* player_;
    BottomBar* bar_;
    Hooks hooks_;
    QString playedFile_;
    bool isImage_ = false;
    bool muted_ = false;
    double volume_ = 2.0;
    int watchdogRestarts_ = 0;
};

}  // namespace vistamo::app
