#include "media_source.h"

#include "file_guard.h"
#include "local_media.h"

#include <QFileInfo>

extern "C" {
#include <libavutil/hwcontext.h>
#include <libavutil/opt.h>
}

#include <chrono>
#include <cstring>

namespace vistamo::media {
namespace {

QString avErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

// The hardware pixel format chosen at open, kept in the context's opaque.
AVPixelFormat pickHardwareFormat(AVCodecContext* context, const AVPixelFormat* formats) {
    const auto wanted = AVPixelFormat(reinterpret_cast<intptr_t>(context->opaque));
    for (const AVPixelFormat* f = formats; *f != AV_PIX_FMT_NONE; ++f)
        if (*f == wanted)
            return *f;
    return formats[0];  // the decoder's software choice
}

// Codec options of one decoder name, as FFmpeg option strings. Values of
// FFmpeg's named constants are matched without regard to letter case.
void applyOptions(AVCodecContext* context, const QVariant& options) {
    const QVariantHash hash = options.toHash();
    for (auto it = hash.begin(); it != hash.end(); ++it) {
        if (it.key().compare(QLatin1String("skip_frame"), Qt::CaseInsensitive) == 0)
            continue;  // a player shows every frame it can
        const QByteArray key = it.key().toUtf8();
        const QByteArray value = it.value().toString().toUtf8();
        if (av_opt_set(context, key.constData(), value.constData(), AV_OPT_SEARCH_CHILDREN) < 0)
            av_opt_set(context, key.constData(), value.toLower().constData(), AV_OPT_SEARCH_CHILDREN);
    }
}

}  // namespace

StreamDecoder::~StreamDecoder() {
    avcodec_free_context(&context_);
    av_buffer_unref(&hwDevice_);
}

std::unique_ptr<StreamDecoder> StreamDecoder::open(AVStream* stream, const QStringList& priority,
                                                   const QVariantHash& options, QString* error) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) {
        *error = QStringLiteral("no decoder for %1").arg(QString::fromUtf8(avcodec_get_name(stream->codecpar->codec_id)));
        return nullptr;
    }
    const bool video = stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    QStringList order = video ? priority : QStringList();
    if (!order.contains(QStringLiteral("FFmpeg")))
        order << QStringLiteral("FFmpeg");  // software decoding is the last resort

    for (const QString& name : order) {
        std::vector<AVHWDeviceType> devices;
        if (name == QLatin1String("CUDA"))
            devices = {AV_HWDEVICE_TYPE_CUDA, AV_HWDEVICE_TYPE_VAAPI};
        else if (name == QLatin1String("VAAPI"))
            devices = {AV_HWDEVICE_TYPE_VAAPI};
        else if (name != QLatin1String("FFmpeg"))
            continue;
        if (devices.empty())
            devices = {AV_HWDEVICE_TYPE_NONE};
        for (AVHWDeviceType type : devices) {
            auto decoder = std::make_unique<StreamDecoder>();
            decoder->context_ = avcodec_alloc_context3(codec);
            if (!decoder->context_ || avcodec_parameters_to_context(decoder->context_, stream->codecpar) < 0)
                continue;
            decoder->context_->pkt_timebase = stream->time_base;
            decoder->context_->thread_count = 0;  // one per core
            if (type != AV_HWDEVICE_TYPE_NONE) {
                AVPixelFormat hwFormat = AV_PIX_FMT_NONE;
                for (int i = 0;; ++i) {
                    const AVCodecHWConfig* config = avcodec_get_hw_config(codec, i);
                    if (!config)
                        break;
                    if ((config->methods & AV_CODEC_HW_CONFIG_METHOD_HW_DEVICE_CTX) && config->device_type == type) {
                        hwFormat = config->pix_fmt;
                        break;
                    }
                }
                if (hwFormat == AV_PIX_FMT_NONE || av_hwdevice_ctx_create(&decoder->hwDevice_, type, nullptr, nullptr, 0) < 0)
                    continue;
                decoder->context_->hw_device_ctx = av_buffer_ref(decoder->hwDevice_);
                decoder->context_->opaque = reinterpret_cast<void*>(intptr_t(hwFormat));
                decoder->context_->get_format = pickHardwareFormat;
            }
            applyOptions(decoder->context_, options.value(name));
            const int rc = avcodec_open2(decoder->context_, codec, nullptr);
            if (rc < 0) {
                *error = QStringLiteral("cannot open the %1 decoder: %2")
                             .arg(QString::fromUtf8(codec->name), avErrorText(rc));
                continue;
            }
            decoder->name_ = type == AV_HWDEVICE_TYPE_NONE ? name
                                                           : QString::fromUtf8(av_hwdevice_get_type_name(type));
            return decoder;
        }
    }
    return nullptr;
}

bool StreamDecoder::toSoftware(AVFrame* frame, AVFrame* software) const {
    if (!frame->hw_frames_ctx)
        return av_frame_ref(software, frame) >= 0;
    if (av_hwframe_transfer_data(software, frame, 0) < 0)
        return false;
    av_frame_copy_props(software, frame);
    return true;
}

MediaSource::~MediaSource() {
    avformat_close_input(&format_);
    if (io_) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
}

namespace {
// How long opening may wait for a stream's first bytes or its stream
// headers: the open runs on the caller's thread, a window's.
constexpr qint64 kOpenStallMs = 5000;

QString stallMessage() { return QStringLiteral("the stream sent nothing usable for %1 s").arg(kOpenStallMs / 1000); }

qint64 steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

bool MediaSource::openTimedOut() const {
    const qint64 deadline = openDeadlineMs_.load();
    return deadline > 0 && steadyMs() > deadline;
}

int MediaSource::interrupted(void* opaque) {
    const auto* self = static_cast<MediaSource*>(opaque);
    return self->aborted() || self->openTimedOut() ? 1 : 0;
}

int MediaSource::readBytes(void* opaque, uint8_t* data, int size) {
    auto* self = static_cast<MediaSource*>(opaque);
    // A source that has nothing yet is asked again until it has, ends, or
    // the player stops.
    while (!self->aborted()) {
        if (self->openTimedOut())
            return AVERROR(ETIMEDOUT);
        const int n = self->bytes_->read(data, size, 50);
        if (n > 0)
            return n;
        if (n < 0)
            return AVERROR_EOF;
    }
    return AVERROR_EXIT;
}

std::unique_ptr<MediaSource> MediaSource::open(const QString& path, QString* error) {
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = QStringLiteral("no such file");
        return nullptr;
    }
    // A FIFO or a device would block the demuxer: refused by type first.
    const std::string problem = vistamo::files::inputProblem(QFile::encodeName(path).toStdString());
    if (!problem.empty()) {
        *error = QString::fromStdString(problem);
        return nullptr;
    }
    if (info.size() == 0) {
        *error = QStringLiteral("the file is empty");
        return nullptr;
    }
    auto source = std::unique_ptr<MediaSource>(new MediaSource);
    const std::string local = QFile::encodeName(path).toStdString();
    if (!source->finishOpen(&local, error))
        return nullptr;
    return source;
}

std::unique_ptr<MediaSource> MediaSource::open(std::unique_ptr<ByteSource> bytes, QString* error) {
    auto source = std::unique_ptr<MediaSource>(new MediaSource);
    source->bytes_ = std::move(bytes);
    constexpr int kBlock = 64 * 1024;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBlock));
    source->io_ = buffer ? avio_alloc_context(buffer, kBlock, 0, source.get(), &MediaSource::readBytes, nullptr,
                                              nullptr)
                         : nullptr;
    if (!source->io_) {
        av_free(buffer);
        *error = QStringLiteral("not enough memory");
        return nullptr;
    }
    source->io_->seekable = 0;
    if (!source->finishOpen(nullptr, error))
        return nullptr;
    return source;
}

bool MediaSource::finishOpen(const std::string* localPath, QString* error) {
    format_ = avformat_alloc_context();
    if (!format_) {
        *error = QStringLiteral("not enough memory");
        return false;
    }
    format_->interrupt_callback.callback = &MediaSource::interrupted;
    format_->interrupt_callback.opaque = this;
    if (io_) {
        format_->pb = io_;
        format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    // Local files answer at once; a stream that stalls must not hold the caller.
    if (io_)
        openDeadlineMs_ = steadyMs() + kOpenStallMs;
    // A path goes through the one local-file opener; bytes have their own reader.
    int rc = localPath ? vistamo::media::openLocalMedia(&format_, *localPath, nullptr, &options)
                       : avformat_open_input(&format_, "", nullptr, &options);
    av_dict_free(&options);
    if (rc < 0) {
        *error = openTimedOut() ? stallMessage() : QStringLiteral("not a media file (%1)").arg(avErrorText(rc));
        return false;
    }
    rc = avformat_find_stream_info(format_, nullptr);
    const bool timedOut = openTimedOut();
    openDeadlineMs_ = 0;
    if (rc < 0) {
        *error = timedOut ? stallMessage() : QStringLiteral("cannot read the streams (%1)").arg(avErrorText(rc));
        return false;
    }
    videoIndex_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    audioIndex_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (videoIndex_ < 0) videoIndex_ = -1;
    if (audioIndex_ < 0) audioIndex_ = -1;
    if (videoIndex_ < 0 && audioIndex_ < 0) {
        *error = QStringLiteral("no video or audio stream");
        return false;
    }
    AVFormatContext* f = format_;
    if (f->start_time != AV_NOPTS_VALUE)
        startTime_ = double(f->start_time) / AV_TIME_BASE;
    if (f->duration != AV_NOPTS_VALUE && f->duration > 0)
        duration_ = double(f->duration) / AV_TIME_BASE;
    const char* demuxer = f->iformat ? f->iformat->name : "";
    const AVStream* v = videoStream();
    still_ = v && audioIndex_ < 0 &&
             (std::strcmp(demuxer, "image2") == 0 || std::strstr(demuxer, "_pipe") != nullptr ||
              (v->disposition & AV_DISPOSITION_ATTACHED_PIC));
    return true;
}

}  // namespace vistamo::media
