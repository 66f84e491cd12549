// A queue between two threads: items in order, each tagged with the
// queue's serial at the time it was queued, so that a consumer can tell
// items from before a flush (a seek) from new ones; end markers in line
// with the items; a capacity that a producer waits for; an abort that wakes
// every waiter. Every wait has an end: it returns after its timeout at the
// latest, so a caller that loops on it sees its own stop flags too.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <limits>
#include <mutex>
#include <utility>

namespace vistamo::queue {

enum class Wait { Ok, TimedOut, Aborted };

// Counts nothing: a queue of items without a size in bytes.
struct NoBytes {
    template <typename T>
    size_t operator()(const T&) const { return 0; }
};

template <typename T, typename Bytes = NoBytes>
class BoundedQueue {
public:
    struct Entry {
        T item{};
        int serial = 0;
        bool end = false;  // an end marker: no item
    };

    explicit BoundedQueue(size_t capacity = std::numeric_limits<size_t>::max()) : capacity_(capacity) {}

    // Queues item, waiting up to timeout for room. TimedOut leaves item
    // untouched, so the caller may try again.
    Wait push(T& item, std::chrono::milliseconds timeout) { return put(&item, timeout); }
    Wait push(T&& item, std::chrono::milliseconds timeout) { return put(&item, timeout); }
    // Queues an end marker (it takes room like an item).
    Wait pushEnd(std::chrono::milliseconds timeout) { return put(nullptr, timeout); }

    // Waits up to timeout for the next entry.
    Wait pop(Entry& entry, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!changed_.wait_for(lock, timeout, [this] { return aborted_ || !entries_.empty(); }))
            return Wait::TimedOut;
        if (aborted_)
            return Wait::Aborted;
        entry = std::move(entries_.front());
        entries_.pop_front();
        if (!entry.end)
            bytes_ -= Bytes()(entry.item);
        changed_.notify_all();
        return Wait::Ok;
    }
    // The serial and end flag of the next entry, without taking it; false
    // when the queue is empty.
    bool peek(int* serial, bool* end = nullptr) const {
        std::lock_guard<std::mutex> lock(mutex_);
        if (entries_.empty())
            return false;
        if (serial)
            *serial = entries_.front().serial;
        if (end)
            *end = entries_.front().end;
        return true;
    }
    // Calls f(const T&) on the next item, under the lock; false when the
    // queue is empty or its next entry is an end marker.
    template <typename F>
    bool peekItem(F f) const {
        std::lock_guard<std::mutex> lock(mutex_);
        if (entries_.empty() || entries_.front().end)
            return false;
        f(entries_.front().item);
        return true;
    }

    // Drops every entry and starts a new serial.
    void flush() {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_.clear();
        bytes_ = 0;
        ++serial_;
        changed_.notify_all();
    }
    // Drops every entry; the serial stays.
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_.clear();
        bytes_ = 0;
        changed_.notify_all();
    }
    // Every wait returns Aborted from now on, until reset().
    void abort() {
        std::lock_guard<std::mutex> lock(mutex_);
        aborted_ = true;
        changed_.notify_all();
    }
    void reset() {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_.clear();
        bytes_ = 0;
        aborted_ = false;
    }

    int serial() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return serial_;
    }
    size_t count() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return entries_.size();
    }
    size_t bytes() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return bytes_;
    }
    bool aborted() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return aborted_;
    }

private:
    Wait put(T* item, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!changed_.wait_for(lock, timeout, [this] { return aborted_ || entries_.size() < capacity_; }))
            return Wait::TimedOut;
        if (aborted_)
            return Wait::Aborted;
        Entry entry;
        entry.serial = serial_;
        if (item) {
            bytes_ += Bytes()(*item);
            entry.item = std::move(*item);
        } else {
            entry.end = true;
        }
        entries_.push_back(std::move(entry));
        changed_.notify_all();
        return Wait::Ok;
    }

    const size_t capacity_;
    mutable std::mutex mutex_;  // guards every member below
    std::condition_variable changed_;
    std::deque<Entry> entries_;
    size_t bytes_ = 0;
    int serial_ = 0;
    bool aborted_ = false;
};

}  // namespace vistamo::queue
