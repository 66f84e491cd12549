// The player on real files: frame order and times, pause, seek, stop, the
// end of the medium, stills, renderer changes and bad input.
#include <gtest/gtest.h>

#include <memory>

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "media_source.h"
#include "media_test_support.h"

namespace vistamo::media {
namespace {

using test::fixture;
using test::RecordingRenderer;
using test::spin;
using test::waitFor;

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        player.setRenderer(&renderer);
        player.masterClock()->setClockAuto(false);
        player.masterClock()->setClockType(AVClock::VideoClock);
    }
    bool playUntilStopped(int timeoutMs = 8000) {
        return waitFor([this] { return player.state() == AVPlayer::StoppedState; }, timeoutMs);
    }

    RecordingRenderer renderer;
    AVPlayer player;
};

TEST_F(PlayerTest, EveryFrameInOrderAtItsTime) {
    // Three containers and codecs, each one second at 25 fps.
    for (const char* name : {"h264-aac.mp4", "hevc-aac.mov", "mpeg4-mp3.mp4", "h264-mp3.flv"}) {
        // A frame that comes late because the machine is busy with other
        // tests is dropped, as it should be: a clip is played up to three
        // times, so that only a fault that loses frames every time fails.
        std::unique_ptr<RecordingRenderer> r;
        double elapsed = 0;
        for (int attempt = 1; attempt <= 3; ++attempt) {
            auto fresh = std::make_unique<RecordingRenderer>();
            player.setRenderer(fresh.get());
            r = std::move(fresh);
            player.setMediaEndAction(AVPlayer::MediaEndAction_KeepDisplay);
            QElapsedTimer wall;
            wall.start();
            player.play(fixture(name));
            ASSERT_EQ(player.state(), AVPlayer::PlayingState) << name;
            ASSERT_TRUE(playUntilStopped()) << name;
            elapsed = wall.elapsed() / 1000.0;
            if (player.statistics().dropped == 0)
                break;
        }
        const std::vector<test::ReceivedFrame> frames = r->frames();
        ASSERT_EQ(frames.size(), 25u) << name;
        // Times count from the container's start; a stream may begin a
        // little after it (the FLV's video follows its audio).
        EXPECT_LT(frames[0].timestamp, 0.05) << name;
        for (size_t k = 0; k < frames.size(); ++k) {
            EXPECT_NEAR(frames[k].timestamp - frames[0].timestamp, k * 0.04, 0.002) << name << " frame " << k;
            EXPECT_EQ(frames[k].format, VideoFormat::Format_YUV420P);
            EXPECT_EQ(frames[k].width, 320);
        }
        // Presented in real time, not as fast as decoding goes; every frame
        // of the B-frame clips is shown, none dropped.
        EXPECT_GT(elapsed, 0.9) << name;
        const PlaybackStatistics stats = player.statistics();
        if (!QString(name).endsWith(".flv"))  // FLV has no count; its duration × rate is a guess
            EXPECT_EQ(stats.sourceFrames, 25) << name;
        EXPECT_EQ(stats.shown, 25) << name;
        EXPECT_EQ(stats.dropped, 0) << name;
    }
}

TEST_F(PlayerTest, PauseHoldsAndResumeGoesOn) {
    QSignalSpy states(&player, &AVPlayer::stateChanged);
    player.play(fixture("video-3s.mp4"));
    ASSERT_TRUE(waitFor([this] { return renderer.validCount() >= 10; }));
    player.pause(true);
    EXPECT_TRUE(player.isPaused());
    EXPECT_TRUE(player.isPlaying());
    spin(100);
    const size_t held = renderer.validCount();
    const qint64 position = player.position();
    spin(400);
    EXPECT_EQ(renderer.validCount(), held);
    EXPECT_EQ(player.position(), position);
    player.pause(false);
    EXPECT_FALSE(player.isPaused());
    ASSERT_TRUE(waitFor([&] { return renderer.validCount() >= held + 5; }));
    ASSERT_GE(states.count(), 3);
    EXPECT_EQ(states[0][0].value<AVPlayer::State>(), AVPlayer::PlayingState);
    EXPECT_EQ(states[1][0].value<AVPlayer::State>(), AVPlayer::PausedState);
    EXPECT_EQ(states[2][0].value<AVPlayer::State>(), AVPlayer::PlayingState);
}

TEST_F(PlayerTest, SeekPresentsTheFirstFrameAtTheTarget) {
    player.play(fixture("video-3s.mp4"));
    ASSERT_TRUE(waitFor([this] { return renderer.validCount() >= 3; }));
    for (qint64 target : {2010, 500, 1960, 0}) {
        const size_t before = renderer.frames().size();
        player.seek(target);
        ASSERT_TRUE(waitFor([&] { return renderer.frames().size() > before; })) << target;
        const double first = renderer.frames()[before].timestamp;
        EXPECT_GE(first, target / 1000.0 - 0.0011) << target;
        EXPECT_LT(first, target / 1000.0 + 0.04) << target;
        EXPECT_NEAR(double(player.position()), double(target), 41) << target;
    }
}

TEST_F(PlayerTest, SeekWhilePausedShowsTheNewFrame) {
    player.play(fixture("video-3s.mp4"));
    ASSERT_TRUE(waitFor([this] { return renderer.validCount() >= 3; }));
    player.pause(true);
    spin(100);
    const size_t before = renderer.frames().size();
    player.seek(1500);
    ASSERT_TRUE(waitFor([&] { return renderer.frames().size() == before + 1; }));
    spin(50);
    spin(300);
    EXPECT_EQ(renderer.frames().size(), before + 1);  // one frame, then still paused
    // Frames lie at 1.48 and 1.52: the first at or after the target shows.
    EXPECT_NEAR(renderer.frames().back().timestamp, 1.52, 0.001);
    EXPECT_TRUE(player.isPaused());
}

TEST_F(PlayerTest, StopJoinsPromptlyAndPlaysAgainFromTheStart) {
    player.play(fixture("video-3s.mp4"));
    ASSERT_TRUE(waitFor([this] { return renderer.validCount() >= 5; }));
    QElapsedTimer t;
    t.start();
    player.stop();
    EXPECT_LT(t.elapsed(), 1000);  // a hang shows here, not a speed figure
    EXPECT_EQ(player.state(), AVPlayer::StoppedState);
    // Stopping with the default end action told the renderer to clear.
    ASSERT_FALSE(renderer.frames().back().valid);
    const size_t before = renderer.frames().size();
    player.play();
    ASSERT_TRUE(waitFor([&] { return renderer.frames().size() > before; }));
    EXPECT_TRUE(renderer.frames()[before].valid);
    EXPECT_NEAR(renderer.frames()[before].timestamp, 0.0, 0.001);
}

// The bytes of a file up to a point, then nothing more: a stalled stream.
// Each read waits its whole timeout, as a network read would.
class StallingBytes : public ByteSource {
public:
    StallingBytes(QByteArray bytes, std::atomic<int>& stalledReads) : bytes_(std::move(bytes)), stalled_(stalledReads) {}
    int read(uint8_t* data, int size, int timeoutMs) override {
        if (at_ < bytes_.size()) {
            const int n = std::min(size, int(bytes_.size() - at_));
            std::memcpy(data, bytes_.constData() + at_, size_t(n));
            at_ += n;
            return n;
        }
        ++stalled_;
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return 0;
    }

private:
    QByteArray bytes_;
    int at_ = 0;
    std::atomic<int>& stalled_;
};

TEST_F(PlayerTest, StopAndSeekReturnWhileAReadBlocks) {
    QFile file(fixture("h264-mp3.flv"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray half = file.readAll().left(int(file.size() / 2));
    std::atomic<int> stalledReads{0};
    player.setByteSource([&] { return std::make_unique<StallingBytes>(half, stalledReads); });
    // Opening reads on until the stream stalls and gives up on more headers
    // within its limit; playing starts with what came.
    QElapsedTimer opening;
    opening.start();
    player.play(QStringLiteral("stalled stream"));
    EXPECT_LT(opening.elapsed(), 7000);
    ASSERT_TRUE(waitFor([&] { return stalledReads > 2 && renderer.validCount() > 0; }, 8000));
    QElapsedTimer t;
    t.start();
    player.seek(qint64(100));
    EXPECT_LT(t.elapsed(), 1000);
    t.restart();
    player.stop();
    EXPECT_LT(t.elapsed(), 1000);  // a hang shows here, not a speed figure
    EXPECT_EQ(player.state(), AVPlayer::StoppedState);
    // A stream that never sends a byte fails to open, in bounded time.
    player.setByteSource([&] { return std::make_unique<StallingBytes>(QByteArray(), stalledReads); });
    QSignalSpy failed(&player, &AVPlayer::error);
    opening.restart();
    player.play(QStringLiteral("silent stream"));
    EXPECT_LT(opening.elapsed(), 7000);
    EXPECT_NE(player.state(), AVPlayer::PlayingState);
    spin(100);
    ASSERT_EQ(failed.size(), 1);
    EXPECT_TRUE(failed[0][0].toString().contains("sent nothing")) << failed[0][0].toString().toStdString();
    player.setByteSource({});
}

TEST_F(PlayerTest, MediaEndKeepsOrClearsTheDisplay) {
    QSignalSpy ended(&player, &AVPlayer::mediaEnded);
    player.setMediaEndAction(AVPlayer::MediaEndAction_KeepDisplay);
    player.play(fixture("h264-aac.mp4"));
    ASSERT_TRUE(playUntilStopped());
    EXPECT_EQ(ended.count(), 1);
    EXPECT_TRUE(renderer.frames().back().valid);  // the last frame stays

    RecordingRenderer cleared;
    player.setRenderer(&cleared);
    player.setMediaEndAction(AVPlayer::MediaEndAction_Default);
    player.play();
    ASSERT_TRUE(playUntilStopped());
    ASSERT_FALSE(cleared.frames().empty());
    EXPECT_FALSE(cleared.frames().back().valid);  // the renderer is told to clear
}

TEST_F(PlayerTest, LoadTellsTheDurationWithoutPlaying) {
    QSignalSpy durations(&player, &AVPlayer::durationChanged);
    player.setFile(fixture("video-3s.mp4"));
    EXPECT_EQ(player.file(), fixture("video-3s.mp4"));
    ASSERT_TRUE(player.load());
    ASSERT_EQ(durations.count(), 1);
    EXPECT_NEAR(double(durations[0][0].toLongLong()), 3000, 50);
    EXPECT_EQ(player.duration(), durations[0][0].toLongLong());
    EXPECT_EQ(player.state(), AVPlayer::StoppedState);
    spin(200);
    EXPECT_EQ(renderer.frames().size(), 0u);
}

TEST_F(PlayerTest, AStillPlaysAsOneFrame) {
    QSignalSpy positions(&player, &AVPlayer::positionChanged);
    player.play(fixture("still.jpg"));
    ASSERT_TRUE(waitFor([&] { return renderer.validCount() == 1 && positions.count() >= 1; }));
    EXPECT_EQ(renderer.frames()[0].width, 960);
    // In the decoder's own format: this JPEG is coded 4:4:4.
    EXPECT_EQ(renderer.frames()[0].format, VideoFormat::Format_YUV444P);
    spin(300);
    EXPECT_EQ(player.state(), AVPlayer::PlayingState);  // it stays on show
    player.pause(true);
    EXPECT_EQ(player.state(), AVPlayer::PausedState);
    player.stop();
    EXPECT_EQ(player.state(), AVPlayer::StoppedState);
    player.play();
    ASSERT_TRUE(waitFor([&] { return renderer.validCount() == 2; }));
}

TEST_F(PlayerTest, ForcedFormatsAndCodecOptions) {
    RecordingRenderer argb;
    argb.setPreferredPixelFormat(VideoFormat::Format_ARGB32);
    argb.forcePreferredPixelFormat(true);
    player.addVideoRenderer(&argb);
    player.setRealTime(false);
    // Asked to skip all but key frames (one in 10 here), the player still
    // decodes and shows every frame.
    player.setOptionsForVideoCodec({{"FFmpeg", QVariantHash{{"skip_frame", "NoKey"}}}});
    player.setVideoDecoderPriority({"CUDA", "FFmpeg"});
    player.setMediaEndAction(AVPlayer::MediaEndAction_KeepDisplay);
    player.play(fixture("h264-aac.mp4"));
    ASSERT_TRUE(playUntilStopped());
    EXPECT_EQ(renderer.validCount(), 25u);
    ASSERT_EQ(argb.validCount(), 25u);
    EXPECT_EQ(argb.frames()[0].format, VideoFormat::Format_ARGB32);
    EXPECT_EQ(renderer.frames()[0].format, VideoFormat::Format_YUV420P);
    const PlaybackStatistics stats = player.statistics();
    EXPECT_EQ(stats.decoded, 25);
    EXPECT_EQ(stats.shown, 25);
    EXPECT_EQ(stats.dropped, 0);
    EXPECT_EQ(stats.sourceFrames, 25);
    EXPECT_EQ(stats.size, QSize(320, 160));
    EXPECT_EQ(stats.decoder, "FFmpeg");
    EXPECT_DOUBLE_EQ(stats.frameRate, 25.0);
    // Other options reach the decoder: a JPEG decoded at half size.
    RecordingRenderer half;
    player.setRenderer(&half);
    player.setOptionsForVideoCodec({{"FFmpeg", QVariantHash{{"lowres", "1"}}}});
    player.play(fixture("still.jpg"));
    ASSERT_TRUE(waitFor([&] { return half.validCount() == 1; }));
    EXPECT_EQ(half.frames()[0].width, 480);
    EXPECT_EQ(player.statistics().colour, "BT.601 full");
}

TEST_F(PlayerTest, RenderersChangeWhilePlaying) {
    player.setRealTime(false);
    player.setMediaEndAction(AVPlayer::MediaEndAction_KeepDisplay);
    std::vector<std::unique_ptr<RecordingRenderer>> extra;
    player.play(fixture("video-3s.mp4"));
    for (int k = 0; k < 200 && player.isPlaying(); ++k) {
        extra.push_back(std::make_unique<RecordingRenderer>());
        player.addVideoRenderer(extra.back().get());
        spin(1);
        player.removeVideoRenderer(extra.back().get());
        extra.pop_back();  // deleted right after removal
        if (k % 10 == 0)
            player.setRenderer(&renderer);
    }
    ASSERT_TRUE(playUntilStopped());
    EXPECT_GT(renderer.validCount(), 0u);
    EXPECT_EQ(player.videoOutputs().size(), 1);
}

TEST_F(PlayerTest, BadFilesFailCleanlyAndTheNextOpens) {
    for (const char* name : {"missing.mp4", "empty.mp4", "noise.mp4", "text.mp4"}) {
        QSignalSpy errors(&player, &AVPlayer::error);
        player.play(fixture(name));
        EXPECT_EQ(player.state(), AVPlayer::StoppedState) << name;
        ASSERT_EQ(errors.count(), 1) << name;
        EXPECT_TRUE(errors[0][0].toString().contains(QString::fromLatin1(name))) << name;
    }
    // A truncated file plays what it holds, then ends.
    player.setMediaEndAction(AVPlayer::MediaEndAction_KeepDisplay);
    player.play(fixture("truncated.mp4"));
    EXPECT_TRUE(playUntilStopped());
    const size_t before = renderer.validCount();
    player.play(fixture("h264-aac.mp4"));
    ASSERT_TRUE(playUntilStopped());
    // Every frame is shown, or dropped as late (a loaded machine may
    // oversleep a frame's time), and counted.
    const PlaybackStatistics stats = player.statistics();
    EXPECT_EQ(stats.decoded, 25);
    EXPECT_EQ(renderer.validCount() - before + size_t(stats.dropped), 25u)
        << "shown " << stats.shown << " dropped " << stats.dropped;
    EXPECT_LE(stats.dropped, 5);
}

TEST_F(PlayerTest, RepeatedOpenAndClose) {
    for (int k = 0; k < 20; ++k) {
        player.play(fixture(k % 2 ? "h264-aac.mp4" : "still.jpg"));
        spin(5);
        player.stop();
    }
    EXPECT_EQ(player.state(), AVPlayer::StoppedState);
}

}  // namespace
}  // namespace vistamo::media
