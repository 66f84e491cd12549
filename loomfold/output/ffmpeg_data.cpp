#include "ffmpeg_data.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/avstring.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine_log.h"

namespace loomfold {

namespace {

std::string errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(code, text, sizeof text);
    return text;
}

const char* orNull(const std::string& s) { return s.empty() ? "(NULL)" : s.c_str(); }

// Records the first failure; the job ends with it. write_mutex held.
void noteFailure(ffmpeg_data* data, const std::string& reason) {
    if (data->failure.empty())
        data->failure = reason;
}

// Writes every packet the encoder has ready; false after a write failure.
// Returns the number of packets through `written`.
bool writePackets(ffmpeg_data* data, AVCodecContext* ctx, AVStream* stream, int* written, bool logDelayed) {
    AVPacket* packet = av_packet_alloc();
    if (!packet)
        return false;
    bool ok = true;
    for (;;) {
        const int rc = avcodec_receive_packet(ctx, packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            break;
        if (rc < 0) {
            LF_LOG(kLogError, "error encoding frame");
            break;
        }
        if (logDelayed)
            LF_LOG(kLogDebug, "output delayed frame %3d (size=%5d)",
                   int(data->total_frames + (written ? *written : 0) - data->delayed_frames), packet->size);
        av_packet_rescale_ts(packet, ctx->time_base, stream->time_base);
        packet->stream_index = stream->index;
        std::lock_guard<std::mutex> lock(data->write_mutex);
        const int wrote = av_interleaved_write_frame(data->output, packet);
        if (wrote < 0) {
            LF_LOG(kLogWarn, "send: Error writing packet:  %s", errorText(wrote).c_str());
            noteFailure(data, "cannot write " + data->config.url + ": " + errorText(wrote));
            ok = false;
            break;
        }
        if (written)
            ++*written;
    }
    av_packet_free(&packet);
    return ok;
}

// A new stream with an encoder context for the codec id; null after
// logging when there is no such encoder or no memory.
const AVCodec* newStream(ffmpeg_data* data, AVCodecID id, AVStream*& stream, AVCodecContext*& ctx) {
    const AVCodec* codec = avcodec_find_encoder(id);
    if (!codec) {
        LF_LOG(kLogWarn, "Couldn't find encoder '%s'", avcodec_get_name(id));
        return nullptr;
    }
    stream = avformat_new_stream(data->output, nullptr);
    ctx = avcodec_alloc_context3(codec);
    if (!stream || !ctx) {
        LF_LOG(kLogWarn, "Couldn't create stream for encoder '%s'", codec->name);
        return nullptr;
    }
    stream->id = int(data->output->nb_streams) - 1;
    return codec;
}

bool openVideo(ffmpeg_data* data) {
    const ffmpeg_cfg& c = data->config;
    const bool hevc = c.video_codec == VideoCodec::Hevc;
    const AVCodec* codec = newStream(data, hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264, data->video, data->video_ctx);
    if (!codec) {
        noteFailure(data, std::string("no ") + (hevc ? "HEVC" : "H.264") + " encoder is installed");
        return false;
    }
    AVCodecContext* ctx = data->video_ctx;
    ctx->bit_rate = int64_t(c.video_bitrate) * 1000;
    ctx->width = c.width;
    ctx->height = c.height;
    ctx->time_base = av_inv_q(c.frame_rate);
    ctx->framerate = c.frame_rate;
    ctx->gop_size = 120;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    // The tags say what the pictures hold: the rule they were coded by,
    // and the source's primaries and transfer, which the stitch keeps.
    ctx->colorspace = AVColorSpace(vistamo::colour::h273Matrix(c.colour.matrix));
    ctx->color_range = AVColorRange(vistamo::colour::avRange(c.colour.range));
    ctx->color_primaries = AVColorPrimaries(c.color_primaries);
    ctx->color_trc = AVColorTransferCharacteristic(c.color_trc);
    ctx->thread_count = 0;
    if (data->output->oformat->flags & AVFMT_GLOBALHEADER)
        ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    data->video->time_base = ctx->time_base;
    data->video->avg_frame_rate = c.frame_rate;
    if (std::strcmp(codec->name, "libx264") == 0)
        av_opt_set(ctx->priv_data, "preset", "veryfast", 0);
    if (std::strcmp(codec->name, "libx265") == 0) {
        // Main profile (8-bit 4:2:0, as pix_fmt says); x265 prints its own
        // banner and statistics on stderr unless told otherwise.
        av_opt_set(ctx->priv_data, "preset", "veryfast", 0);
        av_opt_set(ctx->priv_data, "x265-params", "log-level=error", 0);
        ctx->profile = FF_PROFILE_HEVC_MAIN;
    }
    int rc = avcodec_open2(ctx, codec, nullptr);
    if (rc < 0) {
        LF_LOG(kLogWarn, "Failed to open video codec: %s", errorText(rc).c_str());
        return false;
    }
    if (avcodec_parameters_from_context(data->video->codecpar, ctx) < 0)
        return false;
    // "hvc1" (parameter sets in the sample entry only) is the HEVC tag that
    // every platform's player takes; the muxer's default "hev1" is not.
    if (hevc)
        data->video->codecpar->codec_tag = MKTAG('h', 'v', 'c', '1');
    data->vframe = av_frame_alloc();
    if (!data->vframe) {
        LF_LOG(kLogWarn, "Failed to allocate video frame");
        return false;
    }
    data->vframe->format = ctx->pix_fmt;
    data->vframe->width = ctx->width;
    data->vframe->height = ctx->height;
    data->vframe->colorspace = ctx->colorspace;
    data->vframe->color_range = ctx->color_range;
    rc = av_frame_get_buffer(data->vframe, 0);
    if (rc < 0) {
        LF_LOG(kLogWarn, "Failed to allocate dst_picture: %s", errorText(rc).c_str());
        return false;
    }
    // RGB in, YUV by the configured rule out: the conversion matches the
    // tags the stream carries.
    data->swscale = sws_getContext(c.scale_width, c.scale_height, AV_PIX_FMT_RGBA, c.width, c.height,
                                   AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!data->swscale) {
        LF_LOG(kLogWarn, "Could not initialize swscale");
        return false;
    }
    const int* table = sws_getCoefficients(vistamo::colour::h273Matrix(c.colour.matrix));
    const int full = c.colour.range == vistamo::colour::YuvRange::Full ? 1 : 0;
    sws_setColorspaceDetails(data->swscale, table, 1, table, full, 0, 1 << 16, 1 << 16);
    return true;
}

bool openAudio(ffmpeg_data* data) {
    const ffmpeg_cfg& c = data->config;
    const AVCodec* codec = newStream(data, AV_CODEC_ID_AAC, data->audio, data->audio_ctx);
    if (!codec)
        return false;
    AVCodecContext* ctx = data->audio_ctx;
    ctx->bit_rate = int64_t(c.audio_bitrate) * 1000;
    ctx->time_base = AVRational{1, c.audio_sample_rate};
    ctx->sample_rate = c.audio_sample_rate;
    av_channel_layout_default(&ctx->ch_layout, c.audio_channels);
    // The samples arrive as float planar; an encoder must take that.
    ctx->sample_fmt = AV_SAMPLE_FMT_FLTP;
    if (codec->sample_fmts) {
        bool found = false;
        for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
            found = found || *f == AV_SAMPLE_FMT_FLTP;
        if (!found) {
            LF_LOG(kLogWarn, "Failed to open audio codec: %s", "no float planar input");
            return false;
        }
    }
    if (data->output->oformat->flags & AVFMT_GLOBALHEADER)
        ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    data->audio->time_base = ctx->time_base;
    data->audio_planes = c.audio_channels;
    data->audio_size = int(sizeof(float));
    data->aframe = av_frame_alloc();
    if (!data->aframe) {
        LF_LOG(kLogWarn, "Failed to allocate audio frame");
        return false;
    }
    ctx->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
    int rc = avcodec_open2(ctx, codec, nullptr);
    if (rc < 0) {
        LF_LOG(kLogWarn, "Failed to open audio codec: %s", errorText(rc).c_str());
        return false;
    }
    if (avcodec_parameters_from_context(data->audio->codecpar, ctx) < 0)
        return false;
    data->frame_size = ctx->frame_size > 0 ? ctx->frame_size : 1024;
    for (int p = 0; p < data->audio_planes && p < 8; ++p) {
        data->samples[p] = static_cast<uint8_t*>(av_calloc(size_t(data->frame_size), size_t(data->audio_size)));
        if (!data->samples[p]) {
            LF_LOG(kLogWarn, "Failed to create audio buffer: %s", errorText(AVERROR(ENOMEM)).c_str());
            return false;
        }
    }
    data->aframe->format = ctx->sample_fmt;
    data->aframe->nb_samples = data->frame_size;
    data->aframe->sample_rate = ctx->sample_rate;
    av_channel_layout_copy(&data->aframe->ch_layout, &ctx->ch_layout);
    rc = av_frame_get_buffer(data->aframe, 0);
    if (rc < 0) {
        LF_LOG(kLogWarn, "Failed to create audio buffer: %s", errorText(rc).c_str());
        return false;
    }
    return true;
}

bool encode_audio(ffmpeg_data* data) {
    AVFrame* frame = data->aframe;
    if (av_frame_make_writable(frame) < 0) {
        LF_LOG(kLogWarn, "encode_audio: avcodec_fill_audio_frame failed: %s",
               errorText(AVERROR(ENOMEM)).c_str());
        return false;
    }
    frame->nb_samples = data->frame_size;
    frame->pts = av_rescale_q(data->total_samples, AVRational{1, data->config.audio_sample_rate},
                              data->audio_ctx->time_base);
    for (int p = 0; p < data->audio_planes; ++p)
        std::memcpy(frame->data[p], data->samples[p], size_t(data->frame_size) * size_t(data->audio_size));
    data->total_samples += data->frame_size;
    const int rc = avcodec_send_frame(data->audio_ctx, frame);
    if (rc < 0) {
        LF_LOG(kLogWarn, "encode_audio: Error encoding audio: %s", errorText(rc).c_str());
        return true;  // one block lost; the job goes on
    }
    return writePackets(data, data->audio_ctx, data->audio, nullptr, false);
}

void releaseAll(ffmpeg_data* data) {
    sws_freeContext(data->swscale);
    avcodec_free_context(&data->video_ctx);
    avcodec_free_context(&data->audio_ctx);
    av_frame_free(&data->vframe);
    av_frame_free(&data->aframe);
    for (int p = 0; p < 8; ++p) {
        lf_circlebuf_free(&data->excess_frames[p]);
        av_freep(&data->samples[p]);
    }
    if (data->output) {
        if (data->output->pb && !(data->output->oformat->flags & AVFMT_NOFILE))
            avio_closep(&data->output->pb);
        avformat_free_context(data->output);
    }
    data->output = nullptr;
    data->swscale = nullptr;
    data->video = data->audio = nullptr;
    data->initialized = false;
}

}  // namespace

void ffmpeg_data_discard_output(const ffmpeg_data& data) {
    if (data.created_file && !data.config.url.empty())
        unlink(data.config.url.c_str());
}

bool ffmpeg_data_init(ffmpeg_data* data, std::string& reason) {
    const ffmpeg_cfg& c = data->config;
    auto failed = [&](const std::string& why) {
        LF_LOG(kLogWarn, "ffmpeg_data_init failed");
        releaseAll(data);
        ffmpeg_data_discard_output(*data);
        data->created_file = false;
        reason = why;
        return false;
    };
    if (c.url.empty())
        return failed("no output path");
    if (av_strncasecmp(c.url.c_str(), "rtmp://", 7) == 0)
        return failed("network output is not supported: the engine writes files");
    if (c.width <= 0 || c.height <= 0 || c.width % 2 || c.height % 2)
        return failed("the output size " + std::to_string(c.width) + "x" + std::to_string(c.height) +
                      " cannot be encoded: both sides must be even and positive");
    if (c.frame_rate.num <= 0 || c.frame_rate.den <= 0)
        return failed("the source has no usable frame rate");
    const AVOutputFormat* format = av_guess_format(c.format_name.c_str(), c.url.c_str(), nullptr);
    if (!format) {
        LF_LOG(kLogWarn, "Couldn't find matching output format with  parameters: name=%s, url=%s, mime=%s",
               orNull(c.format_name), orNull(c.url), "(NULL)");
        return failed("no output format \"" + c.format_name + "\"");
    }
    if (avformat_alloc_output_context2(&data->output, format, nullptr, c.url.c_str()) < 0 || !data->output) {
        LF_LOG(kLogWarn, "Couldn't create avformat context");
        return failed("cannot create the output");
    }
    if (!openVideo(data))
        return failed("cannot set up the H.264 encoder");
    if (c.with_audio && !openAudio(data))
        return failed("cannot set up the AAC encoder");

    if (!(format->flags & AVFMT_NOFILE)) {
        struct stat st;
        data->created_file = stat(c.url.c_str(), &st) != 0 && errno == ENOENT;
        const int rc = avio_open(&data->output->pb, c.url.c_str(), AVIO_FLAG_WRITE);
        if (rc < 0) {
            LF_LOG(kLogWarn, "Couldn't open '%s', %s", c.url.c_str(), errorText(rc).c_str());
            data->created_file = false;
            return failed("cannot write " + c.url + ": " + errorText(rc));
        }
    }
    AVDictionary* options = nullptr;
    if (!c.muxer_settings.empty()) {
        const int rc = av_dict_parse_string(&options, c.muxer_settings.c_str(), "=", " ", 0);
        if (rc < 0) {
            LF_LOG(kLogWarn, "Failed to parse muxer settings: %s\n%s", errorText(rc).c_str(),
                   c.muxer_settings.c_str());
            av_dict_free(&options);
            return failed("bad muxer settings");
        }
    }
    av_dict_set(&data->output->metadata, "copyright", "Kestra", 0);
    if (!c.title.empty())
        av_dict_set(&data->output->metadata, "title", c.title.c_str(), 0);
    const int rc = avformat_write_header(data->output, &options);
    av_dict_free(&options);
    if (rc < 0) {
        LF_LOG(kLogWarn, "Error opening '%s': %s", c.url.c_str(), errorText(rc).c_str());
        return failed("cannot write " + c.url + ": " + errorText(rc));
    }
    av_dump_format(data->output, 0, c.url.c_str(), 1);
    data->initialized = true;
    return true;
}

AVFrame* video_frame_to_fill(ffmpeg_data* data) {
    if (!data->initialized || !data->video)
        return nullptr;
    if (av_frame_make_writable(data->vframe) < 0) {
        std::lock_guard<std::mutex> lock(data->write_mutex);
        noteFailure(data, "not enough memory for a video frame");
        return nullptr;
    }
    return data->vframe;
}

bool encode_filled_video(ffmpeg_data* data, int64_t pts) {
    AVFrame* frame = data->vframe;
    // Presentation times must rise even where the source's collide after
    // rounding to the frame rate.
    if (pts <= data->last_video_pts)
        pts = data->last_video_pts + 1;
    frame->pts = pts;
    const int rc = avcodec_send_frame(data->video_ctx, frame);
    if (rc < 0) {
        LF_LOG(kLogWarn, "receive_video: Error encoding video: %s", errorText(rc).c_str());
        return true;  // this frame is lost; the job goes on
    }
    data->last_video_pts = pts;
    int written = 0;
    const bool ok = writePackets(data, data->video_ctx, data->video, &written, false);
    if (ok && written == 0) {
        ++data->delayed_frames;
        LF_LOG(kLogError, "avcodec_encode_video2 Fail size  ret %d gotpack %d size %d ", rc, 0, 0);
    } else if (written > 1) {
        data->delayed_frames = std::max<int64_t>(0, data->delayed_frames - (written - 1));
    }
    ++data->total_frames;
    return ok;
}

bool receive_video(ffmpeg_data* data, const uint8_t* rgba, int stride, int64_t pts) {
    AVFrame* frame = video_frame_to_fill(data);
    if (!frame)
        return false;
    const uint8_t* src[1] = {rgba};
    const int srcStride[1] = {stride};
    sws_scale(data->swscale, src, srcStride, 0, data->config.scale_height, frame->data, frame->linesize);
    return encode_filled_video(data, pts);
}

bool receive_audio(ffmpeg_data* data, const uint8_t* const* planes, int frames, uint64_t start_ns) {
    if (!data->initialized || !data->audio)
        return true;
    if (!data->audio_started) {
        // The first block sits where the file's time line puts it.
        data->total_samples = int64_t(start_ns / 1000) * data->config.audio_sample_rate / 1000000;
        data->audio_started = true;
    }
    const size_t bytes = size_t(frames) * size_t(data->audio_size);
    for (int p = 0; p < data->audio_planes; ++p)
        if (!lf_circlebuf_push_back(&data->excess_frames[p], planes[p], bytes)) {
            std::lock_guard<std::mutex> lock(data->write_mutex);
            noteFailure(data, "not enough memory for the audio");
            return false;
        }
    const size_t block = size_t(data->frame_size) * size_t(data->audio_size);
    while (data->excess_frames[0].size >= block) {
        for (int p = 0; p < data->audio_planes; ++p)
            lf_circlebuf_pop_front(&data->excess_frames[p], data->samples[p], block);
        if (!encode_audio(data))
            return false;
    }
    return true;
}

std::string ffmpeg_data_failure(ffmpeg_data* data) {
    std::lock_guard<std::mutex> lock(data->write_mutex);
    return data->failure;
}

bool ffmpeg_data_free(ffmpeg_data* data, std::string& reason) {
    if (!data->initialized) {
        reason = ffmpeg_data_failure(data);
        return false;
    }
    LF_LOG(kLogInfo, "ffmpeg_data_free close start enter pthread_mutex_lock");
    bool ok = ffmpeg_data_failure(data).empty();
    if (ok && data->video) {
        // The encoder's delayed frames.
        LF_LOG(kLogInfo, "avcodec_encode_video2 start");
        avcodec_send_frame(data->video_ctx, nullptr);
        LF_LOG(kLogInfo, "avcodec_encode_video2 end");
        int written = 0;
        ok = writePackets(data, data->video_ctx, data->video, &written, true);
        LF_LOG(kLogInfo, "ffmpeg_writeDelayVideo end");
    }
    if (ok && data->audio && data->audio_started) {
        // The last partial block, completed with silence, then the
        // encoder's delayed packets.
        const uint32_t left = data->excess_frames[0].size;
        if (left > 0) {
            const size_t block = size_t(data->frame_size) * size_t(data->audio_size);
            for (int p = 0; p < data->audio_planes; ++p) {
                std::memset(data->samples[p], 0, block);
                lf_circlebuf_pop_front(&data->excess_frames[p], data->samples[p], left);
            }
            ok = encode_audio(data);
        }
        if (ok) {
            avcodec_send_frame(data->audio_ctx, nullptr);
            ok = writePackets(data, data->audio_ctx, data->audio, nullptr, false);
        }
    }
    if (ok) {
        std::lock_guard<std::mutex> lock(data->write_mutex);
        const int rc = av_write_trailer(data->output);
        if (rc < 0) {
            LF_LOG(kLogError, "av_write_trailer fail %d,%s ", rc, errorText(rc).c_str());
            noteFailure(data, "cannot finish " + data->config.url + ": " + errorText(rc));
            ok = false;
        }
    }
    if (data->output && data->output->pb && !(data->output->oformat->flags & AVFMT_NOFILE)) {
        // Buffered bytes go out here: a full disk shows now at the latest.
        avio_flush(data->output->pb);
        const int error = data->output->pb->error;
        const int rc = avio_closep(&data->output->pb);
        if (ok && (error < 0 || rc < 0)) {
            std::lock_guard<std::mutex> lock(data->write_mutex);
            noteFailure(data, "cannot write " + data->config.url + ": " + errorText(error < 0 ? error : rc));
            ok = false;
        }
    }
    releaseAll(data);
    LF_LOG(kLogInfo, "ffmpeg_data_free close end");
    reason = ffmpeg_data_failure(data);
    if (!ok)
        ffmpeg_data_discard_output(*data);
    return ok;
}

}  // namespace loomfold
