#include "video_renderer.h"

namespace vistamo::media {

bool VideoRenderer::isSupported(VideoFormat::PixelFormat format) const {
    return VideoFormat::toAV(format) != AV_PIX_FMT_NONE;
}

}  // namespace vistamo::media
