// Pixel formats of decoded frames, as the player's renderers name them.
#pragma once

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace vistamo::media {

class VideoFormat {
public:
    // Numbered so that stored settings and callers can use the values.
    enum PixelFormat {
        Format_Invalid = -1,
        Format_ARGB32 = 0,   // QImage::Format_ARGB32 byte order (B, G, R, A in memory)
        Format_RGB32 = 1,    // as ARGB32 with opaque alpha
        Format_RGB24 = 6,
        Format_RGBA32 = 3,
        Format_YUV420P = 15, // planar Y, U, V with 2 × 2 chroma subsampling
        Format_NV12 = 16,
        Format_YUV422P = 17,
        Format_YUV444P = 18,
        Format_GRAY8 = 19,
    };

    static AVPixelFormat toAV(PixelFormat format);
    // Full-range JPEG variants map to their plain counterparts.
    static PixelFormat fromAV(AVPixelFormat format);
};

}  // namespace vistamo::media
