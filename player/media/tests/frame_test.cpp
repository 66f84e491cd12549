// Frames, formats, the clock and the volume arithmetic, without playback.
#include <gtest/gtest.h>

#include <QThread>

extern "C" {
#include <libavutil/frame.h>
}

#include "audio_output.h"
#include "av_clock.h"
#include "video_frame.h"

namespace vistamo::media {
namespace {

// A 64 × 32 YUV 4:2:0 frame: left half dark red, right half light blue.
VideoFrame makeFrame() {
    AVFrame* f = av_frame_alloc();
    f->format = AV_PIX_FMT_YUV420P;
    f->width = 64;
    f->height = 32;
    av_frame_get_buffer(f, 0);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
            f->data[0][y * f->linesize[0] + x] = x < 32 ? 60 : 180;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            f->data[1][y * f->linesize[1] + x] = x < 16 ? 100 : 170;  // U
            f->data[2][y * f->linesize[2] + x] = x < 16 ? 200 : 100;  // V
        }
    VideoFrame frame(f, 1.25);
    av_frame_free(&f);
    return frame;
}

TEST(VideoFrame, DescribesItsPicture) {
    const VideoFrame frame = makeFrame();
    ASSERT_TRUE(frame.isValid());
    EXPECT_EQ(frame.size(), QSize(64, 32));
    EXPECT_EQ(frame.format(), VideoFormat::Format_YUV420P);
    EXPECT_EQ(frame.planeCount(), 3);
    EXPECT_GE(frame.bytesPerLine(1), 32);
    EXPECT_NE(frame.constBits(2), nullptr);
    EXPECT_EQ(frame.constBits(3), nullptr);
    EXPECT_DOUBLE_EQ(frame.timestamp(), 1.25);
    const VideoFrame none;
    EXPECT_FALSE(none.isValid());
    EXPECT_TRUE(none.toImage().isNull());
    EXPECT_FALSE(none.to(VideoFormat::Format_ARGB32).isValid());
}

TEST(VideoFrame, ConvertsToImagesOfAnySize) {
    const VideoFrame frame = makeFrame();
    const QImage full = frame.toImage(QImage::Format_ARGB32);
    ASSERT_EQ(full.size(), QSize(64, 32));
    const QColor left = full.pixelColor(8, 16), right = full.pixelColor(56, 16);
    EXPECT_GT(left.red(), left.blue());
    EXPECT_GT(right.blue(), right.red());
    EXPECT_EQ(left.alpha(), 255);
    const QImage half = frame.toImage(QImage::Format_RGB888, QSize(32, 16));
    ASSERT_EQ(half.size(), QSize(32, 16));
    EXPECT_GT(half.pixelColor(4, 8).red(), half.pixelColor(4, 8).blue());
    EXPECT_TRUE(frame.toImage(QImage::Format_Mono).isNull());  // not offered
}

TEST(VideoFrame, ConvertsBetweenPixelFormats) {
    const VideoFrame frame = makeFrame();
    const VideoFrame argb = frame.to(VideoFormat::Format_ARGB32, QSize(16, 8));
    ASSERT_TRUE(argb.isValid());
    EXPECT_EQ(argb.format(), VideoFormat::Format_ARGB32);
    EXPECT_EQ(argb.size(), QSize(16, 8));
    EXPECT_DOUBLE_EQ(argb.timestamp(), 1.25);
    // The same format and size is the same frame, shared.
    EXPECT_EQ(frame.to(VideoFormat::Format_YUV420P).constBits(0), frame.constBits(0));
    EXPECT_EQ(VideoFormat::fromAV(AV_PIX_FMT_YUVJ420P), VideoFormat::Format_YUV420P);
    EXPECT_EQ(VideoFormat::Format_YUV420P, 15);
}

TEST(AudioOutputVolume, ScalesAndClips) {
    int16_t s[] = {1000, -1000, 20000, -20000, 32767, -32768};
    AudioOutput::applyVolume(s, 6, 2.0f);
    EXPECT_EQ(s[0], 2000);
    EXPECT_EQ(s[1], -2000);
    EXPECT_EQ(s[2], 32767);
    EXPECT_EQ(s[3], -32768);
    int16_t q[] = {1000, -3};
    AudioOutput::applyVolume(q, 2, 0.5f);
    EXPECT_EQ(q[0], 500);
    EXPECT_EQ(q[1], -1);
    AudioOutput out;
    out.setVolume(9);
    EXPECT_EQ(out.volume(), 4.0);
    out.setVolume(-1);
    EXPECT_EQ(out.volume(), 0.0);
}

TEST(AVClockTest, RunsPausesAndResets) {
    AVClock clock;
    clock.setClockAuto(false);
    clock.setClockType(AVClock::VideoClock);
    EXPECT_EQ(clock.clockType(), AVClock::VideoClock);
    clock.reset(10.0);
    QThread::msleep(60);
    const double running = clock.value();
    EXPECT_GT(running, 10.04);
    clock.setPaused(true);
    const double held = clock.value();
    QThread::msleep(40);
    EXPECT_DOUBLE_EQ(clock.value(), held);
    clock.setPaused(false);
    QThread::msleep(20);
    EXPECT_GT(clock.value(), held);
    // The audio position is used by the audio clock only.
    clock.setAudioPosition([] { return 99.0; });
    EXPECT_LT(clock.value(), 20.0);
    clock.setClockType(AVClock::AudioClock);
    EXPECT_DOUBLE_EQ(clock.value(), 99.0);
}

}  // namespace
}  // namespace vistamo::media
