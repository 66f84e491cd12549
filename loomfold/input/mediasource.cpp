#include "mediasource.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include "audio_resampler.h"

#include "engine_log.h"

namespace loomfold {

namespace {

bool isClosing(mediasource* source) {
    std::lock_guard<std::mutex> lock(source->mutex);
    return source->closing;
}

// Speaker layout code for a channel count (0: none fits).
int speakersOf(int channels) {
    for (int speakers = 1; speakers <= 10; ++speakers)
        if (channelsOf(speakers) == channels)
            return speakers;
    return 0;
}

uint64_t nanoseconds(double seconds) { return seconds > 0 ? uint64_t(seconds * 1e9) : 0; }

void fillTimes(const ff_frame& f, uint64_t& timestamp, int64_t& index, int64_t& seconds, int64_t& dts) {
    timestamp = nanoseconds(f.pts);
    index = f.index;
    dts = f.dts_us;
    seconds = f.dts_us / 1000 / 1000;
}

// How the frame's samples are coded, from its own tags.
vistamo::colour::ColourRule colourOf(const mediasource* source, const AVFrame* frame) {
    vistamo::colour::ColourTags tags;
    tags.matrix = frame->colorspace;
    tags.range = frame->color_range;
    tags.height = frame->height;
    tags.jpeg = source->jpeg;
    const auto format = AVPixelFormat(frame->format);
    tags.fullRangeFormat = format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P ||
                           format == AV_PIX_FMT_YUVJ444P || format == AV_PIX_FMT_YUVJ440P ||
                           format == AV_PIX_FMT_YUVJ411P;
    return vistamo::colour::resolveColourRule(tags);
}

// Points the record at a planar YUV 4:2:0 picture whose rows are exactly as
// wide as the picture: the frame's own planes, or the frame copied or
// converted into the source's buffer.
bool toPlanar420(mediasource* source, const AVFrame* frame, stitch_frame& out) {
    const auto format = AVPixelFormat(frame->format);
    out.width = frame->width;
    out.height = frame->height;
    const int chromaWidth = (frame->width + 1) / 2;
    const bool planar420 = format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P;
    if (planar420 && frame->linesize[0] == frame->width && frame->linesize[1] == chromaWidth &&
        frame->linesize[2] == chromaWidth) {
        for (int p = 0; p < 3; ++p) {
            out.data[p] = frame->data[p];
            out.linesize[p] = frame->linesize[p];
        }
        return true;
    }
    // Otherwise the picture goes into the source's tightly packed buffer:
    // rows padded past the picture would show as picture to the lens search
    // and the one-lens mapping.
    const int size = av_image_get_buffer_size(AV_PIX_FMT_YUV420P, frame->width, frame->height, 1);
    if (size <= 0)
        return false;
    source->buffer.resize(size_t(size));
    uint8_t* planes[4];
    int strides[4];
    av_image_fill_arrays(planes, strides, source->buffer.data(), AV_PIX_FMT_YUV420P, frame->width, frame->height, 1);
    if (planar420) {
        av_image_copy(planes, strides, const_cast<const uint8_t**>(frame->data), frame->linesize,
                      AV_PIX_FMT_YUV420P, frame->width, frame->height);
    } else {
        source->scaler = sws_getCachedContext(source->scaler, frame->width, frame->height, format, frame->width,
                                              frame->height, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr,
                                              nullptr);
        if (!source->scaler)
            return false;
        // YUV stays in the samples' own matrix and range; RGB is coded by
        // the rule the record will carry.
        const int* table = sws_getCoefficients(vistamo::colour::h273Matrix(out.colour.matrix));
        const int full = out.colour.range == vistamo::colour::YuvRange::Full ? 1 : 0;
        sws_setColorspaceDetails(source->scaler, table, full, table, full, 0, 1 << 16, 1 << 16);
        sws_scale(source->scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
    }
    for (int p = 0; p < 3; ++p) {
        out.data[p] = planes[p];
        out.linesize[p] = strides[p];
    }
    return true;
}

void onVideoFrame(mediasource* source, ff_frame* frame) {
    if (isClosing(source) || !source->video_hook)
        return;
    if (!frame) {
        source->video_hook(nullptr);
        return;
    }
    stitch_frame out{};
    out.colour = colourOf(source, frame->frame.get());
    if (!toPlanar420(source, frame->frame.get(), out)) {
        LF_LOG(kLogError, "cannot convert a %dx%d picture of format %d", frame->frame->width,
               frame->frame->height, frame->frame->format);
        return;
    }
    fillTimes(*frame, out.timestamp, out.index, out.seconds, out.decoding_time);
    source->video_hook(&out);
}

void onAudioFrame(mediasource* source, ff_frame* frame) {
    if (isClosing(source) || !source->audio_hook)
        return;
    if (!frame) {
        source->audio_hook(nullptr);
        return;
    }
    const AVFrame* f = frame->frame.get();
    stitch_audio out{};
    const int planes = av_sample_fmt_is_planar(AVSampleFormat(f->format)) ? f->ch_layout.nb_channels : 1;
    for (int p = 0; p < planes && p < 8; ++p)
        out.data[p] = f->extended_data[p];
    out.frames = uint32_t(f->nb_samples);
    out.speakers = speakersOf(f->ch_layout.nb_channels);
    out.format = audioFormatFromAV(AVSampleFormat(f->format));
    out.samples_per_sec = uint32_t(f->sample_rate);
    fillTimes(*frame, out.timestamp, out.index, out.seconds, out.decoding_time);
    source->audio_hook(&out);
}

}  // namespace

media_info mediasource_open(mediasource* source) {
    media_info info;
    source->problem.clear();
    source->demuxer.reset();
    {
        std::lock_guard<std::mutex> lock(source->mutex);
        source->closing = false;
    }
    ff_demuxer_options options;
    options.paced = source->paced;
    source->demuxer = std::make_unique<ff_demuxer>(options);
    source->demuxer->set_video_hook([source](ff_frame* f) { onVideoFrame(source, f); });
    source->demuxer->set_audio_hook([source](ff_frame* f) { onAudioFrame(source, f); });
    if (!source->demuxer->open(source->path, "")) {
        LF_LOG(kLogError, "ff_demuxer_open fail %s", source->path.c_str());
        source->problem = "it is not a media file that can be read (cut short, damaged or empty)";
        source->demuxer.reset();
        return info;
    }
    const AVStream* video = source->demuxer->video_stream();
    if (!video) {
        // Nothing to stitch: a file without a video stream, or one whose
        // video cannot be decoded.
        source->problem = "it has no video stream that can be decoded";
        source->demuxer.reset();
        return info;
    }
    const AVFormatContext* format = source->demuxer->format_context();
    info.width = video->codecpar->width;
    info.height = video->codecpar->height;
    info.duration = format->duration == AV_NOPTS_VALUE ? 0 : format->duration;
    info.frame_rate = video->avg_frame_rate.num > 0 ? video->avg_frame_rate : video->r_frame_rate;
    info.video_bitrate = video->codecpar->bit_rate;
    source->jpeg = video->codecpar->codec_id == AV_CODEC_ID_MJPEG;
    vistamo::colour::ColourTags tags;
    tags.matrix = video->codecpar->color_space;
    tags.range = video->codecpar->color_range;
    tags.height = info.height;
    tags.jpeg = source->jpeg;
    tags.fullRangeFormat = video->codecpar->format == AV_PIX_FMT_YUVJ420P;
    info.colour = vistamo::colour::resolveColourRule(tags);
    info.color_primaries = video->codecpar->color_primaries;
    info.color_trc = video->codecpar->color_trc;
    if (const AVStream* audio = source->demuxer->audio_stream()) {
        info.has_audio = true;
        info.audio_sample_rate = audio->codecpar->sample_rate;
        info.audio_channels = audio->codecpar->ch_layout.nb_channels;
    }
    const AVDictionaryEntry* entry = nullptr;
    bool found = false;
    while ((entry = av_dict_get(format->metadata, "", entry, AV_DICT_IGNORE_SUFFIX))) {
        LF_LOG(kLogDebug, "key %s value %s", entry->key, entry->value);
        if (std::string(entry->key) == "original_format") {
            source->format_text = entry->value;
            found = true;
        }
    }
    if (found)
        info.format_text = source->format_text.c_str();
    return info;
}

bool mediasource_start(mediasource* source) { return source->demuxer && source->demuxer->start(); }

void mediasource_close(mediasource* source) {
    {
        std::lock_guard<std::mutex> lock(source->mutex);
        if (source->closing)
            return;
        source->closing = true;
    }
    LF_LOG(kLogInfo, "mediasource_close start");
    source->demuxer.reset();
    LF_LOG(kLogInfo, "ff_demuxer_free end");
    sws_freeContext(source->scaler);
    source->scaler = nullptr;
    LF_LOG(kLogInfo, "sws_freeContext end");
    source->buffer.clear();
    LF_LOG(kLogInfo, "mediasource_close end");
}

}  // namespace loomfold
