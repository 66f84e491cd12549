// The stitch in a real GL context: the engine in-process and the Converter
// as the player runs it, checked against the sample generator's scene.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "loomfold/loomfold.h"
#include "picture_compare.h"
#include "sample_calibration.h"

namespace {

const std::string kSamples = VISTAMO_SAMPLES_DIR;

using vistamo::testing::awayFromSeams;
using vistamo::testing::lowPass;
using vistamo::testing::psnr;
using vistamo::testing::turnedHalfAround;

struct ConverterRun {
    int status = -1;
    std::string err;
};

ConverterRun runConverter(const std::vector<std::string>& args, const std::string& env = "") {
    std::string cmd = env + " '" CONVERTER_PATH "'";
    for (const std::string& a : args)
        cmd += " '" + a + "'";
    const std::string err = testing::TempDir() + "/converter-" +
                            testing::UnitTest::GetInstance()->current_test_info()->name() + ".err";
    cmd += " >/dev/null 2>'" + err + "'";
    ConverterRun r;
    const int raw = std::system(cmd.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    if (FILE* f = std::fopen(err.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            r.err.append(buf, n);
        std::fclose(f);
    }
    return r;
}

std::string out(const char* name) { return testing::TempDir() + "/" + name; }

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// An in-process job with a delegate that records what the engine reports.
struct Job {
    Loomfold facade;
    std::string error;
    int calibrateCalls = 0;
    int calibrateWidth = 0;
    std::string answer;

    Job(int mode, const std::string& input, const std::string& output, int w, int h, const char* calibration) {
        facade.input_path = strdup(input.c_str());
        facade.output_path = strdup(output.c_str());
        facade.pano_width = facade.view_w = w;
        facade.pano_height = facade.view_h = h;
        facade.stitch_mode = mode;
        facade.calibration = calibration;
        facade.video_bitrate = 20000;
        auto* d = new VideoStitchDelegate;
        d->videoStitchError = [this](int code, std::string message) {
            EXPECT_EQ(code, -1);
            error = message;
        };
        d->videoStitchCalibrate = [this](unsigned char*, int width, int, int channels, char* text) {
            ++calibrateCalls;
            calibrateWidth = width;
            EXPECT_EQ(channels, 3);
            std::snprintf(text, 256, "%s", answer.c_str());
        };
        facade.SetDelegate(d);
    }
    ~Job() {
        free(const_cast<char*>(facade.input_path));
        free(const_cast<char*>(facade.output_path));
    }
};

TEST(ConverterImage, TwinsStillShowsTheSceneTurnedHalfAround) {
    const std::string result = out("twins-pano.jpg");
    const ConverterRun r = runConverter({"image", kSamples + "/twins.jpg", result, "960", "480",
                                samples::kTwinsCalibText, "0", "20"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Export_Progress 0\n"), std::string::npos);
    EXPECT_NE(r.err.find("Export_Progress 100\n"), std::string::npos);
    const cv::Mat stitched = cv::imread(result), scene = cv::imread(kSamples + "/scene.png");
    ASSERT_EQ(stitched.size(), cv::Size(960, 480));
    const cv::Mat expected = turnedHalfAround(scene);
    const cv::Mat mask = awayFromSeams(stitched.size(), 15);
    const double away = psnr(lowPass(stitched), lowPass(expected), mask);
    EXPECT_GE(away, 30.0);
    // Not turned, it does not match: the half turn is real.
    EXPECT_LT(psnr(lowPass(stitched), lowPass(scene), mask), 20.0);
    std::printf("twins still: PSNR %.2f dB away from the seams (%.2f dB before the low-pass)\n", away,
                psnr(stitched, expected, mask));
}

// The brightness ratio across a seam at column seamX: the mean level 20 to
// 35 degrees before it over the mean 20 to 35 degrees after it, at middle
// latitudes (outside the band each side shows one lens).
double seamRatio(const cv::Mat& pano, int seamX) {
    const double degree = pano.cols / 360.0;
    const int near = int(20 * degree), far = int(35 * degree);
    const cv::Range rows(pano.rows * 7 / 24, pano.rows * 17 / 24);
    const cv::Scalar before = cv::mean(pano(rows, cv::Range(seamX - far, seamX - near)));
    const cv::Scalar after = cv::mean(pano(rows, cv::Range(seamX + near, seamX + far)));
    return (before[0] + before[1] + before[2]) / (after[0] + after[1] + after[2]);
}

// A camera whose second lens records 35 % brighter and 10 % bluer than the
// first: matched, each seam keeps the step the balanced picture has (the
// scene's own) within 4 %; unmatched, the lenses' step shows.
TEST(ConverterImage, UnevenLensesAreMatchedAtTheSeams) {
    cv::Mat uneven = cv::imread(kSamples + "/twins.jpg");
    ASSERT_FALSE(uneven.empty());
    const int half = uneven.cols / 2;
    cv::Mat lensA = uneven(cv::Rect(0, 0, half, uneven.rows)), lensB = uneven(cv::Rect(half, 0, half, uneven.rows));
    lensA.convertTo(lensA, -1, 1.0 / 1.35);  // lens B is 35 % brighter than A
    std::vector<cv::Mat> channels;
    cv::split(lensB, channels);
    channels[0].convertTo(channels[0], -1, 1.1);  // and 10 % bluer
    cv::merge(channels, lensB);
    const std::string source = out("uneven.jpg");
    ASSERT_TRUE(cv::imwrite(source, uneven, {cv::IMWRITE_JPEG_QUALITY, 95}));
    auto stitch = [](const std::string& in, const std::string& name, bool match) {
        std::vector<std::string> args = {"image", in, out(name.c_str()), "960", "480", samples::kTwinsCalibText, "0", "20"};
        if (!match)
            args.push_back("--no-match");
        const ConverterRun r = runConverter(args);
        EXPECT_EQ(r.status, 0) << r.err;
        return cv::imread(out(name.c_str()));
    };
    const cv::Mat balanced = stitch(kSamples + "/twins.jpg", "balanced.jpg", true);
    const cv::Mat matched = stitch(source, "matched.jpg", true);
    const cv::Mat unmatched = stitch(source, "unmatched.jpg", false);
    ASSERT_FALSE(balanced.empty() || matched.empty() || unmatched.empty());
    for (const int seam : {balanced.cols / 4, balanced.cols * 3 / 4}) {
        const double level = seamRatio(balanced, seam);
        const double m = seamRatio(matched, seam) / level, u = seamRatio(unmatched, seam) / level;
        std::printf("seam at %d: matched %+.1f %%, unmatched %+.1f %% against the balanced picture\n", seam,
                    100 * (m - 1), 100 * (u - 1));
        EXPECT_NEAR(m, 1.0, 0.04) << seam;
        EXPECT_GT(std::fabs(u - 1.0), 0.15) << seam;
    }
    // The balanced picture is left as it was.
    const cv::Mat scene = cv::imread(kSamples + "/scene.png");
    const cv::Mat mask = awayFromSeams(balanced.size(), 15);
    EXPECT_GE(psnr(lowPass(balanced), lowPass(turnedHalfAround(scene)), mask), 33.0);
}

TEST(ConverterImage, SphereStillShowsTheSceneAroundTheLens) {
    const std::string result = out("sphere-pano.jpg");
    char calibration[128];
    std::snprintf(calibration, sizeof calibration, "5_208_240_240_480_480_%g_0_0_0", double(samples::kSphereFov));
    const ConverterRun r = runConverter({"sphere-image", kSamples + "/sphere.jpg", result, "960", "480", calibration, "0", "20"});
    ASSERT_EQ(r.status, 0) << r.err;
    const cv::Mat stitched = cv::imread(result), scene = cv::imread(kSamples + "/scene.png");
    ASSERT_EQ(stitched.size(), cv::Size(960, 480));
    // The lens sees from the top pole down to fov / 2; compare the upper
    // part, away from the rim. The engine's sphere mapping brightens (a
    // 1 / 0.85 power) and spaces rows by the radius, not by the player's
    // effective radius, so the match is looser than for two lenses.
    cv::Mat mask(stitched.size(), CV_8U, cv::Scalar(0));
    mask.rowRange(8, 200).setTo(255);
    const double top = psnr(lowPass(stitched), lowPass(scene), mask);
    const double unrelated = psnr(lowPass(stitched), lowPass(turnedHalfAround(scene)), mask);
    std::printf("sphere still: PSNR %.2f dB over the upper rows (turned scene: %.2f dB)\n", top, unrelated);
    EXPECT_GE(top, 18.0);
    EXPECT_GT(top, unrelated + 4);
}

TEST(EngineImage, SmallRadiusAsksTheHostOnce) {
    const std::string answered = out("sphere-answered.png"), calibrated = out("sphere-calibrated.png");
    {
        Job job(2, kSamples + "/sphere.jpg", answered, 960, 480, "5_5_240_240_480_480_236_0_0_0");
        job.answer = "5_208_240_240_480_480_236_0_0_0";
        ASSERT_EQ(job.facade.InitGLES2(), 0) << job.error;
        ASSERT_EQ(job.facade.StitchImage(), 0) << job.error;
        EXPECT_EQ(job.calibrateCalls, 1);
        EXPECT_EQ(job.calibrateWidth, 480);  // the luma stride
    }
    {
        Job job(2, kSamples + "/sphere.jpg", calibrated, 960, 480, "5_208_240_240_480_480_236_0_0_0");
        ASSERT_EQ(job.facade.InitGLES2(), 0) << job.error;
        ASSERT_EQ(job.facade.StitchImage(), 0) << job.error;
        EXPECT_EQ(job.calibrateCalls, 0);
    }
    const cv::Mat a = cv::imread(answered), b = cv::imread(calibrated);
    EXPECT_EQ(cv::norm(a, b, cv::NORM_INF), 0.0);
}

TEST(EngineImage, StandardModeDrawsTheSourceUnchanged) {
    const std::string result = out("standard-copy.png");
    Job job(1, kSamples + "/standard.jpg", result, 960, 480, nullptr);
    ASSERT_EQ(job.facade.InitGLES2(), 0) << job.error;
    ASSERT_EQ(job.facade.StitchImage(), 0) << job.error;
    const cv::Mat drawn = cv::imread(result), source = cv::imread(kSamples + "/standard.jpg");
    const double quality = psnr(drawn, source, cv::Mat(drawn.size(), CV_8U, cv::Scalar(255)));
    std::printf("standard: PSNR %.2f dB\n", quality);
    EXPECT_GE(quality, 30.0);  // what 4:2:0 chroma leaves of the sample's hard edges
    EXPECT_EQ(fnLoomfold(), 42);
    EXPECT_EQ(nLoomfold, 0);
}

TEST(EngineImage, FailuresWriteNothing) {
    {
        Job job(0, kSamples + "/damaged/empty.jpg", out("none1.jpg"), 960, 480, samples::kTwinsCalibText);
        ASSERT_EQ(job.facade.InitGLES2(), 0);
        EXPECT_EQ(job.facade.StitchImage(), -1);
        EXPECT_NE(job.error.find("cannot read the picture"), std::string::npos) << job.error;
        EXPECT_FALSE(exists(out("none1.jpg")));
    }
    {
        // A read-back larger than the render target is refused.
        Job job(0, kSamples + "/twins.jpg", out("none2.jpg"), 960, 480, samples::kTwinsCalibText);
        job.facade.pano_width = 1920;
        ASSERT_EQ(job.facade.InitGLES2(), 0);
        EXPECT_EQ(job.facade.StitchImage(), -1);
        EXPECT_NE(job.error.find("does not fit"), std::string::npos) << job.error;
        EXPECT_FALSE(exists(out("none2.jpg")));
    }
    {
        Job job(0, kSamples + "/twins.jpg", out("none3.jpg"), 960, 480, "5_1_2_3_4_5_6_7_8_9");
        ASSERT_EQ(job.facade.InitGLES2(), 0);
        EXPECT_EQ(job.facade.StitchImage(), -1);
        EXPECT_FALSE(exists(out("none3.jpg")));
    }
}

TEST(ConverterImage, FailuresAreOneLineAndLeaveNothing) {
    const std::string dir = testing::TempDir() + "/converter-failures";
    std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str());
    struct Case {
        std::vector<std::string> args;
        std::string env;
        const char* reason;
    };
    const std::string twins = kSamples + "/twins.jpg", result = dir + "/out.jpg";
    const Case cases[] = {
        {{"image", kSamples + "/missing.jpg", result, "960", "480", samples::kTwinsCalibText, "0", "20"}, "", "cannot read"},
        {{"image", kSamples + "/damaged/empty.jpg", result, "960", "480", samples::kTwinsCalibText, "0", "20"}, "", "cannot read the picture"},
        {{"image", twins, result, "960", "480", "not a calibration", "0", "20"}, "", "calibration"},
        {{"image", twins, dir + "/no/such/folder/out.jpg", "960", "480", samples::kTwinsCalibText, "0", "20"}, "", "cannot write"},
        {{"image", twins, result, "960", "480", samples::kTwinsCalibText, "0", "20"}, "env -u DISPLAY", "window system"},
    };
    for (const Case& c : cases) {
        const ConverterRun r = runConverter(c.args, c.env);
        EXPECT_EQ(r.status, 1) << c.reason << "\n" << r.err;
        EXPECT_NE(r.err.find(std::string("Converter: ")), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << c.reason << "\n" << r.err;
    }
    EXPECT_EQ(runConverter({"image"}).status, 2);
    EXPECT_EQ(runConverter({"flatten", twins, result, "960", "480", "x", "0", "20"}).status, 2);
    EXPECT_EQ(runConverter({"image", twins, result, "0", "480", "x", "0", "20"}).status, 2);
    // Nothing was left behind: no output, no temporary file.
    FILE* ls = popen(("ls -A '" + dir + "'").c_str(), "r");
    char buf[256] = {0};
    const size_t n = std::fread(buf, 1, sizeof buf - 1, ls);
    pclose(ls);
    EXPECT_EQ(n, 0u) << buf;
}

}  // namespace
