#include "media_source.h"

#include "file_guard.h"

#include <QFileInfo>

extern "C" {
#include <libavutil/hwcontext.h>
#include <libavutil/opt.h>
}

#include <cstring>

namespace vistamo::media {
namespace {

QString avErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

int interruptCallback(void* opaque) {
    const auto* abort = static_cast<const std::atomic<bool>*>(opaque);
    return abort && abort->load() ? 1 : 0;
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

MediaSource::~MediaSource() { avformat_close_input(&format_); }

std::unique_ptr<MediaSource> MediaSource::open(const QString& path, const std::atomic<bool>* abort, QString* error) {
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
    auto source = std::make_unique<MediaSource>();
    source->format_ = avformat_alloc_context();
    source->format_->interrupt_callback.callback = interruptCallback;
    source->format_->interrupt_callback.opaque = const_cast<std::atomic<bool>*>(abort);
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const QByteArray url = "file:" + QFile::encodeName(path);
    int rc = avformat_open_input(&source->format_, url.constData(), nullptr, &options);
    av_dict_free(&options);
    if (rc < 0) {
        *error = QStringLiteral("not a media file (%1)").arg(avErrorText(rc));
        return nullptr;
    }
    rc = avformat_find_stream_info(source->format_, nullptr);
    if (rc < 0) {
        *error = QStringLiteral("cannot read the streams (%1)").arg(avErrorText(rc));
        return nullptr;
    }
    source->videoIndex_ = av_find_best_stream(source->format_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    source->audioIndex_ = av_find_best_stream(source->format_, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (source->videoIndex_ < 0) source->videoIndex_ = -1;
    if (source->audioIndex_ < 0) source->audioIndex_ = -1;
    if (source->videoIndex_ < 0 && source->audioIndex_ < 0) {
        *error = QStringLiteral("no video or audio stream");
        return nullptr;
    }
    AVFormatContext* f = source->format_;
    if (f->start_time != AV_NOPTS_VALUE)
        source->startTime_ = double(f->start_time) / AV_TIME_BASE;
    if (f->duration != AV_NOPTS_VALUE && f->duration > 0)
        source->duration_ = double(f->duration) / AV_TIME_BASE;
    const char* demuxer = f->iformat ? f->iformat->name : "";
    const AVStream* v = source->videoStream();
    source->still_ = v && source->audioIndex_ < 0 &&
                     (std::strcmp(demuxer, "image2") == 0 || std::strstr(demuxer, "_pipe") != nullptr ||
                      (v->disposition & AV_DISPOSITION_ATTACHED_PIC));
    return source;
}

}  // namespace vistamo::media
