#include "video_frame.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace vistamo::media {
namespace {

std::shared_ptr<AVFrame> makeFrame() {
    return std::shared_ptr<AVFrame>(av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
}

AVPixelFormat avFormatOf(QImage::Format format) {
    switch (format) {
    case QImage::Format_ARGB32:
    case QImage::Format_RGB32: return AV_PIX_FMT_BGRA;  // little-endian 0xAARRGGBB
    case QImage::Format_RGB888: return AV_PIX_FMT_RGB24;
    case QImage::Format_RGBA8888: return AV_PIX_FMT_RGBA;
    case QImage::Format_Grayscale8: return AV_PIX_FMT_GRAY8;
    default: return AV_PIX_FMT_NONE;
    }
}

// One cached scaler per thread: frames of one stream keep the same shape,
// so the context is made once per stream and thread.
struct ScalerCache {
    SwsContext* context = nullptr;
    ~ScalerCache() { sws_freeContext(context); }
};

bool fullRangeFormat(AVPixelFormat format) {
    return format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P ||
           format == AV_PIX_FMT_YUVJ440P || format == AV_PIX_FMT_YUVJ411P;
}

// A scaler from the frame to width × height of dst, converting by rule:
// YUV to RGB by the rule's matrix and range, YUV to YUV keeping both.
SwsContext* scalerFor(const AVFrame* src, const colour::ColourRule& rule, int width, int height, AVPixelFormat dst) {
    thread_local ScalerCache cache;
    // Full-range formats (JPEG) are scaled as their plain format with the
    // full-range flag, which swscale otherwise warns about.
    AVPixelFormat srcFormat = AVPixelFormat(src->format);
    switch (srcFormat) {
    case AV_PIX_FMT_YUVJ420P: srcFormat = AV_PIX_FMT_YUV420P; break;
    case AV_PIX_FMT_YUVJ422P: srcFormat = AV_PIX_FMT_YUV422P; break;
    case AV_PIX_FMT_YUVJ444P: srcFormat = AV_PIX_FMT_YUV444P; break;
    default: break;
    }
    // Accurate rounding keeps swscale off shortcuts with fixed coefficients.
    cache.context = sws_getCachedContext(cache.context, src->width, src->height, srcFormat, width, height, dst,
                                         SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (cache.context) {
        const int* table = sws_getCoefficients(colour::h273Matrix(rule.matrix));
        const int full = rule.range == colour::YuvRange::Full ? 1 : 0;
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(dst);
        // An RGB result is full range; a YUV one keeps the source's range.
        const int dstFull = d && (d->flags & AV_PIX_FMT_FLAG_RGB) ? 1 : full;
        sws_setColorspaceDetails(cache.context, table, full, table, dstFull, 0, 1 << 16, 1 << 16);
    }
    return cache.context;
}

}  // namespace

VideoFrame::VideoFrame(const AVFrame* frame, double timestamp, bool jpeg) : timestamp_(timestamp) {
    if (!frame)
        return;
    colour::ColourTags tags;
    tags.matrix = frame->colorspace;
    tags.range = frame->color_range;
    tags.height = frame->height;
    tags.jpeg = jpeg;
    tags.fullRangeFormat = fullRangeFormat(AVPixelFormat(frame->format));
    rule_ = colour::resolveColourRule(tags);
    frame_ = makeFrame();
    if (!frame_ || av_frame_ref(frame_.get(), frame) < 0)
        frame_.reset();
}

int VideoFrame::width() const { return frame_ ? frame_->width : 0; }
int VideoFrame::height() const { return frame_ ? frame_->height : 0; }

AVPixelFormat VideoFrame::avFormat() const {
    return frame_ ? AVPixelFormat(frame_->format) : AV_PIX_FMT_NONE;
}

VideoFormat::PixelFormat VideoFrame::format() const { return VideoFormat::fromAV(avFormat()); }

int VideoFrame::planeCount() const {
    return frame_ ? av_pix_fmt_count_planes(AVPixelFormat(frame_->format)) : 0;
}

const uchar* VideoFrame::constBits(int plane) const {
    return frame_ && plane >= 0 && plane < planeCount() ? frame_->data[plane] : nullptr;
}

int VideoFrame::bytesPerLine(int plane) const {
    return frame_ && plane >= 0 && plane < planeCount() ? frame_->linesize[plane] : 0;
}

VideoFrame VideoFrame::to(VideoFormat::PixelFormat format, QSize size) const {
    const AVPixelFormat dst = VideoFormat::toAV(format);
    if (!frame_ || dst == AV_PIX_FMT_NONE)
        return {};
    if (size.isEmpty())
        size = this->size();
    if (dst == avFormat() && size == this->size())
        return *this;
    std::shared_ptr<AVFrame> out = makeFrame();
    out->format = dst;
    out->width = size.width();
    out->height = size.height();
    if (av_frame_get_buffer(out.get(), 0) < 0)
        return {};
    SwsContext* sws = scalerFor(frame_.get(), rule_, size.width(), size.height(), dst);
    if (!sws || sws_scale(sws, frame_->data, frame_->linesize, 0, frame_->height, out->data, out->linesize) <= 0)
        return {};
    // The samples keep their meaning; the tags say so.
    out->colorspace = AVColorSpace(colour::h273Matrix(rule_.matrix));
    out->color_range = AVColorRange(colour::avRange(rule_.range));
    VideoFrame result;
    result.frame_ = std::move(out);
    result.timestamp_ = timestamp_;
    result.rule_ = rule_;
    return result;
}

QImage VideoFrame::toImage(QImage::Format format, QSize size) const {
    const AVPixelFormat dst = avFormatOf(format);
    if (!frame_ || dst == AV_PIX_FMT_NONE)
        return {};
    if (size.isEmpty())
        size = this->size();
    QImage image(size, format);
    if (image.isNull())
        return {};
    SwsContext* sws = scalerFor(frame_.get(), rule_, size.width(), size.height(), dst);
    uint8_t* planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
    if (!sws || sws_scale(sws, frame_->data, frame_->linesize, 0, frame_->height, planes, strides) <= 0)
        return {};
    return image;
}

}  // namespace vistamo::media
