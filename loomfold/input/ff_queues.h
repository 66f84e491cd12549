// The queues between the demuxer, a decoder and its refresh timer: the
// shared bounded queue with the engine's rules. A packet queue is bounded
// by bytes (the demuxer backs off past its limit, so pushing never waits);
// a frame queue by count (the decoder waits for room). Each stream ends
// with an end marker; every wait has an end.
#pragma once

#include <cstdint>
#include <memory>

extern "C" {
#include <libavcodec/packet.h>
#include <libavutil/frame.h>
}

#include "bounded_queue.h"
#include "ff_clock.h"

namespace loomfold {

struct ff_packet_deleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ff_frame_deleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

// One entry of a packet queue: compressed data, or the clock that the
// demuxer sends down each decoder's queue before the first packet.
struct ff_packet {
    std::unique_ptr<AVPacket, ff_packet_deleter> packet;  // data packets only
    ff_clock_ref clock;                                   // clock packets only
    int64_t index = 0;                                    // packet number within its stream
};

struct ff_packet_bytes {
    size_t operator()(const ff_packet& p) const { return p.packet ? size_t(p.packet->size) : 0; }
};

using ff_packet_queue = vistamo::queue::BoundedQueue<ff_packet, ff_packet_bytes>;

// A decoded frame waiting for its moment.
struct ff_frame {
    std::unique_ptr<AVFrame, ff_frame_deleter> frame;
    ff_clock_ref clock;
    double pts = 0;            // presentation time, seconds from the file's start
    int64_t dts_us = 0;        // packet decoding time, microseconds (stream time)
    int64_t index = 0;         // packet number within its stream
};

using ff_frame_queue = vistamo::queue::BoundedQueue<ff_frame>;

}  // namespace loomfold
