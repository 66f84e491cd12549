#include "packet_queue.h"

namespace vistamo::media {

void PacketQueue::push(PacketPtr packet) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (aborted_)
        return;
    bytes_ += packet ? size_t(packet->size) : 0;
    packets_.push_back({std::move(packet), serial_});
    available_.notify_one();
}

bool PacketQueue::pop(PacketPtr& packet, int* serial) {
    std::unique_lock<std::mutex> lock(mutex_);
    available_.wait(lock, [this] { return aborted_ || !packets_.empty(); });
    if (aborted_)
        return false;
    Entry entry = std::move(packets_.front());
    packets_.pop_front();
    bytes_ -= entry.packet ? size_t(entry.packet->size) : 0;
    packet = std::move(entry.packet);
    if (serial)
        *serial = entry.serial;
    return true;
}

void PacketQueue::flush() {
    std::lock_guard<std::mutex> lock(mutex_);
    packets_.clear();
    bytes_ = 0;
    ++serial_;
    available_.notify_all();
}

void PacketQueue::abort() {
    std::lock_guard<std::mutex> lock(mutex_);
    aborted_ = true;
    available_.notify_all();
}

void PacketQueue::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    packets_.clear();
    bytes_ = 0;
    aborted_ = false;
}

int PacketQueue::serial() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return serial_;
}

size_t PacketQueue::count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return packets_.size();
}

size_t PacketQueue::bytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_;
}

}  // namespace vistamo::media
