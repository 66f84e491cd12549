// The queues between the demuxer, a decoder and its refresh timer. Every
// wait has an end: a time limit, or abort() from the side that stops them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include "ff_clock.h"

struct AVFrame;
struct AVPacket;

namespace loomfold {

// One entry of a packet queue: compressed data, or one of the markers the
// demuxer sends down a decoder's queue.
struct ff_packet {
    enum class Kind { data, flush, clock, end_of_input };
    Kind kind = Kind::data;
    AVPacket* packet = nullptr;  // owned; data packets only
    ff_clock_ref clock;          // clock packets only
    int64_t index = 0;           // packet number within its stream
};

class ff_packet_queue {
public:
    ff_packet_queue() = default;
    ~ff_packet_queue();
    ff_packet_queue(const ff_packet_queue&) = delete;
    ff_packet_queue& operator=(const ff_packet_queue&) = delete;

    // Takes ownership of the packet; false (packet released) once aborted.
    bool put(ff_packet packet);
    enum class Take { got, timed_out, aborted };
    Take get(ff_packet& out, std::chrono::milliseconds wait);
    void abort();
    int64_t total_size() const;
    int count() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable cond_;
    // -- Guarded by mutex_.
    std::deque<ff_packet> packets_;
    int64_t total_size_ = 0;
    bool abort_ = false;
};

// A decoded frame waiting for its moment.
struct ff_frame {
    AVFrame* frame = nullptr;  // owned
    ff_clock_ref clock;
    double pts = 0;            // presentation time, seconds from the file's start
    int64_t dts_us = 0;        // packet decoding time, microseconds (stream time)
    int64_t index = 0;         // packet number within its stream
};

void ff_frame_release(ff_frame& frame);

// A bounded queue of decoded frames: the decoder waits while it is full,
// so decoding runs at most `capacity` frames ahead of delivery.
class ff_circular_queue {
public:
    explicit ff_circular_queue(size_t capacity) : capacity_(capacity ? capacity : 1) {}
    ~ff_circular_queue();
    ff_circular_queue(const ff_circular_queue&) = delete;
    ff_circular_queue& operator=(const ff_circular_queue&) = delete;

    // Waits for room; false (frame released) once aborted.
    bool push(ff_frame frame);
    // The oldest frame, waiting at most `wait` for one.
    bool pop(ff_frame& out, std::chrono::milliseconds wait);
    bool empty() const;
    void abort();

private:
    const size_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    // -- Guarded by mutex_.
    std::deque<ff_frame> frames_;
    bool abort_ = false;
};

}  // namespace loomfold
