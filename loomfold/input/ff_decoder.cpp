#include "ff_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/time.h>
}

#include <algorithm>
#include <cmath>
#include <system_error>

#include "engine_log.h"

namespace loomfold {

using std::chrono::microseconds;
using std::chrono::milliseconds;

namespace {
// How long one wait on a queue lasts before the waiter looks at its own
// stop flag again.
constexpr milliseconds kQueueWait(100);
}  // namespace

ff_decoder::ff_decoder(AVCodecContext* codec, AVStream* stream, const ff_decoder_options& options)
    : codec_(codec), stream_(stream), options_(options), frames_(size_t(std::max(1, options.frame_queue_size))) {}

ff_decoder::~ff_decoder() {
    stop();
    avcodec_free_context(&codec_);
}

void ff_decoder::stop() {
    abort_ = true;
    frames_.abort();
    packets_.abort();
    timer_.stop();
    if (decoder_thread_.joinable())
        decoder_thread_.join();
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
                LF_LOG(kLogWarn, "multiple pts < start_pts; setting start pts to 0");
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

bool ff_decoder::push_frame(ff_frame& frame) {
    for (;;) {
        const vistamo::queue::Wait took = frames_.push(frame, kQueueWait);
        if (took == vistamo::queue::Wait::Ok)
            return true;
        if (took == vistamo::queue::Wait::Aborted || abort_)
            return false;
    }
}

void ff_decoder::push_end() {
    while (!abort_) {
        if (frames_.pushEnd(kQueueWait) != vistamo::queue::Wait::TimedOut)
            return;
    }
}

bool ff_decoder::queue_decoded(AVFrame* decoded, int64_t dts_us, int64_t index) {
    ff_frame slot;
    slot.frame.reset(av_frame_clone(decoded));
    if (!slot.frame)
        return true;  // out of memory for one frame: skip it
    slot.clock = clock_;
    slot.pts = presentation_time(decoded);
    slot.dts_us = dts_us;
    slot.index = index;
    return push_frame(slot);
}

void ff_decoder::decode_thread() {
    AVFrame* decoded = av_frame_alloc();
    if (!decoded) {
        push_end();
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
        ff_packet_queue::Entry entry;
        const vistamo::queue::Wait took = packets_.pop(entry, kQueueWait);
        if (took == vistamo::queue::Wait::Aborted)
            break;
        if (took == vistamo::queue::Wait::TimedOut)
            continue;
        if (entry.end) {
            // Everything the decoder still holds comes out now.
            avcodec_send_packet(codec_, nullptr);
            drain();
            break;
        }
        ff_packet& item = entry.item;
        if (!item.packet) {
            clock_ = item.clock;
            continue;
        }
        last_index = item.index;
        if (item.packet->dts != AV_NOPTS_VALUE)
            last_dts_us = av_rescale_q(item.packet->dts, stream_->time_base, AV_TIME_BASE_Q);
        int rc = avcodec_send_packet(codec_, item.packet.get());
        if (rc == AVERROR(EAGAIN)) {
            if (!drain())
                break;
            avcodec_send_packet(codec_, item.packet.get());
        }
        item.packet.reset();
        if (!drain())
            break;
    }
    av_frame_free(&decoded);
    // Whatever ended the loop, the refresh side learns that nothing more
    // comes (unless the decoder is being stopped).
    push_end();
}

void ff_decoder::deliver_end() {
    ended_ = true;
    timer_.abort();
    if (hook_)
        hook_(nullptr);
    LF_LOG(kLogInfo, "refresh timer stopping; eof");
}

void ff_decoder::refresh() {
    if (ended_ || abort_)
        return;
    ff_frame_queue::Entry entry;
    // Unpaced, the timer waits on the queue itself; paced, it looks again
    // in a millisecond.
    const milliseconds wait = options_.paced ? milliseconds(0) : milliseconds(20);
    const vistamo::queue::Wait took = frames_.pop(entry, wait);
    if (took == vistamo::queue::Wait::Aborted || abort_)
        return;
    if (took == vistamo::queue::Wait::TimedOut) {
        timer_.schedule(options_.paced ? milliseconds(1) : microseconds(0));
        return;
    }
    if (entry.end) {
        deliver_end();
        return;
    }
    ff_frame& frame = entry.item;
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
    frame.frame.reset();
    timer_.schedule(delay);
}

}  // namespace loomfold
