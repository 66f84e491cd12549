// One stream's decoder: a decode thread that turns queued packets into
// frames, a bounded frame queue, and a refresh timer that hands the frames
// on through the frame hook, either at the moments their timestamps ask
// for (paced) or as soon as the hook takes them (unpaced). The hook gets
// nullptr once, at the end of the stream: after the decoder has been
// drained, so no frame is lost.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "ff_clock.h"
#include "ff_queues.h"
#include "ff_timer.h"

struct AVCodecContext;
struct AVStream;

namespace loomfold {

struct ff_decoder_options {
    int64_t packet_queue_limit = 0;  // bytes before the demuxer backs off
    int frame_queue_size = 1;
    bool paced = true;
    ff_av_sync_type natural_sync = ff_av_sync_type::video_master;
};

class ff_decoder {
public:
    using FrameHook = std::function<void(ff_frame* frame)>;  // nullptr: end of stream

    // Takes ownership of an opened codec context.
    ff_decoder(AVCodecContext* codec, AVStream* stream, const ff_decoder_options& options);
    ~ff_decoder();  // stops the threads, releases everything
    // Stops the decode and refresh threads and waits for them; no hook is
    // called after it returns. Later calls do nothing.
    void stop();
    ff_decoder(const ff_decoder&) = delete;
    ff_decoder& operator=(const ff_decoder&) = delete;

    void set_frame_hook(FrameHook hook) { hook_ = std::move(hook); }
    // start_pts: the file's start in this stream's time base.
    bool start(int64_t start_pts);

    AVStream* stream() const { return stream_; }
    ff_packet_queue& packet_queue() { return packets_; }
    int64_t packet_queue_limit() const { return options_.packet_queue_limit; }
    // The presentation time of the frame handed on last, as of now: the
    // master clock of the other stream when this one leads.
    double current_time() const;

private:
    void decode_thread();
    bool queue_decoded(AVFrame* decoded, int64_t dts_us, int64_t index);
    // Waits for room in the frame queue until it has it or the decoder stops.
    bool push_frame(ff_frame& frame);
    void push_end();
    double presentation_time(const AVFrame* decoded);
    void refresh();
    void deliver_end();

    AVCodecContext* codec_;
    AVStream* stream_;
    const ff_decoder_options options_;
    FrameHook hook_;
    ff_packet_queue packets_;  // demux thread pushes, decode thread pops
    ff_frame_queue frames_;    // decode thread pushes (ending with an end marker), refresh thread pops
    ff_timer timer_;
    std::thread decoder_thread_;
    std::atomic<bool> abort_{false};

    // -- Decode thread only.
    ff_clock_ref clock_;
    int64_t start_pts_ = 0;
    bool first_pts_seen_ = false;
    double predicted_pts_ = 0;

    // -- Refresh thread only (current_* also read through current_time()).
    double previous_pts_ = 0;
    double previous_diff_ = 0.04;
    bool first_frame_ = true;
    bool ended_ = false;
    std::chrono::steady_clock::time_point next_wake_;
    std::atomic<double> current_pts_{0};
    std::atomic<int64_t> current_pts_time_us_{0};
};

}  // namespace loomfold
