#include "ff_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/time.h>
}

#include <algorithm>
#include <cmath>
#include <system_error>

namespace loomfold {

using std::chrono::microseconds;
using std::chrono::milliseconds;

ff_decoder::ff_decoder(AVCodecContext* codec, AVStream* stream, const ff_decoder_options& options)
    : codec_(codec), stream_(stream), options_(options), frames_(size_t(std::max(1, options.frame_queue_size))) {}

ff_decoder::~ff_decoder() {
    abort_ = true;
    frames_.abort();
    packets_.abort();
    timer_.stop();
    if (decoder_thread_.joinable())
        decoder_thread_.join();
    avcodec_free_context(&codec_);
}

bool ff_decoder::start(int64_t start_pts) {
    start_pts_ = start_pts;
    next_wake_ = std::chrono::steady_clock::now();
    try {
        decoder_thread_ = std::thread(&ff_decoder::decode_thread, this);
    } catch (const std::system_error&) {
        return false;
    }
    if (!timer_.start([this] { refresh(); })) {
        abort_ = true;
        packets_.abort();
        frames_.abort();
        return false;
    }
    timer_.schedule(options_.paced ? milliseconds(40) : microseconds(0));
    return true;
}

double ff_decoder::current_time() const {
    const double since = double(av_gettime() - current_pts_time_us_.load()) / 1e6;
    return current_pts_.load() + since;
}

double ff_decoder::presentation_time(const AVFrame* decoded) {
    const int64_t best = decoded->best_effort_timestamp;
    double pts;
    if (best != AV_NOPTS_VALUE) {
        int64_t ts = best;
        if (ts < start_pts_) {
            if (!first_pts_seen_) {
                ts = start_pts_;
            } else {
                av_log(nullptr, AV_LOG_WARNING, "multiple pts < start_pts; setting start pts to 0");
                start_pts_ = 0;
            }
        }
        pts = double(ts - start_pts_) * av_q2d(stream_->time_base);
        predicted_pts_ = pts;
    } else {
        pts = predicted_pts_;
    }
    first_pts_seen_ = true;
    // The frame's duration, or one frame at the stream's rate.
    double delay = 0;
    if (decoded->pkt_duration > 0)
        delay = double(decoded->pkt_duration) * av_q2d(stream_->time_base);
    else if (codec_->framerate.num > 0)
        delay = av_q2d(av_inv_q(codec_->framerate));
    predicted_pts_ += delay * (1 + decoded->repeat_pict);
    return pts;
}

bool ff_decoder::queue_decoded(AVFrame* decoded, int64_t dts_us, int64_t index) {
    ff_frame slot;
    slot.frame = av_frame_clone(decoded);
    if (!slot.frame)
        return true;  // out of memory for one frame: skip it
    slot.clock = clock_;
    slot.pts = presentation_time(decoded);
    slot.dts_us = dts_us;
    slot.index = index;
    return frames_.push(std::move(slot));
}

void ff_decoder::decode_thread() {
    AVFrame* decoded = av_frame_alloc();
    if (!decoded) {
        drained_ = true;
        return;
    }
    // A frame carries the decoding time and number of the packet whose
    // decoding gave it out (the packet sent last).
    int64_t last_dts_us = 0, last_index = 0;
    auto drain = [&]() -> bool {
        for (;;) {
            const int rc = avcodec_receive_frame(codec_, decoded);
            if (rc < 0)
                return true;
            const bool video = codec_->codec_type == AVMEDIA_TYPE_VIDEO;
            const bool usable = video ? decoded->width > 0 : decoded->nb_samples > 0;
            const bool kept = !usable || queue_decoded(decoded, last_dts_us, last_index);
            av_frame_unref(decoded);
            if (!kept)
                return false;
        }
    };
    while (!abort_) {
        ff_packet item;
        const ff_packet_queue::Take took = packets_.get(item, milliseconds(100));
        if (took == ff_packet_queue::Take::aborted)
            break;
        if (took == ff_packet_queue::Take::timed_out)
            continue;
        if (item.kind == ff_packet::Kind::flush) {
            avcodec_flush_buffers(codec_);
            continue;
        }
        if (item.kind == ff_packet::Kind::clock) {
            clock_ = item.clock;
            continue;
        }
        if (item.kind == ff_packet::Kind::end_of_input) {
            // Everything the decoder still holds comes out now.
            avcodec_send_packet(codec_, nullptr);
            drain();
            break;
        }
        last_index = item.index;
        if (item.packet->dts != AV_NOPTS_VALUE)
            last_dts_us = av_rescale_q(item.packet->dts, stream_->time_base, AV_TIME_BASE_Q);
        int rc = avcodec_send_packet(codec_, item.packet);
        if (rc == AVERROR(EAGAIN)) {
            if (!drain())
                break;
            avcodec_send_packet(codec_, item.packet);
        }
        av_packet_free(&item.packet);
        if (!drain())
            break;
    }
    av_frame_free(&decoded);
    drained_ = true;
}

void ff_decoder::deliver_end() {
    ended_ = true;
    timer_.abort();
    if (hook_)
        hook_(nullptr);
    av_log(nullptr, AV_LOG_INFO, "refresh timer stopping; eof");
}

void ff_decoder::refresh() {
    if (ended_ || abort_)
        return;
    ff_frame frame;
    // Unpaced, the timer waits on the queue itself; paced, it looks again
    // in a millisecond.
    const milliseconds wait = options_.paced ? milliseconds(0) : milliseconds(20);
    if (!frames_.pop(frame, wait)) {
        if (abort_)
            return;
        if (drained_ && frames_.empty()) {
            deliver_end();
            return;
        }
        timer_.schedule(options_.paced ? milliseconds(1) : microseconds(0));
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    current_pts_ = frame.pts;
    current_pts_time_us_ = av_gettime();

    microseconds delay(0);
    if (options_.paced) {
        double diff = frame.pts - previous_pts_;
        const bool late_first = first_frame_ && diff >= 1.0;
        if (diff <= 0 || late_first)
            diff = previous_diff_;
        first_frame_ = false;
        previous_diff_ = diff;
        previous_pts_ = frame.pts;
        if (frame.clock && frame.clock->sync_type != options_.natural_sync && frame.clock->sync_clock) {
            const double threshold = std::max(diff, 0.01);
            const double d = frame.pts - frame.clock->sync_clock();
            if (std::fabs(d) < 10.0) {
                if (d <= -threshold)
                    diff = 0;
                else if (d >= threshold)
                    diff *= 2;
            }
        }
        next_wake_ += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(diff));
        double wait_s = std::chrono::duration<double>(next_wake_ - now).count();
        wait_s = std::clamp(wait_s, 0.01, std::max(diff, 0.01));
        delay = microseconds(int64_t(wait_s * 1000 + 0.5) * 1000);
    }
    frame.clock.reset();
    if (hook_)
        hook_(&frame);
    ff_frame_release(frame);
    timer_.schedule(delay);
}

}  // namespace loomfold
