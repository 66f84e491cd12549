// The frame intake without GL: which layouts are read as they are, and the
// texels they are packed into, for each subsampling and depth.
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/common.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

#include "frame_intake.h"

namespace vistamo::render {
namespace {

// A frame whose sample at (x, y) of plane p is value(p, x, y), rows padded
// as a decoder pads them.
media::VideoFrame makeFrame(AVPixelFormat format, int w, int h, int (*value)(int, int, int)) {
    AVFrame* f = av_frame_alloc();
    f->format = format;
    f->width = w;
    f->height = h;
    av_frame_get_buffer(f, 64);
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    const int planes = av_pix_fmt_count_planes(format);
    for (int p = 0; p < planes; ++p) {
        const int pw = p ? AV_CEIL_RSHIFT(w, d->log2_chroma_w) : w;
        const int ph = p ? AV_CEIL_RSHIFT(h, d->log2_chroma_h) : h;
        const bool nv = planes == 2 && p == 1;
        const int bytes = d->comp[0].step;  // 1 or 2 for planar; NV12 chroma is 2 one-byte samples
        for (int y = 0; y < ph; ++y)
            for (int x = 0; x < pw; ++x) {
                uint8_t* row = f->data[p] + size_t(y) * size_t(f->linesize[p]);
                if (nv) {
                    row[2 * x] = uint8_t(value(1, x, y));
                    row[2 * x + 1] = uint8_t(value(2, x, y));
                } else if (bytes == 2) {
                    const int v = value(p, x, y);
                    row[2 * x] = uint8_t(v & 0xFF);
                    row[2 * x + 1] = uint8_t(v >> 8);
                } else {
                    row[x] = uint8_t(value(p, x, y));
                }
            }
    }
    media::VideoFrame frame(f, 0);
    av_frame_free(&f);
    return frame;
}

int pattern(int p, int x, int y) { return (p * 70 + x * 3 + y * 5) % 256; }
int tenBit(int p, int x, int y) { return (p * 300 + x * 13 + y * 7) % 1024; }

TEST(FrameIntake, LayoutsReadAsTheyAre) {
    struct Case {
        AVPixelFormat format;
        PlaneLayout layout;
        int bits;
    };
    const Case cases[] = {
        {AV_PIX_FMT_YUV420P, PlaneLayout::Planar, 8},     {AV_PIX_FMT_YUVJ420P, PlaneLayout::Planar, 8},
        {AV_PIX_FMT_YUV422P, PlaneLayout::Planar, 8},     {AV_PIX_FMT_YUV444P, PlaneLayout::Planar, 8},
        {AV_PIX_FMT_YUV410P, PlaneLayout::Planar, 8},     {AV_PIX_FMT_NV12, PlaneLayout::Interleaved, 8},
        {AV_PIX_FMT_YUV420P10LE, PlaneLayout::Planar, 10}, {AV_PIX_FMT_YUV444P12LE, PlaneLayout::Planar, 12},
        // Converted first: NV21's order, P010's high bits, big-endian words,
        // RGB, grey, alpha.
        {AV_PIX_FMT_NV21, PlaneLayout::None, 8},          {AV_PIX_FMT_P010LE, PlaneLayout::None, 10},
        {AV_PIX_FMT_YUV420P10BE, PlaneLayout::None, 10},  {AV_PIX_FMT_RGB24, PlaneLayout::None, 8},
        {AV_PIX_FMT_GRAY8, PlaneLayout::None, 8},         {AV_PIX_FMT_YUVA420P, PlaneLayout::None, 8},
    };
    for (const Case& c : cases) {
        const PlaneFormat f = planeFormatOf(c.format);
        EXPECT_EQ(f.layout, c.layout) << av_get_pix_fmt_name(c.format);
        if (c.layout != PlaneLayout::None)
            EXPECT_EQ(f.bits, c.bits) << av_get_pix_fmt_name(c.format);
    }
}

TEST(FrameIntake, PackingKeepsEverySampleInPlace) {
    struct Case {
        AVPixelFormat format;
        int shiftW, shiftH;
    };
    // Odd sizes: the last column and row take the last chroma sample.
    for (const Case& c : {Case{AV_PIX_FMT_YUV420P, 1, 1}, Case{AV_PIX_FMT_YUV422P, 1, 0},
                          Case{AV_PIX_FMT_YUV444P, 0, 0}, Case{AV_PIX_FMT_NV12, 1, 1},
                          Case{AV_PIX_FMT_YUV410P, 2, 2}}) {
        const media::VideoFrame frame = makeFrame(c.format, 37, 21, pattern);
        for (int threads : {1, 3}) {
            std::vector<uint8_t> texels;
            ASSERT_TRUE(packYuv(frame, texels, threads));
            ASSERT_EQ(texels.size(), size_t(37 * 21 * 4));
            for (int y = 0; y < 21; ++y)
                for (int x = 0; x < 37; ++x) {
                    const uint8_t* t = &texels[(size_t(y) * 37 + size_t(x)) * 4];
                    ASSERT_EQ(t[0], pattern(0, x, y)) << av_get_pix_fmt_name(c.format) << " " << x << "," << y;
                    ASSERT_EQ(t[1], pattern(1, x >> c.shiftW, y >> c.shiftH)) << av_get_pix_fmt_name(c.format);
                    ASSERT_EQ(t[2], pattern(2, x >> c.shiftW, y >> c.shiftH)) << av_get_pix_fmt_name(c.format);
                    ASSERT_EQ(t[3], 255);
                }
        }
    }
    // Ten bits round to eight.
    const media::VideoFrame ten = makeFrame(AV_PIX_FMT_YUV420P10LE, 16, 8, tenBit);
    std::vector<uint8_t> texels;
    ASSERT_TRUE(packYuv(ten, texels, 2));
    for (int x = 0; x < 16; ++x) {
        EXPECT_EQ(texels[size_t(x) * 4], std::min(255, (tenBit(0, x, 0) + 2) >> 2));
        EXPECT_EQ(texels[size_t(x) * 4 + 1], std::min(255, (tenBit(1, x / 2, 0) + 2) >> 2));
    }
    // Half size: the mean of each 2 × 2 luma block, the block's chroma.
    const media::VideoFrame big = makeFrame(AV_PIX_FMT_YUV420P, 40, 20, pattern);
    ASSERT_TRUE(packYuv(big, texels, 2, true));
    ASSERT_EQ(texels.size(), size_t(20 * 10 * 4));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            const int mean = (pattern(0, 2 * x, 2 * y) + pattern(0, 2 * x + 1, 2 * y) + pattern(0, 2 * x, 2 * y + 1) +
                              pattern(0, 2 * x + 1, 2 * y + 1) + 2) / 4;
            ASSERT_EQ(texels[(size_t(y) * 20 + size_t(x)) * 4], mean);
            ASSERT_EQ(texels[(size_t(y) * 20 + size_t(x)) * 4 + 2], pattern(2, x, y));
        }
    std::vector<uint8_t> none;
    EXPECT_FALSE(packYuv(makeFrame(AV_PIX_FMT_RGB24, 8, 8, pattern), none, 1));
}

TEST(FrameIntake, PreparedPicturesCarryTheirRuleAndReuseBuffers) {
    FrameIntake intake;
    const media::VideoFrame frame = makeFrame(AV_PIX_FMT_YUVJ422P, 64, 32, pattern);
    PackedPicture first = intake.prepare(frame);
    ASSERT_TRUE(first.isValid());
    EXPECT_EQ(first.rule.range, colour::YuvRange::Full);
    EXPECT_EQ(first.rule.matrix, colour::YuvMatrix::Bt601);  // 32 rows, untagged: the guess
    const std::vector<uint8_t>* held = first.texels.get();
    // Held by the view: the next picture gets another buffer; let go of,
    // its buffer is filled again.
    PackedPicture second = intake.prepare(frame);
    EXPECT_NE(second.texels.get(), held);
    first = PackedPicture();
    second = PackedPicture();
    EXPECT_EQ(intake.prepare(frame).texels.get(), held);
    // Converted layouts come out packed too; huge frames are not taken.
    EXPECT_TRUE(intake.prepare(makeFrame(AV_PIX_FMT_RGB24, 16, 8, pattern)).isValid());
    EXPECT_FALSE(intake.prepare(makeFrame(AV_PIX_FMT_YUV420P, 8194, 4, pattern)).isValid());
}

}  // namespace
}  // namespace vistamo::render
