#include "frame_queue.h"

#include <chrono>

namespace vistamo::media {

bool FrameQueue::push(Entry entry) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return aborted_ || entries_.size() < capacity_; });
    if (aborted_)
        return false;
    entries_.push_back(std::move(entry));
    changed_.notify_all();
    return true;
}

bool FrameQueue::pop(Entry& entry, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [this] { return aborted_ || !entries_.empty(); }))
        return false;
    if (aborted_)
        return false;
    entry = std::move(entries_.front());
    entries_.pop_front();
    changed_.notify_all();
    return true;
}

void FrameQueue::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
    changed_.notify_all();
}

void FrameQueue::abort() {
    std::lock_guard<std::mutex> lock(mutex_);
    aborted_ = true;
    changed_.notify_all();
}

void FrameQueue::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
    aborted_ = false;
}

bool FrameQueue::aborted() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return aborted_;
}

}  // namespace vistamo::media
