#include "ff_demuxer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/time.h>
}

#include <chrono>
#include <system_error>

#include "local_media.h"

#include "engine_log.h"

namespace loomfold {

namespace {

// Reads that fail without an I/O error are retried this many times, 100 ms
// apart, before the file counts as ended.
constexpr int kMaxReadRetries = 50;

int interruptCallback(void* opaque) { return static_cast<std::atomic<bool>*>(opaque)->load() ? 1 : 0; }

}  // namespace

ff_demuxer::~ff_demuxer() {
    abort_ = true;
    if (thread_.joinable())
        thread_.join();
    // Each stream's clock may read the other's decoder (its master): both
    // stop before either goes.
    for (ff_decoder* d : {video_decoder_.get(), audio_decoder_.get()})
        if (d)
            d->stop();
    audio_decoder_.reset();
    video_decoder_.reset();
    avformat_close_input(&format_context_);
}

bool ff_demuxer::open(const std::string& input, const std::string& input_format) {
    input_ = input;
    input_format_ = input_format;
    format_context_ = avformat_alloc_context();
    if (!format_context_)
        return false;
    format_context_->interrupt_callback.callback = interruptCallback;
    format_context_->interrupt_callback.opaque = &abort_;
    const AVInputFormat* format = nullptr;
    if (!input_format_.empty())
        format = av_find_input_format(input_format_.c_str());
    if (!input_format_.empty() && !format)
        LF_LOG(kLogWarn, "unable to find input format %s", input_format_.c_str());
    // Only a local regular file; the context is freed by a failed open.
    std::string reason;
    if (vistamo::media::openLocalMedia(&format_context_, input_, format, nullptr, &reason) != 0) {
        LF_LOG(kLogWarn, "avformat_open_input fail %s: %s", input_.c_str(), reason.c_str());
        return false;
    }
    if (avformat_find_stream_info(format_context_, nullptr) < 0)
        return false;
    const int video_index = av_find_best_stream(format_context_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int audio_index = av_find_best_stream(format_context_, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    // The container's default stream chooses the master clock.
    sync_type_ = ff_av_sync_type::video_master;
    for (unsigned i = 0; i < format_context_->nb_streams; ++i) {
        const AVStream* s = format_context_->streams[i];
        if (!(s->disposition & AV_DISPOSITION_DEFAULT))
            continue;
        if (int(i) == audio_index)
            sync_type_ = ff_av_sync_type::audio_master;
        break;
    }
    if (video_index >= 0)
        video_decoder_ = open_decoder(video_index);
    if (audio_index >= 0)
        audio_decoder_ = open_decoder(audio_index);
    return true;
}

bool ff_demuxer::start() {
    if (thread_.joinable() || !format_context_)
        return false;
    try {
        thread_ = std::thread(&ff_demuxer::demux_thread, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

std::unique_ptr<ff_decoder> ff_demuxer::open_decoder(int stream_index) {
    AVStream* stream = format_context_->streams[stream_index];
    const AVCodecParameters* par = stream->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (!codec) {
        LF_LOG(kLogWarn, "no decoder found for codec with id %d", int(par->codec_id));
        return nullptr;
    }
    AVCodecContext* context = avcodec_alloc_context3(codec);
    if (!context || avcodec_parameters_to_context(context, par) < 0) {
        avcodec_free_context(&context);
        LF_LOG(kLogWarn, "unable to open decoder with codec id %d", int(par->codec_id));
        return nullptr;
    }
    context->pkt_timebase = stream->time_base;
    switch (par->codec_id) {
    case AV_CODEC_ID_PNG: case AV_CODEC_ID_TIFF: case AV_CODEC_ID_JPEG2000: case AV_CODEC_ID_WEBP:
        context->thread_count = 1;
        break;
    default:
        context->thread_count = 0;  // as many as the machine has
        break;
    }
    if (avcodec_open2(context, codec, nullptr) < 0) {
        avcodec_free_context(&context);
        LF_LOG(kLogWarn, "unable to open decoder with codec id %d", int(par->codec_id));
        return nullptr;
    }
    ff_decoder_options o;
    o.paced = options_.paced;
    if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
        o.packet_queue_limit = options_.audio_packet_queue_size;
        o.frame_queue_size = options_.audio_frame_queue_size;
        o.natural_sync = ff_av_sync_type::audio_master;
    } else {
        o.packet_queue_limit = options_.video_packet_queue_size;
        o.frame_queue_size = options_.video_frame_queue_size;
        o.natural_sync = ff_av_sync_type::video_master;
    }
    return std::make_unique<ff_decoder>(context, stream, o);
}

void ff_demuxer::choose_clock() {
    if (!video_decoder_ && sync_type_ == ff_av_sync_type::video_master)
        sync_type_ = ff_av_sync_type::audio_master;
    else if (!audio_decoder_ && sync_type_ == ff_av_sync_type::audio_master)
        sync_type_ = ff_av_sync_type::video_master;
}

void ff_demuxer::demux_thread() {
    av_dump_format(format_context_, 0, input_.c_str(), 0);

    // The file's start: the earliest start of any stream, or the
    // container's own when earlier.
    int64_t start_us = AV_NOPTS_VALUE;
    for (unsigned i = 0; i < format_context_->nb_streams; ++i) {
        const AVStream* s = format_context_->streams[i];
        if (s->discard == AVDISCARD_ALL || s->start_time == AV_NOPTS_VALUE)
            continue;
        const int64_t t = av_rescale_q(s->start_time, s->time_base, AV_TIME_BASE_Q);
        if (start_us == AV_NOPTS_VALUE || t < start_us)
            start_us = t;
    }
    if (format_context_->start_time != AV_NOPTS_VALUE &&
        (start_us == AV_NOPTS_VALUE || format_context_->start_time < start_us))
        start_us = format_context_->start_time;
    if (start_us == AV_NOPTS_VALUE)
        start_us = 0;

    auto startDecoder = [&](std::unique_ptr<ff_decoder>& decoder, const ff_decoder::FrameHook& hook) {
        if (!decoder)
            return;
        decoder->set_frame_hook(hook);
        if (!decoder->start(av_rescale_q(start_us, AV_TIME_BASE_Q, decoder->stream()->time_base)))
            decoder.reset();
    };
    startDecoder(video_decoder_, video_hook_);
    startDecoder(audio_decoder_, audio_hook_);
    choose_clock();
    // A stream that will never deliver says so now: nobody waits for it.
    if (!video_decoder_ && video_hook_)
        video_hook_(nullptr);
    if (!audio_decoder_ && audio_hook_)
        audio_hook_(nullptr);

    auto clock = std::make_shared<ff_clock>();
    clock->sync_type = sync_type_;
    if (sync_type_ == ff_av_sync_type::video_master && video_decoder_) {
        ff_decoder* d = video_decoder_.get();
        clock->sync_clock = [d] { return d->current_time(); };
    } else if (sync_type_ == ff_av_sync_type::audio_master && audio_decoder_) {
        ff_decoder* d = audio_decoder_.get();
        clock->sync_clock = [d] { return d->current_time(); };
    } else {
        const int64_t origin = av_gettime();
        clock->sync_clock = [origin] { return double(av_gettime() - origin) / 1e6; };
    }
    for (ff_decoder* d : {video_decoder_.get(), audio_decoder_.get()}) {
        if (!d)
            continue;
        ff_packet marker;
        marker.clock = clock;
        d->packet_queue().push(std::move(marker), std::chrono::milliseconds(0));
    }

    int64_t video_count = 0, audio_count = 0;
    int retries = 0;
    AVPacket* packet = av_packet_alloc();
    while (packet && !abort_ && (video_decoder_ || audio_decoder_)) {
        bool full = false;
        for (ff_decoder* d : {video_decoder_.get(), audio_decoder_.get()})
            if (d && int64_t(d->packet_queue().bytes()) > d->packet_queue_limit())
                full = true;
        if (full) {
            av_usleep(10000);
            continue;
        }
        const int rc = av_read_frame(format_context_, packet);
        if (rc < 0) {
            if (rc == AVERROR_EOF || abort_)
                break;
            AVIOContext* pb = format_context_->pb;
            if (pb && pb->eof_reached)
                break;
            if ((!pb || pb->error == 0) && ++retries <= kMaxReadRetries) {
                av_usleep(100000);
                continue;
            }
            char text[AV_ERROR_MAX_STRING_SIZE] = {0};
            av_strerror(rc, text, sizeof text);
            LF_LOG(kLogError, "av_read_frame() failed: %s", text);
            break;
        }
        retries = 0;
        ff_decoder* owner = nullptr;
        int64_t index = 0;
        if (video_decoder_ && packet->stream_index == video_decoder_->stream()->index) {
            owner = video_decoder_.get();
            index = video_count++;
        } else if (audio_decoder_ && packet->stream_index == audio_decoder_->stream()->index) {
            owner = audio_decoder_.get();
            index = audio_count++;
        }
        if (!owner) {
            av_packet_unref(packet);
            continue;
        }
        ff_packet item;
        item.packet.reset(av_packet_clone(packet));
        item.index = index;
        av_packet_unref(packet);
        if (item.packet)
            owner->packet_queue().push(std::move(item), std::chrono::milliseconds(0));
    }
    av_packet_free(&packet);
    // Each decoder drains what it holds, then reports the end of its stream.
    for (ff_decoder* d : {video_decoder_.get(), audio_decoder_.get()}) {
        if (d)
            d->packet_queue().pushEnd(std::chrono::milliseconds(0));
    }
}

}  // namespace loomfold
