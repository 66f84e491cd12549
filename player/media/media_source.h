// An opened medium: the demuxer and the decoders of its first video and
// first audio stream. Used by the player's threads; not thread-safe itself.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariantHash>

#include <atomic>
#include <memory>

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
    // codec options such as {"FFmpeg": {"skip_frame": "NoRef"}}; unknown
    // options are ignored.
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

class MediaSource {
public:
    ~MediaSource();

    // Opens path as a local file; null with a reason on failure. abort
    // interrupts blocking reads.
    static std::unique_ptr<MediaSource> open(const QString& path, const std::atomic<bool>* abort,
                                             QString* error);

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
    AVFormatContext* format_ = nullptr;
    int videoIndex_ = -1;
    int audioIndex_ = -1;
    double duration_ = 0;
    double startTime_ = 0;
    bool still_ = false;
};

}  // namespace vistamo::media
