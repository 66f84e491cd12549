// The Converter's video exports as the player runs them: progress that
// only rises, a complete MP4 or nothing, damaged media refused in time, and
// nothing left behind by a kill or a full disk.
#include <gtest/gtest.h>
#include <signal.h>

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "picture_compare.h"
#include "sample_calibration.h"
#include "tool_run.h"
#include "video_inspect.h"

namespace {

using namespace vistamo::testing;

const std::string kSamples = VISTAMO_SAMPLES_DIR;
const std::string kProgress = "Export_Progress ";

ToolRun convert(const std::vector<std::string>& args, ToolOptions options = {}) {
    if (options.timeoutMs == 120000)
        options.timeoutMs = 90000;
    return runTool(CONVERTER_PATH, args, options);
}

std::vector<std::string> videoJob(const std::string& in, const std::string& out, const std::string& calibration = "",
                                  const std::string& mode = "video", const std::string& width = "960") {
    return {mode, in, out, width, "480", calibration, "0", "8"};
}

std::vector<int> progressOf(const ToolRun& run) {
    std::vector<int> figures;
    for (const std::string& line : run.errLines())
        if (line.rfind(kProgress, 0) == 0)
            figures.push_back(std::atoi(line.c_str() + kProgress.size()));
    return figures;
}

std::string failureLine(const ToolRun& run) {
    const auto lines = run.errLinesWithout(kProgress);
    return lines.size() == 1 ? lines[0] : "(" + std::to_string(lines.size()) + " lines) " + run.err;
}

class ConverterVideo : public ToolFolderTest {};

}  // namespace

TEST_F(ConverterVideo, ExportReplacesTheOutputWithACompleteFileAndRisingProgress) {
    useInput(kSamples + "/twins-60fps.mp4", "in.mp4");
    writeBytes(dir / "out.mp4", "an older export");
    const ToolRun run = convert(videoJob(in, dir / "out.mp4"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<int> figures = progressOf(run);
    ASSERT_GE(figures.size(), 3u);
    EXPECT_EQ(figures.front(), 0);
    EXPECT_EQ(figures.back(), 100);
    for (size_t i = 1; i < figures.size(); ++i)
        EXPECT_GT(figures[i], figures[i - 1]);
    EXPECT_TRUE(run.errLinesWithout(kProgress).empty()) << run.err;
    expectFolder({"in.mp4", "out.mp4"});
    // The source's own rate: 60 frames a second, one frame fewer.
    const VideoFacts source = probeVideo(in), result = probeVideo(dir / "out.mp4");
    ASSERT_NE(result.stream("video"), nullptr);
    EXPECT_EQ(result.stream("video")->frames, source.stream("video")->frames - 1);
    EXPECT_NEAR(result.stream("video")->duration, source.stream("video")->duration, 2.0 / 60);
    EXPECT_NEAR(result.stream("audio")->duration, source.stream("audio")->duration, 2.0 / 60);
}

TEST_F(ConverterVideo, SphereVideoFindsItsCircleOnTheFirstFrame) {
    useInput(kSamples + "/sphere.mp4", "in.mp4");
    // A radius of 10 or less asks for the circle search.
    const ToolRun run = convert(videoJob(in, dir / "out.mp4", "5_5_240_240_480_480_236_0_0_0", "sphere-video"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    expectFolder({"in.mp4", "out.mp4"});
    const VideoFacts result = probeVideo(dir / "out.mp4");
    ASSERT_NE(result.stream("video"), nullptr);
    EXPECT_EQ(result.stream("video")->frames, probeVideo(in).stream("video")->frames - 1);
    // The lens sees from the top pole down: the upper rows show the scene
    // (the Standard sample's second frame, as the first is not encoded).
    FrameReader stitched(dir / "out.mp4", 960, 480), scene(kSamples + "/standard.mp4", 960, 480);
    cv::Mat a, b;
    ASSERT_TRUE(stitched.next(a));
    ASSERT_TRUE(scene.next(b) && scene.next(b));
    cv::Mat mask(a.size(), CV_8U, cv::Scalar(0));
    mask.rowRange(8, 200).setTo(255);
    const double top = psnr(lowPass(a), lowPass(b), mask);
    std::printf("sphere video: PSNR %.2f dB over the upper rows\n", top);
    EXPECT_GE(top, 18.0);
    EXPECT_GT(top, psnr(lowPass(a), lowPass(turnedHalfAround(b)), mask) + 4);
}

TEST_F(ConverterVideo, DamagedMediaFailsInTimeAndKeepsTheOldOutput) {
    // The damaged-media corpus: cut short, an emptied movie header, no
    // picture at all, no bytes.
    for (const char* name : {"truncated.mp4", "zeroed-moov.mp4", "audio-only.mp4", "empty.mp4"}) {
        SCOPED_TRACE(name);
        useInput(kSamples + "/damaged/" + name, "in.mp4");
        writeBytes(dir / "out.mp4", "an older export");
        ToolOptions options;
        options.timeoutMs = 60000;
        const ToolRun run = convert(videoJob(in, dir / "out.mp4"), options);
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, 1);
        // The engine's fixed message, and why.
        EXPECT_EQ(failureLine(run).rfind("Converter: open file fail: cannot read ", 0), 0u) << run.err;
        EXPECT_EQ(readBytes(dir / "out.mp4"), "an older export");
        expectFolder({"in.mp4", "out.mp4"});
        EXPECT_EQ(std::remove((dir / "out.mp4").c_str()), 0);
    }
}

TEST_F(ConverterVideo, KilledExportLeavesNothingBehind) {
    useInput(kSamples + "/twins.mp4", "in.mp4");
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        writeBytes(dir / "out.mp4", "an older export");
        ToolOptions options;
        options.killWhenOutputHas = "Export_Progress 20";
        options.killSignal = signal;
        const ToolRun run = convert(videoJob(in, dir / "out.mp4"), options);
        EXPECT_EQ(run.signal, signal) << run.err;
        EXPECT_EQ(readBytes(dir / "out.mp4"), "an older export");
        expectFolder({"in.mp4", "out.mp4"});
    }
}

TEST_F(ConverterVideo, FullDiskFailsPartWayAndKeepsTheOldOutput) {
    useInput(kSamples + "/twins.mp4", "in.mp4");
    writeBytes(dir / "out.mp4", "an older export");
    ToolOptions options;
    options.fileSizeLimit = 400 * 1024;
    const ToolRun run = convert(videoJob(in, dir / "out.mp4"), options);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(failureLine(run).find("File too large"), std::string::npos) << run.err;
    const std::vector<int> figures = progressOf(run);
    ASSERT_FALSE(figures.empty());
    EXPECT_LT(figures.back(), 100);
    EXPECT_EQ(readBytes(dir / "out.mp4"), "an older export");
    expectFolder({"in.mp4", "out.mp4"});
}

TEST_F(ConverterVideo, EmptyCalibrationUsesTheTextTheVideoCarries) {
    useInput(kSamples + "/twins-silent.mp4", "in.mp4");
    EXPECT_EQ(convert(videoJob(in, dir / "a.mp4", "")).exitCode, 0);
    EXPECT_EQ(convert(videoJob(in, dir / "b.mp4", samples::kTwinsCalibText)).exitCode, 0);
    // Same text, same pictures: the encoder is deterministic for one input.
    FrameReader a(dir / "a.mp4", 480, 240), b(dir / "b.mp4", 480, 240);
    cv::Mat fa, fb;
    ASSERT_TRUE(a.next(fa) && b.next(fb));
    EXPECT_EQ(cv::norm(fa, fb, cv::NORM_INF), 0.0);
    expectFolder({"a.mp4", "b.mp4", "in.mp4"});
}

// A flat two-lens clip of one colour: every direction of the export shows
// that colour, whichever matrix and range the source was coded with, and the
// export says what it holds.
TEST_F(ConverterVideo, ExportsKeepTheSourceColourWhateverItsMatrix) {
    struct Coding {
        const char* name;
        const char* tag;    // -colorspace
        const char* matrix; // the scale filter's out_color_matrix
    };
    for (const Coding& coding : {Coding{"bt601", "bt470bg", "bt601"}, Coding{"bt709", "bt709", "bt709"}}) {
        const std::string source = dir / (std::string(coding.name) + ".mp4");
        const std::string make = std::string("ffmpeg -v error -nostdin -y -f lavfi -i "
                                             "'color=c=0xC83C1E:s=960x480:r=25:d=1,format=rgb24,scale=out_color_matrix=") +
                                 coding.matrix + ":out_range=tv,format=yuv420p' -c:v libx264 -colorspace " + coding.tag +
                                 " -color_range tv " + shellQuoted(source);
        ASSERT_EQ(std::system(make.c_str()), 0);
        const std::string out = dir / (std::string(coding.name) + "-out.mp4");
        const ToolRun run = convert(videoJob(source, out, samples::kTwinsCalibText));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        FrameReader reader(out, 96, 48);
        cv::Mat frame;
        ASSERT_TRUE(reader.next(frame)) << coding.name;
        // Away from the poles, where the lens circles' rims meet.
        for (int y = 8; y < 40; ++y)
            for (int x = 0; x < 96; ++x) {
                const cv::Vec3b bgr = frame.at<cv::Vec3b>(y, x);
                ASSERT_LE(std::abs(bgr[2] - 200), 4) << coding.name << " at " << x << "," << y;
                ASSERT_LE(std::abs(bgr[1] - 60), 4) << coding.name << " at " << x << "," << y;
                ASSERT_LE(std::abs(bgr[0] - 30), 4) << coding.name << " at " << x << "," << y;
            }
        const std::string tags = "ffprobe -v error -select_streams v -show_entries stream=color_space,color_range -of "
                                 "csv=p=0 " + shellQuoted(out);
        FILE* probe = popen(tags.c_str(), "r");
        ASSERT_NE(probe, nullptr);
        char line[128] = {};
        const bool read = std::fgets(line, sizeof line, probe) != nullptr;
        pclose(probe);
        ASSERT_TRUE(read);
        EXPECT_EQ(std::string(line), std::string("tv,") + coding.tag + "\n") << coding.name;
    }
}

namespace {

// The mean level of the columns between fractions x0 and x1 of a frame's
// width, at middle latitudes.
double levelOf(const cv::Mat& frame, double x0, double x1) {
    const cv::Range rows(frame.rows * 7 / 24, frame.rows * 17 / 24);
    const cv::Scalar m = cv::mean(frame(rows, cv::Range(int(x0 * frame.cols), int(x1 * frame.cols))));
    return m[0] + m[1] + m[2];
}

}  // namespace

// The second lens of a clip turns 23 % darker from one frame to the next
// (the sun behind a cloud on that side). The lens gains follow it without a
// jump: the first lens' half of the panorama, which the source leaves as it
// is, changes by at most 0.5 % a frame (and a little for the encoder), and
// once the gains have caught up the seams keep the step of the unchanged
// clip.
TEST_F(ConverterVideo, LensGainsFollowTheLightWithoutAJump) {
    const std::string source = dir / "darkening.mp4";
    const std::string make =
        "ffmpeg -v error -nostdin -y -i " + shellQuoted(kSamples + "/twins.mp4") +
        " -an -filter_complex '[0:v]split[l][r];[r]crop=iw/2:ih:iw/2:0,split[r1][r2];"
        "[r1]trim=end_frame=30,setpts=PTS-STARTPTS[ra];"
        "[r2]trim=start_frame=30,setpts=PTS-STARTPTS,format=rgb24,lutrgb=r=val*0.77:g=val*0.77:b=val*0.77,"
        "format=yuv420p[rb];[ra][rb]concat=n=2:v=1[rr];[l][rr]overlay=W/2:0:shortest=1,format=yuv420p[v]' "
        "-map '[v]' -c:v libx264 -qp 10 -map_metadata 0 -movflags use_metadata_tags " + shellQuoted(source);
    ASSERT_EQ(std::system(make.c_str()), 0);
    ASSERT_EQ(convert(videoJob(kSamples + "/twins.mp4", dir / "steady.mp4", samples::kTwinsCalibText)).exitCode, 0);
    const ToolRun run = convert(videoJob(source, dir / "matched.mp4", samples::kTwinsCalibText));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    FrameReader steady(dir / "steady.mp4", 480, 240), matched(dir / "matched.mp4", 480, 240);
    cv::Mat s, m;
    std::vector<double> middle, outer, steadyMiddle, steadyOuter;
    while (steady.next(s) && matched.next(m)) {
        // The middle half of the panorama shows one lens, the outer quarters
        // the other.
        middle.push_back(levelOf(m, 0.35, 0.65));
        outer.push_back((levelOf(m, 0.02, 0.15) + levelOf(m, 0.85, 0.98)) / 2);
        steadyMiddle.push_back(levelOf(s, 0.35, 0.65));
        steadyOuter.push_back((levelOf(s, 0.02, 0.15) + levelOf(s, 0.85, 0.98)) / 2);
    }
    ASSERT_GE(middle.size(), 80u);
    // The cut: the frame where one part's level moves most against the
    // other's; the darkened lens is the part whose level falls there.
    size_t cut = 1;
    double largest = 0;
    for (size_t k = 1; k < middle.size(); ++k) {
        const double jump = std::fabs((middle[k] / outer[k]) / (middle[k - 1] / outer[k - 1]) - 1);
        if (jump > largest) {
            largest = jump;
            cut = k;
        }
    }
    EXPECT_GT(largest, 0.15);
    const bool middleDarkened = middle[cut] / middle[cut - 1] < outer[cut] / outer[cut - 1];
    const std::vector<double>& kept = middleDarkened ? outer : middle;
    const std::vector<double>& keptSteady = middleDarkened ? steadyOuter : steadyMiddle;
    double worst = 0;
    for (size_t k = 1; k < kept.size(); ++k) {
        // Against the unchanged clip's own frame-to-frame change.
        const double change = (kept[k] / kept[k - 1]) / (keptSteady[k] / keptSteady[k - 1]) - 1;
        worst = std::max(worst, std::fabs(change));
    }
    std::printf("largest frame-to-frame change of the unchanged lens: %.2f %%\n", 100 * worst);
    EXPECT_LE(worst, 0.008);
    // Caught up by the end: the two parts keep the unchanged clip's ratio.
    const size_t last = middle.size() - 1;
    const double ratio = (middle[last] / outer[last]) / (steadyMiddle[last] / steadyOuter[last]);
    std::printf("middle over outer at the end, against the unchanged clip: %.3f\n", ratio);
    EXPECT_NEAR(ratio, 1.0, 0.04);
}
