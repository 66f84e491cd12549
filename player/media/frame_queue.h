// Decoded video frames between the video decode thread and the
// presentation thread: the shared bounded queue, a few frames deep so
// that decoding runs only a little ahead; an end marker closes the stream.
#pragma once

#include "bounded_queue.h"
#include "video_frame.h"

namespace vistamo::media {

// A frame with the serial of the packets it was decoded from, so that the
// presenter drops frames of a stream position that a seek has left.
struct DecodedFrame {
    VideoFrame frame;
    int serial = 0;
};

using FrameQueue = queue::BoundedQueue<DecodedFrame>;

}  // namespace vistamo::media
