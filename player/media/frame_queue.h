// Decoded video frames between the video decode thread and the
// presentation thread, bounded so that decoding runs only a few frames
// ahead. An entry with an invalid frame marks the end of the stream.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

#include "video_frame.h"

namespace vistamo::media {

class FrameQueue {
public:
    explicit FrameQueue(size_t capacity = 4) : capacity_(capacity) {}

    struct Entry {
        VideoFrame frame;  // invalid: end of stream
        int serial = 0;
    };

    // Waits for room; false when aborted.
    bool push(Entry entry);
    // Waits up to timeoutMs for an entry; false on timeout or abort.
    bool pop(Entry& entry, int timeoutMs);
    void clear();
    void abort();
    void reset();
    bool aborted() const;

private:
    mutable std::mutex mutex_;  // guards every member below
    std::condition_variable changed_;
    std::deque<Entry> entries_;
    size_t capacity_;
    bool aborted_ = false;
};

}  // namespace vistamo::media
