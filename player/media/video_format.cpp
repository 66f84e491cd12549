#include "video_format.h"

namespace vistamo::media {

AVPixelFormat VideoFormat::toAV(PixelFormat format) {
    switch (format) {
    case Format_ARGB32: return AV_PIX_FMT_BGRA;
    case Format_RGB32: return AV_PIX_FMT_BGRA;
    case Format_RGB24: return AV_PIX_FMT_RGB24;
    case Format_RGBA32: return AV_PIX_FMT_RGBA;
    case Format_YUV420P: return AV_PIX_FMT_YUV420P;
    case Format_NV12: return AV_PIX_FMT_NV12;
    case Format_YUV422P: return AV_PIX_FMT_YUV422P;
    case Format_YUV444P: return AV_PIX_FMT_YUV444P;
    case Format_GRAY8: return AV_PIX_FMT_GRAY8;
    case Format_Invalid: break;
    }
    return AV_PIX_FMT_NONE;
}

VideoFormat::PixelFormat VideoFormat::fromAV(AVPixelFormat format) {
    switch (format) {
    case AV_PIX_FMT_BGRA: return Format_ARGB32;
    case AV_PIX_FMT_RGB24: return Format_RGB24;
    case AV_PIX_FMT_RGBA: return Format_RGBA32;
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P: return Format_YUV420P;
    case AV_PIX_FMT_NV12: return Format_NV12;
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P: return Format_YUV422P;
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_YUVJ444P: return Format_YUV444P;
    case AV_PIX_FMT_GRAY8: return Format_GRAY8;
    default: return Format_Invalid;
    }
}

}  // namespace vistamo::media
