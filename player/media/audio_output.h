// Sound output through Qt Multimedia's default device. The player's audio
// thread writes interleaved signed 16-bit samples in the device's format;
// the device pulls them on the output's own thread ("vst-audio"). Without a
// usable device open() fails and the player plays on silently.
#pragma once

#include <QObject>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace vistamo::media {

class AudioSink;

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
    int sampleRate() const { return sampleRate_; }
    int channels() const { return channels_; }
    // Queues frames of samples that end at ptsEnd seconds. Blocks while the
    // buffer is full; false when abort is set or the device stopped taking
    // sound for two seconds.
    bool write(const int16_t* samples, int frames, double ptsEnd, const std::atomic<bool>& abort);
    void flush();
    void setPaused(bool paused);
    void close();
    // Wakes a writer blocked in write() so that it can see its abort flag.
    void wakeWriters();
    // The pts of the sound being heard, or −1 when nothing is playing.
    double playedPts() const;

    // The samples scaled by volume, saturating at the 16-bit range.
    static void applyVolume(int16_t* samples, size_t count, float volume);

    // Called by the device's pull on the output thread.
    qint64 pull(char* data, qint64 maxSize);

private:
    QStringList backends_;
    std::atomic<qreal> volume_{1.0};
    std::atomic<bool> open_{false};
    int sampleRate_ = 0;  // set by open(), read by the player after it
    int channels_ = 0;

    QThread thread_;           // hosts the device object
    AudioSink* sink_ = nullptr;  // lives on thread_

    // The sample buffer between the player's audio thread and the device.
    mutable std::mutex mutex_;  // guards the members below
    std::condition_variable spaceFreed_;
    std::vector<int16_t> ring_;
    size_t readIndex_ = 0;
    size_t filled_ = 0;         // samples in ring_
    double ptsEnd_ = -1;        // pts just after the last queued sample
    bool paused_ = false;
    uint64_t consumed_ = 0;     // samples ever pulled, to notice a stalled device
};

}  // namespace vistamo::media
