// Compressed packets between the demux thread and one decode thread. Each
// packet carries the queue's serial at the time it was queued; a seek
// bumps the serial so that decoders can tell stale packets from new ones.
// A null packet marks the end of the stream.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

extern "C" {
#include <libavcodec/packet.h>
}

namespace vistamo::media {

struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

class PacketQueue {
public:
    // Takes the packet (null: end of stream). Never blocks: the demux
    // thread bounds the queues itself by their count() and bytes().
    void push(PacketPtr packet);
    // Waits for a packet; false when aborted. *serial gets the packet's serial.
    bool pop(PacketPtr& packet, int* serial);
    // Drops every packet and starts a new serial.
    void flush();
    void abort();
    void reset();  // clears the abort flag for a new playback

    int serial() const;
    size_t count() const;
    size_t bytes() const;

private:
    struct Entry {
        PacketPtr packet;
        int serial;
    };
    mutable std::mutex mutex_;  // guards every member below
    std::condition_variable available_;
    std::deque<Entry> packets_;
    size_t bytes_ = 0;
    int serial_ = 0;
    bool aborted_ = false;
};

}  // namespace vistamo::media
