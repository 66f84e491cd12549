#include "av_clock.h"

#include <limits>

namespace vistamo::media {

AVClock::AVClock(QObject* parent) : QObject(parent) { timer_.start(); }

void AVClock::setClockAuto(bool automatic) {
    std::lock_guard<std::mutex> lock(mutex_);
    automatic_ = automatic;
}

bool AVClock::isClockAuto() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return automatic_;
}

void AVClock::setClockType(ClockType type) {
    std::lock_guard<std::mutex> lock(mutex_);
    type_ = type;
}

AVClock::ClockType AVClock::clockType() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return type_;
}

double AVClock::wallValueLocked() const {
    return paused_ ? base_ : base_ + double(timer_.nsecsElapsed()) / 1e9;
}

double AVClock::value() const {
    std::lock_guard<std::mutex> lock(mutex_);
    // Automatic choice: the audio clock whenever sound is playing.
    const bool useAudio = (automatic_ || type_ == AudioClock) && audioPosition_;
    if (useAudio && !paused_) {
        const double audio = audioPosition_();
        if (audio >= 0)
            return audio;
    }
    return wallValueLocked();
}

double AVClock::runningValue() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!started_ || paused_)
        return std::numeric_limits<double>::quiet_NaN();
    return wallValueLocked();
}

bool AVClock::followsAudio() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return automatic_ || type_ == AudioClock;
}

void AVClock::reset(double pts) {
    std::lock_guard<std::mutex> lock(mutex_);
    base_ = pts;
    started_ = true;
    timer_.restart();
}

void AVClock::invalidate() {
    std::lock_guard<std::mutex> lock(mutex_);
    started_ = false;
}

void AVClock::setPaused(bool paused) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (paused == paused_)
        return;
    if (paused)
        base_ = wallValueLocked();
    else
        timer_.restart();
    paused_ = paused;
}

bool AVClock::isPaused() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return paused_;
}

void AVClock::setAudioPosition(std::function<double()> audioPosition) {
    std::lock_guard<std::mutex> lock(mutex_);
    audioPosition_ = std::move(audioPosition);
}

}  // namespace vistamo::media
