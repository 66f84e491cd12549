// Compressed packets between the demux thread and one decode thread: the
// shared bounded queue (serials that a seek moves on, an end marker when
// the stream ends, an abort, waits with an end). The demux thread bounds
// it by count() and bytes(), so pushing never waits.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/packet.h>
}

#include "bounded_queue.h"

namespace vistamo::media {

struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

struct PacketBytes {
    size_t operator()(const PacketPtr& p) const { return p ? size_t(p->size) : 0; }
};

using PacketQueue = queue::BoundedQueue<PacketPtr, PacketBytes>;

}  // namespace vistamo::media
