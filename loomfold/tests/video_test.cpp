// The video job in-process: a whole export through the facade and its
// delegate, in a real GL context, checked with ffprobe and against the
// sample generator's scene.
#include <gtest/gtest.h>
#include <unistd.h>

#include <opencv2/core.hpp>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "loomfold/loomfold.h"
#include "picture_compare.h"
#include "sample_calibration.h"
#include "video_inspect.h"

namespace {

using namespace vistamo::testing;

const std::string kSamples = VISTAMO_SAMPLES_DIR;

std::string out(const char* name) {
    const std::string path = ::testing::TempDir() + "/" + name;
    unlink(path.c_str());
    return path;
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// One video job and everything its delegate heard.
struct VideoJob {
    Loomfold facade;
    std::string input, output;
    std::vector<std::pair<int64_t, int64_t>> states;
    std::vector<std::string> errors;
    int finished = 0;

    VideoJob(int mode, const std::string& in, const std::string& result, int w, int h, const char* calibration)
        : input(in), output(result) {
        facade.input_path = input.c_str();
        facade.output_path = output.c_str();
        facade.pano_width = facade.view_w = w;
        facade.pano_height = facade.view_h = h;
        facade.stitch_mode = mode;
        facade.calibration = calibration;
        facade.video_bitrate = 8000;
        auto* d = new VideoStitchDelegate;
        d->videoStitchState = [this](int64_t current, int64_t total) { states.emplace_back(current, total); };
        d->videoStitchFinished = [this] { ++finished; };
        d->videoStitchError = [this](int code, std::string message) {
            EXPECT_EQ(code, -1);
            errors.push_back(message);
        };
        facade.SetDelegate(d);
    }

    int run(bool paced) {
        if (facade.InitGLES2() != 0)
            return -2;
        EXPECT_EQ(facade.SetPaced(paced), 0);
        return facade.Stitch();
    }
};

TEST(EngineVideo, TwinsVideoShowsTheSceneTurnedHalfAroundFrameByFrame) {
    // No calibration given: the text the file carries is used.
    VideoJob job(0, kSamples + "/twins.mp4", out("twins-pano.mp4"), 1920, 960, nullptr);
    ASSERT_EQ(job.run(false), 0) << (job.errors.empty() ? "" : job.errors[0]);
    EXPECT_TRUE(job.errors.empty());
    EXPECT_EQ(job.finished, 1);

    const VideoFacts source = probeVideo(job.input), result = probeVideo(job.output);
    ASSERT_NE(source.stream("video"), nullptr);
    const StreamFacts* video = result.stream("video");
    const StreamFacts* audio = result.stream("audio");
    ASSERT_NE(video, nullptr);
    ASSERT_NE(audio, nullptr);
    const int sourceFrames = source.stream("video")->frames;
    // Every frame was rendered and reported; all but the first encoded.
    EXPECT_EQ(int(job.states.size()), sourceFrames);
    EXPECT_EQ(video->codec, "h264");
    EXPECT_EQ(video->frames, sourceFrames - 1);
    EXPECT_EQ(audio->codec, "aac");
    const double frame = 1.0 / 30;
    EXPECT_NEAR(audio->duration, source.stream("audio")->duration, 2 * frame);
    EXPECT_NEAR(video->duration, audio->duration, 2 * frame);
    EXPECT_EQ(result.tags.count("copyright") ? result.tags.at("copyright") : "", "Kestra");
    EXPECT_EQ(result.tags.count("title"), 0u);
    // Progress: decoding times that never fall, against the duration.
    for (size_t i = 1; i < job.states.size(); ++i)
        EXPECT_GE(job.states[i].first, job.states[i - 1].first);
    EXPECT_NEAR(double(job.states.front().second), 3e6, 0.1e6);

    // Output frame k is source frame k + 1; the scene itself turns with
    // the frames, as the Standard sample shows it.
    FrameReader stitched(job.output, 960, 480), scene(kSamples + "/standard.mp4", 960, 480);
    cv::Mat a, b;
    ASSERT_TRUE(scene.next(b));
    const cv::Mat mask = awayFromSeams(cv::Size(960, 480), 15);
    double worst = 99;
    int compared = 0;
    while (stitched.next(a) && scene.next(b)) {
        const double quality = psnr(lowPass(a), lowPass(turnedHalfAround(b)), mask);
        worst = std::min(worst, quality);
        EXPECT_GE(quality, 30.0) << "frame " << compared;
        ++compared;
    }
    EXPECT_EQ(compared, sourceFrames - 1);
    std::printf("twins video: %d frames, worst PSNR %.2f dB away from the seams\n", compared, worst);
}

TEST(EngineVideo, PacedJobKeepsEveryFrameAndItsDuration) {
    // The library's default pace: the media's own speed.
    for (const char* name : {"twins-25fps.mp4", "twins-60fps.mp4"}) {
        VideoJob job(0, kSamples + "/" + name, out("paced.mp4"), 960, 480, samples::kTwinsCalibText);
        ASSERT_EQ(job.run(true), 0) << name;
        const VideoFacts source = probeVideo(job.input), result = probeVideo(job.output);
        ASSERT_NE(result.stream("video"), nullptr);
        const double fps = std::strstr(name, "25") ? 25 : 60;
        EXPECT_EQ(result.stream("video")->frames, source.stream("video")->frames - 1) << name;
        // One frame fewer than the source, at the source's own rate.
        EXPECT_NEAR(result.stream("video")->duration, source.stream("video")->duration - 1 / fps, 2 / fps) << name;
        EXPECT_NEAR(result.stream("audio")->duration, source.stream("audio")->duration, 2 / fps) << name;
    }
}

TEST(EngineVideo, SourceWithoutSoundGetsNoAudioStream) {
    VideoJob job(0, kSamples + "/twins-silent.mp4", out("silent.mp4"), 960, 480, nullptr);
    ASSERT_EQ(job.run(false), 0);
    const VideoFacts result = probeVideo(job.output);
    EXPECT_NE(result.stream("video"), nullptr);
    EXPECT_EQ(result.stream("audio"), nullptr);
    EXPECT_EQ(result.streams.size(), 1u);
}

TEST(EngineVideo, JobsThatCannotOpenReportOnceAndLeaveNothing) {
    struct Case {
        std::string input, output;
        int width;
        const char* error;
    };
    const std::string missingFolder = ::testing::TempDir() + "/no/such/folder/out.mp4";
    const Case cases[] = {
        {kSamples + "/twins.mp4", missingFolder, 960, "open file fail"},
        {kSamples + "/damaged/audio-only.mp4", out("audio-only.mp4"), 960, "open file fail"},
        {kSamples + "/damaged/zeroed-moov.mp4", out("zeroed.mp4"), 960, "open file fail"},
        {kSamples + "/damaged/empty.mp4", out("empty.mp4"), 960, "open file fail"},
        // Odd sizes cannot be encoded as 4:2:0.
        {kSamples + "/twins.mp4", out("odd.mp4"), 961, "open file fail"},
    };
    for (const Case& c : cases) {
        VideoJob job(0, c.input, c.output, c.width, 480, samples::kTwinsCalibText);
        EXPECT_EQ(job.run(false), -1) << c.input;
        ASSERT_EQ(job.errors.size(), 1u) << c.input;
        EXPECT_EQ(job.errors[0], c.error) << c.input;
        EXPECT_TRUE(job.states.empty()) << c.input;
        EXPECT_EQ(job.finished, 0) << c.input;
        EXPECT_FALSE(exists(c.output)) << c.input;
        // The person gets the reason too.
        EXPECT_GT(std::strlen(job.facade.LastProblem()), std::strlen("open file fail")) << c.input;
    }
}

TEST(EngineVideo, UnusableSettingsAreRefusedBeforeAnythingIsWritten) {
    {
        // A render target smaller than the output would be read past.
        VideoJob job(0, kSamples + "/twins.mp4", out("small-target.mp4"), 960, 480, samples::kTwinsCalibText);
        job.facade.view_w = 480;
        EXPECT_EQ(job.run(false), -1);
        ASSERT_EQ(job.errors.size(), 1u);
        EXPECT_NE(job.errors[0].find("does not fit"), std::string::npos) << job.errors[0];
        EXPECT_FALSE(exists(job.output));
    }
    {
        // A one-lens text for a two-lens job.
        VideoJob job(0, kSamples + "/twins.mp4", out("wrong-text.mp4"), 960, 480, "5_208_240_240_480_480_236_0_0_0");
        EXPECT_EQ(job.run(false), -1);
        ASSERT_EQ(job.errors.size(), 1u);
        EXPECT_NE(job.errors[0].find("two-lens"), std::string::npos) << job.errors[0];
        EXPECT_EQ(job.finished, 0);
        EXPECT_FALSE(exists(job.output));
    }
    {
        // Without InitGLES2 there is no engine: no pacing, no job.
        Loomfold bare;
        EXPECT_EQ(bare.SetPaced(false), -1);
    }
}

}  // namespace
