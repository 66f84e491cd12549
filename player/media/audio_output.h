// Sound output through Qt Multimedia's default device. The player's audio
// thread writes interleaved signed 16-bit samples in the device's format;
// the device pulls them on the output's own thread ("vst-audio"). Without a
// usable device open() fails and the player plays on silently.
//
// With a schedule clock (the video clock) every pull hands the device the
// samples that must be heard when the pull's data comes out of it: the
// clock's time plus the device latency (what the device still holds, and
// the sink's own latency). Samples that are late are dropped, and silence
// fills in while the sound is early, so sound and picture meet.
#pragma once

#include <QObject>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace vistamo::media {

class AudioSink;
class AVClock;

class AudioOutput : public QObject {
    Q_OBJECT
public:
    explicit AudioOutput(QObject* parent = nullptr);
    ~AudioOutput() override;

    // 0.0 to 4.0: 1.0 is the source level, above it amplifies with clipping.
    void setVolume(qreal volume);
    qreal volume() const { return volume_.load(); }
    // Accepted for the callers' sake; the system's default device is used.
    void setBackends(const QStringList& backends) { backends_ = backends; }
    QStringList backends() const { return backends_; }

    // Player side, any thread. open() picks the device format nearest to the
    // source's (sampleRate(), channels() tell which); false without a device.
    bool open(int sampleRate, int channels);
    bool isOpen() const { return open_.load(); }
    // Whether the device has asked for sound since open(): before that,
    // what is queued is not yet on its way to the speakers.
    bool isPulling() const { return pulling_.load(); }
    int sampleRate() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return sampleRate_;
    }
    int channels() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return channels_;
    }
    // Queues frames of samples that end at ptsEnd seconds. Blocks while the
    // buffer is full; false when abort is set or the device stopped taking
    // sound for two seconds.
    bool write(const int16_t* samples, int frames, double ptsEnd, const std::atomic<bool>& abort);
    void flush();
    void setPaused(bool paused);
    void close();
    // Wakes a writer blocked in write() so that it can see its abort flag.
    void wakeWriters();
    // The pts of the sound being heard (the device latency allowed for), or
    // −1 when nothing is playing.
    double playedPts() const;

    // Any thread. The clock that the sound follows while it is set (null:
    // the sound plays as it comes, and the clock may follow it instead).
    // The clock must outlive the output or be unset first.
    void setScheduleClock(AVClock* clock) { scheduleClock_ = clock; }
    // Seconds from a sample leaving this output to it being heard: the
    // device's buffer (as it is now) and the sink's own latency.
    double latency() const { return deviceLatency_.load() + sinkLatency_.load(); }
    // The sink's latency beyond the device buffer, when a host knows it
    // (the default is a typical sound server's).
    void setSinkLatency(double seconds) { sinkLatency_ = seconds; }
    // Sound is held to the schedule within this many seconds; further
    // off, samples are dropped or silence is played.
    static constexpr double kScheduleTolerance = 0.010;

    // The samples scaled by volume, saturating at the 16-bit range.
    static void applyVolume(int16_t* samples, size_t count, float volume);

    // Called by the device's pull on the output thread; deviceBuffered is
    // the sound the device holds before this data, in seconds.
    qint64 pull(char* data, qint64 maxSize, double deviceBuffered);

private:
    QStringList backends_;  // the owner's (GUI) thread
    std::atomic<qreal> volume_{1.0};
    std::atomic<bool> open_{false};

    // Runs f on the output thread and waits for it, at most timeoutMs;
    // false when it did not finish in time (the thread is stuck).
    bool runOnOutputThread(const std::function<void()>& f, int timeoutMs);

    QThread thread_;           // hosts the device object
    // The device object: lives on thread_; made, used and deleted through
    // open(), setPaused() and close(), all on the player's control thread.
    AudioSink* sink_ = nullptr;
    std::atomic<AVClock*> scheduleClock_{nullptr};
    std::atomic<bool> pulling_{false};
    std::atomic<double> deviceLatency_{0.1};  // written by the output thread at each pull
    std::atomic<double> sinkLatency_{0.03};

    // The sample buffer between the player's audio thread (write) and the
    // output thread (pull); open() and close() reset it from the control
    // thread.
    mutable std::mutex mutex_;  // guards the members below
    std::condition_variable spaceFreed_;
    int sampleRate_ = 0;        // the device's format, set by open()
    int channels_ = 0;
    std::vector<int16_t> ring_;
    size_t readIndex_ = 0;
    size_t filled_ = 0;         // samples in ring_
    double ptsEnd_ = -1;        // pts just after the last queued sample
    bool paused_ = false;
    uint64_t consumed_ = 0;     // samples ever pulled, to notice a stalled device
};

}  // namespace vistamo::media
