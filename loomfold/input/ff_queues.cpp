#include "ff_queues.h"

extern "C" {
#include <libavcodec/packet.h>
#include <libavutil/frame.h>
}

namespace loomfold {

namespace {
void releasePacket(ff_packet& p) { av_packet_free(&p.packet); }
}  // namespace

ff_packet_queue::~ff_packet_queue() {
    for (ff_packet& p : packets_)
        releasePacket(p);
}

bool ff_packet_queue::put(ff_packet packet) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!abort_) {
            total_size_ += packet.packet ? packet.packet->size : 0;
            packets_.push_back(std::move(packet));
            cond_.notify_one();
            return true;
        }
    }
    releasePacket(packet);
    return false;
}

ff_packet_queue::Take ff_packet_queue::get(ff_packet& out, std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    cond_.wait_for(lock, wait, [this] { return abort_ || !packets_.empty(); });
    if (abort_)
        return Take::aborted;
    if (packets_.empty())
        return Take::timed_out;
    out = std::move(packets_.front());
    packets_.pop_front();
    total_size_ -= out.packet ? out.packet->size : 0;
    return Take::got;
}

void ff_packet_queue::abort() {
    std::lock_guard<std::mutex> lock(mutex_);
    abort_ = true;
    cond_.notify_all();
}

int64_t ff_packet_queue::total_size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return total_size_;
}

int ff_packet_queue::count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return int(packets_.size());
}

void ff_frame_release(ff_frame& frame) {
    av_frame_free(&frame.frame);
    frame.clock.reset();
}

ff_circular_queue::~ff_circular_queue() {
    for (ff_frame& f : frames_)
        ff_frame_release(f);
}

bool ff_circular_queue::push(ff_frame frame) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return abort_ || frames_.size() < capacity_; });
    if (abort_) {
        lock.unlock();
        ff_frame_release(frame);
        return false;
    }
    frames_.push_back(std::move(frame));
    changed_.notify_all();
    return true;
}

bool ff_circular_queue::pop(ff_frame& out, std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, wait, [this] { return abort_ || !frames_.empty(); }) || abort_)
        return false;
    out = std::move(frames_.front());
    frames_.pop_front();
    changed_.notify_all();
    return true;
}

bool ff_circular_queue::empty() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_.empty();
}

void ff_circular_queue::abort() {
    std::lock_guard<std::mutex> lock(mutex_);
    abort_ = true;
    changed_.notify_all();
}

}  // namespace loomfold
