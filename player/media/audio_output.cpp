#include "audio_output.h"

#include <QAudioDeviceInfo>
#include <QAudioFormat>
#include <QAudioOutput>
#include <QIODevice>
#include <QSemaphore>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>

#include "av_clock.h"

namespace vistamo::media {

// The device side: a QAudioOutput in pull mode on the output's thread,
// reading from AudioOutput::pull.
class AudioSink : public QIODevice {
public:
    explicit AudioSink(AudioOutput* owner) : owner_(owner) {}

    bool start(const QAudioFormat& format) {
        bytesPerSecond_ = double(format.bytesForDuration(1000000));
        device_ = new QAudioOutput(QAudioDeviceInfo::defaultOutputDevice(), format, this);
        device_->setBufferSize(format.bytesForDuration(100000));  // 100 ms of device latency
        open(QIODevice::ReadOnly);
        device_->start(this);
        return device_->error() == QAudio::NoError && device_->state() != QAudio::StoppedState;
    }
    void stop() {
        if (device_)
            device_->stop();
        close();
        delete device_;
        device_ = nullptr;
    }
    void setSuspended(bool suspended) {
        if (!device_)
            return;
        if (suspended)
            device_->suspend();
        else
            device_->resume();
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        // What the device still holds goes out before this data.
        double buffered = 0;
        if (device_ && bytesPerSecond_ > 0)
            buffered = std::max(0, device_->bufferSize() - device_->bytesFree()) / bytesPerSecond_;
        return owner_->pull(data, maxSize, buffered);
    }
    qint64 writeData(const char*, qint64) override { return -1; }
    bool isSequential() const override { return true; }

private:
    AudioOutput* owner_;
    QAudioOutput* device_ = nullptr;
    double bytesPerSecond_ = 0;
};

AudioOutput::AudioOutput(QObject* parent) : QObject(parent) {
    thread_.setObjectName(QStringLiteral("vst-audio"));
    thread_.start();
}

AudioOutput::~AudioOutput() {
    close();
    thread_.quit();
    if (!thread_.wait(3000))
        qWarning("vst-audio: the sound thread did not end within 3 s");
}

bool AudioOutput::runOnOutputThread(const std::function<void()>& f, int timeoutMs) {
    // The semaphore outlives a call that times out: the thread may still
    // run it later.
    auto done = std::make_shared<QSemaphore>(0);
    QMetaObject::invokeMethod(sink_, [f, done] {
        f();
        done->release();
    }, Qt::QueuedConnection);
    return done->tryAcquire(1, timeoutMs);
}

void AudioOutput::setVolume(qreal volume) { volume_ = std::clamp<qreal>(volume, 0.0, 4.0); }

void AudioOutput::applyVolume(int16_t* samples, size_t count, float volume) {
    if (volume == 1.0f)
        return;
    for (size_t k = 0; k < count; ++k) {
        const float v = float(samples[k]) * volume;
        samples[k] = int16_t(std::clamp(v, -32768.0f, 32767.0f));
    }
}

bool AudioOutput::open(int sampleRate, int channels) {
    close();
    const QAudioDeviceInfo device = QAudioDeviceInfo::defaultOutputDevice();
    if (device.isNull())
        return false;
    QAudioFormat format;
    format.setSampleRate(sampleRate);
    format.setChannelCount(std::clamp(channels, 1, 2));
    format.setSampleSize(16);
    format.setSampleType(QAudioFormat::SignedInt);
    format.setByteOrder(QAudioFormat::LittleEndian);
    format.setCodec(QStringLiteral("audio/pcm"));
    if (!device.isFormatSupported(format))
        format = device.nearestFormat(format);
    if (format.sampleSize() != 16 || format.sampleType() != QAudioFormat::SignedInt ||
        format.byteOrder() != QAudioFormat::LittleEndian || format.channelCount() < 1 ||
        format.channelCount() > 2)
        return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sampleRate_ = format.sampleRate();
        channels_ = format.channelCount();
        ring_.assign(size_t(sampleRate_) * size_t(channels_) / 2, 0);  // half a second
        readIndex_ = filled_ = 0;
        ptsEnd_ = -1;
        paused_ = false;
        consumed_ = 0;
    }
    pulling_ = false;
    auto started = std::make_shared<std::atomic<bool>>(false);
    deviceLatency_ = 0.1;  // the buffer asked for, until the device says
    sink_ = new AudioSink(this);
    sink_->moveToThread(&thread_);
    AudioSink* sink = sink_;
    if (!runOnOutputThread([sink, format, started] { *started = sink->start(format); }, 3000)) {
        // The sound system did not answer: play on silently, and leave the
        // device to the thread that is stuck with it.
        qWarning("vst-audio: the sound device did not open within 3 s");
        sink_ = nullptr;
        return false;
    }
    if (!*started) {
        close();
        return false;
    }
    open_ = true;
    return true;
}

void AudioOutput::close() {
    open_ = false;
    wakeWriters();
    if (sink_) {
        AudioSink* sink = sink_;
        if (!runOnOutputThread([sink] {
                sink->stop();
                delete sink;
            }, 3000))
            qWarning("vst-audio: the sound device did not close within 3 s");
        sink_ = nullptr;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    filled_ = 0;
    ptsEnd_ = -1;
}

void AudioOutput::wakeWriters() {
    std::lock_guard<std::mutex> lock(mutex_);
    spaceFreed_.notify_all();
}

bool AudioOutput::write(const int16_t* samples, int frames, double ptsEnd, const std::atomic<bool>& abort) {
    std::unique_lock<std::mutex> lock(mutex_);
    size_t count = size_t(std::max(frames, 0)) * size_t(channels_);
    uint64_t lastConsumed = consumed_;
    auto lastProgress = std::chrono::steady_clock::now();
    while (count > 0) {
        if (abort || !open_)
            return false;
        const size_t space = ring_.size() - filled_;
        if (space == 0) {
            spaceFreed_.wait_for(lock, std::chrono::milliseconds(50));
            if (consumed_ != lastConsumed || paused_) {
                lastConsumed = consumed_;
                lastProgress = std::chrono::steady_clock::now();
            } else if (std::chrono::steady_clock::now() - lastProgress > std::chrono::seconds(2)) {
                return false;  // the device took nothing: treat it as gone
            }
            continue;
        }
        const size_t n = std::min(space, count);
        for (size_t k = 0; k < n; ++k)
            ring_[(readIndex_ + filled_ + k) % ring_.size()] = samples[k];
        filled_ += n;
        samples += n;
        count -= n;
    }
    ptsEnd_ = ptsEnd;
    return true;
}

qint64 AudioOutput::pull(char* data, qint64 maxSize, double deviceBuffered) {
    deviceLatency_ = deviceBuffered;
    pulling_ = true;
    // Sound the device asks for while nothing is queued is silence, so that
    // the device keeps running through gaps.
    const size_t want = size_t(std::max<qint64>(maxSize, 0)) / sizeof(int16_t);
    std::memset(data, 0, want * sizeof(int16_t));
    // The clock is read before the lock: its own lock is never taken inside ours.
    AVClock* clock = scheduleClock_.load();
    const double due = clock ? clock->runningValue() + latency() : 0;
    std::lock_guard<std::mutex> lock(mutex_);
    if (paused_ || ring_.empty() || channels_ <= 0)
        return qint64(want * sizeof(int16_t));
    auto* out = reinterpret_cast<int16_t*>(data);
    size_t skip = 0;  // samples of silence before the sound
    if (clock) {
        if (std::isnan(due))
            return qint64(want * sizeof(int16_t));  // the picture has not started, or is paused
        const double rate = double(sampleRate_) * channels_;
        if (filled_ > 0 && ptsEnd_ >= 0) {
            const double head = ptsEnd_ - double(filled_) / rate;  // pts of the next sample
            const double early = head - due;
            if (early < -kScheduleTolerance) {
                // Late: drop what should already have been heard.
                const size_t drop = std::min(filled_, size_t(std::llround(-early * sampleRate_)) * size_t(channels_));
                readIndex_ = (readIndex_ + drop) % ring_.size();
                filled_ -= drop;
                consumed_ += drop;
                spaceFreed_.notify_all();
            } else if (early > kScheduleTolerance) {
                skip = std::min(want, size_t(std::llround(early * sampleRate_)) * size_t(channels_));
            }
        }
    }
    const size_t n = std::min(want - skip, filled_);
    for (size_t k = 0; k < n; ++k)
        out[skip + k] = ring_[(readIndex_ + k) % ring_.size()];
    applyVolume(out + skip, n, float(volume_.load()));
    readIndex_ = (readIndex_ + n) % ring_.size();
    filled_ -= n;
    consumed_ += n;
    spaceFreed_.notify_all();
    return qint64(want * sizeof(int16_t));
}

void AudioOutput::flush() {
    std::lock_guard<std::mutex> lock(mutex_);
    filled_ = 0;
    ptsEnd_ = -1;
    spaceFreed_.notify_all();
}

void AudioOutput::setPaused(bool paused) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        paused_ = paused;
        spaceFreed_.notify_all();
    }
    if (AudioSink* sink = sink_)
        QMetaObject::invokeMethod(sink, [sink, paused] { sink->setSuspended(paused); }, Qt::QueuedConnection);
}

double AudioOutput::playedPts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_ || ptsEnd_ < 0 || sampleRate_ <= 0 || channels_ <= 0)
        return -1;
    return ptsEnd_ - double(filled_) / (double(sampleRate_) * channels_) - latency();
}

}  // namespace vistamo::media
