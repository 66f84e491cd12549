// An opened medium: the demuxer and the decoders of its first video and
// first audio stream. Used by the player's threads; not thread-safe itself.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariantHash>

#include <atomic>
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace vistamo::media {

// One stream's decoder.
class StreamDecoder {
public:
    ~StreamDecoder();

    // Opens the decoder of stream. For video, priority names the decoders to
    // try in order: "CUDA" (CUDA, then VA-API hardware decoding where a
    // device exists), "VAAPI", "FFmpeg" (software). options holds, per name,
    // codec options such as {"FFmpeg": {"threads": "2"}}; unknown options
    // are ignored, and so is "skip_frame": every frame is decoded (frames
    // are dropped only when they are late at presentation, and counted).
    static std::unique_ptr<StreamDecoder> open(AVStream* stream, const QStringList& priority,
                                               const QVariantHash& options, QString* error);

    AVCodecContext* context() const { return context_; }
    bool isHardware() const { return hwDevice_ != nullptr; }
    // The software frame of a decoded frame (a copy out of the device for
    // hardware frames); false when it cannot be had.
    bool toSoftware(AVFrame* frame, AVFrame* software) const;
    QString name() const { return name_; }

private:
    AVCodecContext* context_ = nullptr;
    AVBufferRef* hwDevice_ = nullptr;
    QString name_;
};

// Bytes of a medium from somewhere other than a local file (a host's
// stream; tests). read() may block, but returns within timeoutMs: 0 when
// nothing arrived yet (the player asks again unless it is stopping), −1
// at the end.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual int read(uint8_t* data, int size, int timeoutMs) = 0;
};

class MediaSource {
public:
    ~MediaSource();

    // Opens path as a local file; null with a reason on failure.
    static std::unique_ptr<MediaSource> open(const QString& path, QString* error);
    // Opens a stream of bytes (not seekable); name is for messages only.
    static std::unique_ptr<MediaSource> open(std::unique_ptr<ByteSource> bytes, QString* error);

    // Any thread: makes every blocking read return at once from now on
    // (FFmpeg's interrupt callback, and the reads of a ByteSource).
    void abort() { aborted_ = true; }
    bool aborted() const { return aborted_.load(); }

    AVFormatContext* format() const { return format_; }
    int videoIndex() const { return videoIndex_; }
    int audioIndex() const { return audioIndex_; }
    AVStream* videoStream() const { return videoIndex_ >= 0 ? format_->streams[videoIndex_] : nullptr; }
    AVStream* audioStream() const { return audioIndex_ >= 0 ? format_->streams[audioIndex_] : nullptr; }
    // Seconds; 0 when unknown.
    double duration() const { return duration_; }
    // The container's start time in seconds: timestamps are reported from it.
    double startTime() const { return startTime_; }
    // A one-picture medium (a JPEG still).
    bool isStill() const { return still_; }

private:
    bool finishOpen(const std::string* localPath, QString* error);
    static int readBytes(void* opaque, uint8_t* data, int size);
    static int interrupted(void* opaque);

    AVFormatContext* format_ = nullptr;
    std::unique_ptr<ByteSource> bytes_;  // read by the demux thread
    AVIOContext* io_ = nullptr;          // over bytes_
    std::atomic<bool> aborted_{false};
    // While opening (on the caller's thread): when the open gives up on a
    // stream that sends nothing (steady clock, ms; 0 once open).
    std::atomic<qint64> openDeadlineMs_{0};
    bool openTimedOut() const;
    int videoIndex_ = -1;
    int audioIndex_ = -1;
    double duration_ = 0;
    double startTime_ = 0;
    bool still_ = false;
};

}  // namespace vistamo::media
