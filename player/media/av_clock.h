// The master clock of a playback: the time, in seconds of the medium, that
// is being presented now. Video and external clocks run from the wall
// clock once started; the audio clock follows the sound that the device has
// played, falling back to the wall clock while there is none.
#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <mutex>

namespace vistamo::media {

class AVClock : public QObject {
    Q_OBJECT
public:
    enum ClockType { AudioClock, ExternalClock, VideoClock };

    explicit AVClock(QObject* parent = nullptr);

    void setClockAuto(bool automatic);
    bool isClockAuto() const;
    void setClockType(ClockType type);
    ClockType clockType() const;

    // Any thread.
    double value() const;
    // The video or external clock's value while it runs: NaN before its
    // first reset, after invalidate(), and while paused. The audio output
    // schedules sound against it.
    double runningValue() const;
    // True when frames follow the audio (the automatic choice, or the
    // audio clock) rather than the audio following the clock.
    bool followsAudio() const;
    // Starts (or restarts) the clock at pts seconds.
    void reset(double pts);
    // Stopped until the next reset (a seek: the first frame after it starts
    // the clock again).
    void invalidate();
    void setPaused(bool paused);
    bool isPaused() const;

    // Installed by the player while an audio device plays: the pts of the
    // sound heard now, or a negative value when unknown.
    void setAudioPosition(std::function<double()> audioPosition);

private:
    double wallValueLocked() const;

    mutable std::mutex mutex_;  // guards every member below
    bool automatic_ = true;
    ClockType type_ = AudioClock;
    double base_ = 0;       // pts at the last reset or resume
    bool started_ = false;  // reset since construction or the last invalidate
    bool paused_ = false;
    QElapsedTimer timer_;   // running since the last reset or resume
    std::function<double()> audioPosition_;
};

}  // namespace vistamo::media
