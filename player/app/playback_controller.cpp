#include "playback_controller.h"

#include <QLabel>
#include <QToolButton>

#include "bottom_bar.h"
#include "media_rules.h"
#include "progress_slider.h"

namespace vistamo::app {
namespace {

void setButtonImages(QToolButton* button, const QString& normal, const QString& hover) {
    button->setStyleSheet(QStringLiteral("QToolButton{border:none; image:url(%1);} QToolButton:hover{image:url(%2);}")
                              .arg(normal, hover));
}

}  // namespace

PlaybackController::PlaybackController(media::AVPlayer* player, BottomBar* bar, Hooks hooks, QObject* parent)
    : QObject(parent), player_(player), bar_(bar), hooks_(std::move(hooks)) {
    // Set before anyone listens: the window's volume slot forwards here.
    const QSignalBlocker quiet(bar_->volumeSlider());
    bar_->volumeSlider()->setRange(0, 100);
    bar_->volumeSlider()->setValue(int(volume_ / 0.04));
    bar_->volumeSlider()->setToolTip(QString::number(volume_ / 0.04, 'g', 6));
}

void PlaybackController::play(const QString& path, bool isImage) {
    const QList<QWidget*> videoOnly = {bar_->playButton(), bar_->progressSlider(), bar_->volumeButton(),
                                       bar_->volumeSlider(), bar_->positionLabel(), bar_->lengthLabel()};
    disconnect(player_, &media::AVPlayer::durationChanged, this, &PlaybackController::lengthChanged);
    disconnect(player_, &media::AVPlayer::stateChanged, this, &PlaybackController::stateChanged);
    isImage_ = isImage;
    if (isImage) {
        bar_->positionLabel()->setText(QStringLiteral("00:00:00"));
        bar_->lengthLabel()->setText(QStringLiteral("00:00:00"));
        bar_->progressSlider()->setRange(0, 0);
        bar_->progressSlider()->setValue(0);
        for (QWidget* w : videoOnly)
            w->hide();
    } else {
        connect(player_, &media::AVPlayer::durationChanged, this, &PlaybackController::lengthChanged);
        connect(player_, &media::AVPlayer::stateChanged, this, &PlaybackController::stateChanged);
        for (QWidget* w : videoOnly)
            w->show();
    }
    playedFile_ = path;
    watchdogRestarts_ = 0;
    player_->play(path);
}

void PlaybackController::stop() {
    player_->setMediaEndAction(media::AVPlayer::MediaEndAction_Default);
    player_->stop();
    bar_->progressSlider()->setSliderPosition(0);
    player_->setMediaEndAction(media::AVPlayer::MediaEndAction_KeepDisplay);
}

void PlaybackController::progressed(qint64 position) {
    const bool pictureSeen = hooks_.pictureSeen();
    if (isImage_) {
        if (pictureSeen) {
            player_->pause(true);
            return;
        }
    } else if (pictureSeen || position < 600) {
        bar_->positionLabel()->setText(formatTime(position));
        if (!bar_->progressSlider()->isSliderDown())
            bar_->progressSlider()->setSliderPosition(int(position));
        return;
    }
    // No picture reached the view: restart, a few times, then say so.
    if (++watchdogRestarts_ > kWatchdogRestarts) {
        stop();
        hooks_.tell(tr("No picture could be shown from this file."));
        return;
    }
    player_->stop();
    player_->play();
}

void PlaybackController::lengthChanged(qint64 length) {
    if (length <= 0)
        return;
    bar_->lengthLabel()->setText(formatTime(length));
    const QSignalBlocker quiet(bar_->progressSlider());
    bar_->progressSlider()->setRange(0, int(length));
}

void PlaybackController::sliderMoved(int position) {
    if (position == 0 && !bar_->progressSlider()->isSliderDown()) {
        player_->stop();
        player_->play();
    }
    player_->seek(position);
}

void PlaybackController::stateChanged(media::AVPlayer::State state) {
    if (state == media::AVPlayer::StoppedState) {
        restylePlayButton(false);
        emit player_->positionChanged(0);
        player_->audio()->setVolume(0);
    } else if (state == media::AVPlayer::PlayingState) {
        restylePlayButton(true);
        volume_ = bar_->volumeSlider()->value() * 0.04;
        player_->audio()->setVolume(muted_ ? 0 : volume_);
        bar_->progressSlider()->setEnabled(true);
    } else {
        restylePlayButton(false);
    }
}

void PlaybackController::restylePlayButton(bool playing) {
    if (playing)
        setButtonImages(bar_->playButton(), QStringLiteral(":/images/pause.png"), QStringLiteral(":/images/pause_highlight.png"));
    else
        setButtonImages(bar_->playButton(), QStringLiteral(":/images/play.png"), QStringLiteral(":/images/play_highlight.png"));
}

void PlaybackController::playOrPause() {
    if (!player_->isPlaying()) {
        player_->play(playedFile_);
        return;
    }
    player_->pause(!player_->isPaused());
    restylePlayButton(!player_->isPaused());
}

void PlaybackController::setVolume(int value) {
    volume_ = value * 0.04;
    bar_->volumeSlider()->setToolTip(QString::number(volume_ / 0.04, 'g', 6));
    if (!muted_)
        player_->audio()->setVolume(volume_);
}

void PlaybackController::toggleMute() {
    muted_ = !muted_;
    player_->audio()->setVolume(muted_ ? 0 : volume_);
    const QString image = muted_ ? QStringLiteral(":/images/mute.png") : QStringLiteral(":/images/volume.png");
    setButtonImages(bar_->volumeButton(), image, image);
}

}  // namespace vistamo::app
