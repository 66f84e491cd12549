#include "frame_intake.h"

#include <QDebug>

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "circle_detection.h"
#include "row_bands.h"

namespace vistamo::render {

namespace {

// The presentation thread packs with one helper (a few milliseconds for a
// 3840 × 1920 frame here) while the GUI thread and GL draw the last one.
constexpr int kPackThreads = 2;

}  // namespace

QSize intakeSize(QSize frame) {
    if (frame.width() > 8192)
        return {};
    if (frame.width() < 2160)
        return frame;
    return QSize((frame.width() / 4) * 2, (frame.height() / 4) * 2);
}

PlaneFormat planeFormatOf(AVPixelFormat format) {
    PlaneFormat out;
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    if (!d || d->nb_components != 3 || (d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BE |
                                                    AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM |
                                                    AV_PIX_FMT_FLAG_FLOAT)))
        return out;
    const AVComponentDescriptor& y = d->comp[0];
    const AVComponentDescriptor& cb = d->comp[1];
    const AVComponentDescriptor& cr = d->comp[2];
    for (const AVComponentDescriptor* c : {&y, &cb, &cr})
        if (c->depth != y.depth || c->shift != 0)
            return out;  // mixed depths, or samples in the high bits (P010)
    const bool eightBit = y.depth == 8 && y.step == 1;
    const bool wide = y.depth > 8 && y.depth <= 16 && y.step == 2;
    if (!eightBit && !wide)
        return out;
    out.bits = y.depth;
    out.bytesPerSample = eightBit ? 1 : 2;
    if (y.plane == 0 && cb.plane == 1 && cr.plane == 2 && cb.step == y.step && cr.step == y.step &&
        y.offset == 0 && cb.offset == 0 && cr.offset == 0) {
        out.layout = PlaneLayout::Planar;
    } else if (eightBit && y.plane == 0 && cb.plane == 1 && cr.plane == 1 && cb.step == 2 && cr.step == 2 &&
               cb.offset == 0 && cr.offset == 1) {
        out.layout = PlaneLayout::Interleaved;
    }
    return out;
}

namespace {

// Rows [first, end) of an 8-bit frame: one 32-bit texel (Y, Cb, Cr, 255 in
// memory order) per pixel. chromaStep is 1 for planar chroma, 2 when Cb
// and Cr alternate in one plane (then vPlane is uPlane + 1).
void packRows8(const uint8_t* yPlane, int yStride, const uint8_t* uPlane, const uint8_t* vPlane, int cStride,
               int chromaStep, int shiftW, int shiftH, int width, uint8_t* out, int first, int end) {
    for (int row = first; row < end; ++row) {
        const uint8_t* y = yPlane + size_t(row) * size_t(yStride);
        const uint8_t* u = uPlane + size_t(row >> shiftH) * size_t(cStride);
        const uint8_t* v = vPlane + size_t(row >> shiftH) * size_t(cStride);
        uint8_t* o = out + size_t(row) * size_t(width) * 4;
        if (shiftW == 1 && chromaStep == 1) {
            // 4:2:0 and 4:2:2: one chroma pair per two pixels.
            const int pairs = width / 2;
            for (int c = 0; c < pairs; ++c) {
                const uint8_t cb = u[c], cr = v[c];
                uint8_t* t = o + 8 * c;
                t[0] = y[2 * c];
                t[1] = cb;
                t[2] = cr;
                t[3] = 255;
                t[4] = y[2 * c + 1];
                t[5] = cb;
                t[6] = cr;
                t[7] = 255;
            }
            if (width % 2) {
                uint8_t* t = o + 4 * (width - 1);
                t[0] = y[width - 1];
                t[1] = u[pairs];
                t[2] = v[pairs];
                t[3] = 255;
            }
            continue;
        }
        for (int x = 0; x < width; ++x) {
            const int c = (x >> shiftW) * chromaStep;
            uint8_t* t = o + 4 * x;
            t[0] = y[x];
            t[1] = u[c];
            t[2] = v[c];
            t[3] = 255;
        }
    }
}

// Rows [first, end) of the half-size picture of an 8-bit frame: each texel
// the mean of a 2 × 2 block of luma and the chroma sample at the block's
// corner (for 4:2:0 exactly the block's own chroma).
void packHalfRows8(const uint8_t* yPlane, int yStride, const uint8_t* uPlane, const uint8_t* vPlane, int cStride,
                   int chromaStep, int shiftW, int shiftH, int width, uint8_t* out, int first, int end) {
    for (int row = first; row < end; ++row) {
        const uint8_t* y0 = yPlane + size_t(2 * row) * size_t(yStride);
        const uint8_t* y1 = y0 + yStride;
        const uint8_t* u = uPlane + size_t((2 * row) >> shiftH) * size_t(cStride);
        const uint8_t* v = vPlane + size_t((2 * row) >> shiftH) * size_t(cStride);
        uint8_t* o = out + size_t(row) * size_t(width) * 4;
        for (int x = 0; x < width; ++x) {
            const int c = ((2 * x) >> shiftW) * chromaStep;
            uint8_t* t = o + 4 * x;
            t[0] = uint8_t((y0[2 * x] + y0[2 * x + 1] + y1[2 * x] + y1[2 * x + 1] + 2) >> 2);
            t[1] = u[c];
            t[2] = v[c];
            t[3] = 255;
        }
    }
}

// The same for samples of `bits` bits in 16-bit little-endian words,
// rounded to 8 bits.
void packRows16(const uint8_t* yPlane, int yStride, const uint8_t* uPlane, const uint8_t* vPlane, int cStride,
                int bits, int shiftW, int shiftH, int width, uint8_t* out, int first, int end) {
    const int drop = bits - 8;
    const int maxIn = (1 << bits) - 1;
    auto eight = [&](const uint8_t* p, int i) {
        int v = p[2 * i] | (p[2 * i + 1] << 8);
        v = std::min(v, maxIn);
        return uint8_t(std::min(255, (v + (drop > 0 ? 1 << (drop - 1) : 0)) >> drop));
    };
    for (int row = first; row < end; ++row) {
        const uint8_t* y = yPlane + size_t(row) * size_t(yStride);
        const uint8_t* u = uPlane + size_t(row >> shiftH) * size_t(cStride);
        const uint8_t* v = vPlane + size_t(row >> shiftH) * size_t(cStride);
        uint8_t* o = out + size_t(row) * size_t(width) * 4;
        for (int x = 0; x < width; ++x) {
            uint8_t* t = o + 4 * x;
            t[0] = eight(y, x);
            t[1] = eight(u, x >> shiftW);
            t[2] = eight(v, x >> shiftW);
            t[3] = 255;
        }
    }
}

}  // namespace

bool packYuv(const media::VideoFrame& frame, std::vector<uint8_t>& out, int threads, bool half) {
    const PlaneFormat format = planeFormatOf(frame.avFormat());
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(frame.avFormat());
    if (format.layout == PlaneLayout::None || !d || !frame.isValid())
        return false;
    if (half && format.bytesPerSample != 1)
        return false;
    const int width = half ? frame.width() / 4 * 2 : frame.width();
    const int height = half ? frame.height() / 4 * 2 : frame.height();
    out.resize(size_t(width) * size_t(height) * 4);
    const uint8_t* yPlane = frame.constBits(0);
    const uint8_t* uPlane = frame.constBits(1);
    const bool interleaved = format.layout == PlaneLayout::Interleaved;
    const uint8_t* vPlane = interleaved ? uPlane + 1 : frame.constBits(2);
    if (!yPlane || !uPlane || !vPlane)
        return false;
    const int shiftW = d->log2_chroma_w, shiftH = d->log2_chroma_h;
    auto rows = [&](int first, int end) {
        if (half)
            packHalfRows8(yPlane, frame.bytesPerLine(0), uPlane, vPlane, frame.bytesPerLine(1), interleaved ? 2 : 1,
                          shiftW, shiftH, width, out.data(), first, end);
        else if (format.bytesPerSample == 1)
            packRows8(yPlane, frame.bytesPerLine(0), uPlane, vPlane, frame.bytesPerLine(1), interleaved ? 2 : 1,
                      shiftW, shiftH, width, out.data(), first, end);
        else
            packRows16(yPlane, frame.bytesPerLine(0), uPlane, vPlane, frame.bytesPerLine(1), format.bits, shiftW,
                       shiftH, width, out.data(), first, end);
    };
    vistamo::threads::forRowBands(height, std::clamp(threads, 1, 8), rows);
    return true;
}

PackedPicture FrameIntake::prepare(const media::VideoFrame& frame) {
    if (!frame.isValid() || intakeSize(frame.size()).isEmpty())
        return {};
    // Frames 2160 pixels wide or wider are shown at half size: software GL
    // samples a picture of a quarter of the bytes about twice as fast.
    const bool half = intakeSize(frame.size()) != frame.size();
    media::VideoFrame source = frame;
    const PlaneFormat format = planeFormatOf(frame.avFormat());
    if (format.layout == PlaneLayout::None || (half && format.bytesPerSample != 1))
        source = frame.to(media::VideoFormat::Format_YUV420P);
    // A buffer that the view no longer holds is filled again.
    std::shared_ptr<std::vector<uint8_t>> buffer;
    for (const auto& b : buffers_)
        if (b.use_count() == 1) {
            buffer = b;
            break;
        }
    if (!buffer) {
        buffer = std::make_shared<std::vector<uint8_t>>();
        if (buffers_.size() < 4)
            buffers_.push_back(buffer);
    }
    if (!packYuv(source, *buffer, kPackThreads, half))
        return {};
    PackedPicture picture;
    picture.texels = buffer;
    const QSize size = intakeSize(source.size());
    picture.width = size.width();
    picture.height = size.height();
    picture.rule = source.colourRule();
    picture.source = source;
    return picture;
}

bool FrameIntake::build(const media::VideoFrame& frame, const Request& request) {
    if (!request.buildCoordinates || !frame.isValid())
        return false;
    if (request.kind == Twins) {
        ImageData record = request.record;
        record.frameWidth = frame.width();
        record.frameHeight = frame.height();
        twins_.setImageData(record);
        return true;
    }
    if (request.kind != Sphere)
        return false;
    if (request.record.calibrated) {
        // The calibration was measured on a picture of its own width: scale
        // circle and sizes to this frame.
        ImageData record = request.record;
        record.frameWidth = frame.width();
        record.frameHeight = frame.height();
        const double x = double(record.frameWidth) / std::max(record.calibWidth, 1);
        record.calibWidth = saturatedInt(record.calibWidth * x);
        record.calibHeight = saturatedInt(record.calibHeight * x);
        if (record.lenses.size() == 1) {
            LenParam& lens = record.lenses[0];
            lens.radius = saturatedInt(lens.radius * x);
            lens.centerX = saturatedInt(lens.centerX * x);
            lens.centerY = saturatedInt(lens.centerY * x);
        }
        sphere_.setImageData(record);
        return true;
    }
    // The circle is searched on the picture as B, G, R, A, converted by the
    // frame's colour rule.
    const QImage image = frame.toImage(QImage::Format_ARGB32, intakeSize(frame.size()));
    if (image.isNull())
        return false;
    qDebug() << "frame image format" << int(image.format());
    const cv::Mat pixels(image.height(), image.width(), CV_8UC4, const_cast<uchar*>(image.constBits()),
                         size_t(image.bytesPerLine()));
    const vision::CircleFit fit = vision::detectFisheyeCircle(pixels);
    ImageData record;
    record.calibrated = true;
    record.frameWidth = fit.width;
    record.frameHeight = fit.height;
    record.fov = vision::kDetectedFov;
    LenParam lens;
    lens.radius = saturatedInt(fit.radius);
    lens.centerX = saturatedInt(fit.centerX);
    lens.centerY = saturatedInt(fit.centerY);
    record.lenses.push_back(lens);
    sphere_.setImageData(record);
    return true;
}

std::vector<lens::LensPair> twinsBandPairs(const PackedPicture& picture, const float* coordsA, const float* coordsB,
                                           const float* weightsB, size_t vertices) {
    std::vector<lens::LensPair> pairs;
    if (!picture.isValid())
        return pairs;
    const colour::YuvToRgb toRgb = colour::yuvToRgb(picture.rule);
    const std::vector<uint8_t>& texels = *picture.texels;
    auto sample = [&](float u, float v, uint8_t rgb[3]) {
        if (!(u >= 0.0f && u <= 1.0f && v >= 0.0f && v <= 1.0f))
            return false;
        const int x = std::min(int(u * float(picture.width)), picture.width - 1);
        const int y = std::min(int(v * float(picture.height)), picture.height - 1);
        const uint8_t* t = &texels[(size_t(y) * size_t(picture.width) + size_t(x)) * 4];
        for (int c = 0; c < 3; ++c) {
            float value = 0;
            for (int k = 0; k < 3; ++k)
                value += toRgb.m[3 * c + k] * (float(t[k]) / 255.0f - toRgb.offset[k]);
            rgb[c] = uint8_t(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f));
        }
        return true;
    };
    for (size_t i = 0; i < vertices; ++i) {
        if (!(weightsB[i] > 0.0f && weightsB[i] < 1.0f))
            continue;
        lens::LensPair pair;
        if (sample(coordsA[2 * i], coordsA[2 * i + 1], pair.a) && sample(coordsB[2 * i], coordsB[2 * i + 1], pair.b))
            pairs.push_back(pair);
    }
    return pairs;
}

}  // namespace vistamo::render
