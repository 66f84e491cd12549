#include "audio_output.h"

#include <QAudioDeviceInfo>
#include <QAudioFormat>
#include <QAudioOutput>
#include <QIODevice>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace vistamo::media {

// The device side: a QAudioOutput in pull mode on the output's thread,
// reading from AudioOutput::pull.
class AudioSink : public QIODevice {
public:
    explicit AudioSink(AudioOutput* owner) : owner_(owner) {}

    bool start(const QAudioFormat& format) {
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
    qint64 readData(char* data, qint64 maxSize) override { return owner_->pull(data, maxSize); }
    qint64 writeData(const char*, qint64) override { return -1; }
    bool isSequential() const override { return true; }

private:
    AudioOutput* owner_;
    QAudioOutput* device_ = nullptr;
};

AudioOutput::AudioOutput(QObject* parent) : QObject(parent) {
    thread_.setObjectName(QStringLiteral("vst-audio"));
    thread_.start();
}

AudioOutput::~AudioOutput() {
    close();
    thread_.quit();
    thread_.wait();
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
    bool started = false;
    sink_ = new AudioSink(this);
    sink_->moveToThread(&thread_);
    QMetaObject::invokeMethod(sink_, [&] { started = sink_->start(format); }, Qt::BlockingQueuedConnection);
    if (!started) {
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
        QMetaObject::invokeMethod(sink, [sink] {
            sink->stop();
            delete sink;
        }, Qt::BlockingQueuedConnection);
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
    size_t count = size_t(std::max(frames, 0)) * size_t(channels_);
    std::unique_lock<std::mutex> lock(mutex_);
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

qint64 AudioOutput::pull(char* data, qint64 maxSize) {
    // Sound the device asks for while nothing is queued is silence, so that
    // the device keeps running through gaps.
    const size_t want = size_t(std::max<qint64>(maxSize, 0)) / sizeof(int16_t);
    std::memset(data, 0, want * sizeof(int16_t));
    std::lock_guard<std::mutex> lock(mutex_);
    if (paused_ || ring_.empty())
        return qint64(want * sizeof(int16_t));
    const size_t n = std::min(want, filled_);
    auto* out = reinterpret_cast<int16_t*>(data);
    for (size_t k = 0; k < n; ++k)
        out[k] = ring_[(readIndex_ + k) % ring_.size()];
    applyVolume(out, n, float(volume_.load()));
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
    return ptsEnd_ - double(filled_) / (double(sampleRate_) * channels_);
}

}  // namespace vistamo::media
