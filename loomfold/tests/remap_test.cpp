// The CPU Twins stitch against the GL renderer on the same frame: the
// exported pixels must be the renderer's to within rounding.
#include <gtest/gtest.h>
#include <GLFW/glfw3.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <string>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "calibration.h"
#include "picture_compare.h"
#include "sample_calibration.h"
#include "stitch_renderer.h"
#include "twins_remap.h"

namespace {

using loomfold::StitchRenderer;
using loomfold::TwinsRemap;

// A hidden window whose GL context is current for the test.
class GlContext : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(glfwInit()) << "no display: run under xvfb-run";
        glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 2);
        glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 0);
        glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
        window_ = glfwCreateWindow(64, 64, "", nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
        glfwMakeContextCurrent(window_);
    }
    void TearDown() override {
        if (window_)
            glfwDestroyWindow(window_);
        glfwTerminate();
    }
    GLFWwindow* window_ = nullptr;
};

// The sample still as a tightly packed YUV 4:2:0 frame (OpenCV codes it as
// BT.601 limited range).
struct Frame {
    cv::Mat i420;
    loomfold::stitch_frame frame{};
    explicit Frame(const std::string& path) {
        const cv::Mat bgr = cv::imread(path);
        cv::cvtColor(bgr, i420, cv::COLOR_BGR2YUV_I420);
        const int w = bgr.cols, h = bgr.rows;
        frame.data[0] = i420.data;
        frame.data[1] = i420.data + size_t(w) * h;
        frame.data[2] = frame.data[1] + size_t(w / 2) * (h / 2);
        frame.linesize[0] = w;
        frame.linesize[1] = frame.linesize[2] = w / 2;
        frame.width = w;
        frame.height = h;
        frame.colour = {vistamo::colour::YuvMatrix::Bt601, vistamo::colour::YuvRange::Limited};
    }
};

// The encoder's rule in these tests: another matrix and range than the
// source's, so that both conversions are exercised.
const vistamo::colour::ColourRule kOutputRule{vistamo::colour::YuvMatrix::Bt709, vistamo::colour::YuvRange::Full};

// 4:2:0 planes, one Mat per plane.
struct Yuv420 {
    cv::Mat planes[3];
    Yuv420(int width, int height) {
        planes[0].create(height, width, CV_8U);
        planes[1].create(height / 2, width / 2, CV_8U);
        planes[2].create(height / 2, width / 2, CV_8U);
    }
};

// What the encoder gets from the renderer's picture: the output's own
// conversion (bicubic, by the output rule).
Yuv420 encoderPlanes(const cv::Mat& rgba) {
    Yuv420 out(rgba.cols, rgba.rows);
    SwsContext* sws = sws_getContext(rgba.cols, rgba.rows, AV_PIX_FMT_RGBA, rgba.cols, rgba.rows,
                                     AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
    const int* table = sws_getCoefficients(vistamo::colour::h273Matrix(kOutputRule.matrix));
    sws_setColorspaceDetails(sws, table, 1, table, kOutputRule.range == vistamo::colour::YuvRange::Full, 0,
                             1 << 16, 1 << 16);
    const uint8_t* src[1] = {rgba.data};
    const int srcStride[1] = {int(rgba.step)};
    uint8_t* dst[3] = {out.planes[0].data, out.planes[1].data, out.planes[2].data};
    const int dstStride[3] = {int(out.planes[0].step), int(out.planes[1].step), int(out.planes[2].step)};
    sws_scale(sws, src, srcStride, 0, rgba.rows, dst, dstStride);
    sws_freeContext(sws);
    return out;
}

double planePsnr(const cv::Mat& a, const cv::Mat& b) {
    const double mse = cv::norm(a, b, cv::NORM_L2SQR) / double(a.total());
    return mse <= 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// Both stitches of one frame at one output size, as BGR pictures, and as
// the encoder's planes: the renderer's converted, and the CPU's own.
void stitchBothWays(const std::string& calibration, int width, int height, cv::Mat& gl, cv::Mat& cpu,
                    Yuv420* glPlanes = nullptr, Yuv420* cpuPlanes = nullptr,
                    const vistamo::lens::LensGains& gains = {}) {
    Frame source(std::string(VISTAMO_SAMPLES_DIR) + "/twins.jpg");
    StitchRenderer renderer;
    renderer.configure(width, height, loomfold::kModeTwins);
    ASSERT_TRUE(loomfold::parseCalibrationForMode(loomfold::kModeTwins, calibration, renderer.lens()));
    ASSERT_TRUE(renderer.initialise());
    ASSERT_TRUE(renderer.upload(source.frame));
    renderer.setLensGains(gains);
    ASSERT_TRUE(renderer.render());
    std::vector<uint8_t> rgba;
    ASSERT_TRUE(renderer.readPixels(width, height, rgba));
    cv::Mat glRgba(height, width, CV_8UC4, rgba.data());
    cv::flip(glRgba, glRgba, 0);  // GL rows run upwards
    cv::cvtColor(glRgba, gl, cv::COLOR_RGBA2BGR);
    if (glPlanes)
        *glPlanes = encoderPlanes(glRgba);

    TwinsRemap remap;
    TwinsRemap::Setup setup;
    setup.width = width;
    setup.height = height;
    setup.frameWidth = source.frame.width;
    setup.frameHeight = source.frame.height;
    setup.coordsA = &renderer.texCoordsA();
    setup.coordsB = &renderer.texCoordsB();
    setup.yaw0 = renderer.yaw0();
    setup.yaw1 = renderer.yaw1();
    setup.maskDegree = renderer.maskDegree();
    setup.outputColour = kOutputRule;
    ASSERT_TRUE(remap.prepare(setup));
    ASSERT_TRUE(remap.fits(source.frame));
    remap.setLensGains(gains);
    cv::Mat cpuRgba(height, width, CV_8UC4);
    remap.render(source.frame, cpuRgba.data, 2);
    cv::cvtColor(cpuRgba, cpu, cv::COLOR_RGBA2BGR);
    if (cpuPlanes) {
        TwinsRemap::Planes planes{};
        for (int p = 0; p < 3; ++p) {
            planes.data[p] = cpuPlanes->planes[p].data;
            planes.linesize[p] = int(cpuPlanes->planes[p].step);
        }
        remap.renderYuv420(source.frame, planes, 2);
    }
    renderer.release();
}

}  // namespace

TEST_F(GlContext, CpuStitchGivesTheRenderersPixels) {
    struct Case {
        const char* calibration;
        int width, height;
    };
    // The sample's own lenses, a lens swap (yaw0 > yaw1) with another
    // blend band, and output sizes that do not divide the grid evenly.
    const std::string swapped =
        "6_952_2880_960_180_-0.5_0.7_952_960_960_0_0.8_-0.6_3840_1920_0_0_0_0_0.02_-0.05_0.08_-0.03_0.04_0.06_200_190";
    const Case cases[] = {
        {samples::kTwinsCalibText, 960, 480},
        {samples::kTwinsCalibText, 1000, 500},
        {swapped.c_str(), 1920, 960},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        cv::Mat gl, cpu;
        stitchBothWays(c.calibration, c.width, c.height, gl, cpu);
        if (HasFatalFailure())
            return;
        const cv::Mat all(gl.size(), CV_8U, cv::Scalar(255));
        const double quality = vistamo::testing::psnr(gl, cpu, all);
        std::printf("CPU against GL at %dx%d: PSNR %.2f dB, largest difference %.0f\n", c.width, c.height, quality,
                    cv::norm(gl, cpu, cv::NORM_INF));
        EXPECT_GE(quality, 45.0);
    }
}

TEST_F(GlContext, CpuStitchFillsTheEncodersPlanesAsTheRendererWould) {
    cv::Mat gl, cpu;
    Yuv420 glPlanes(1920, 960), cpuPlanes(1920, 960);
    stitchBothWays(samples::kTwinsCalibText, 1920, 960, gl, cpu, &glPlanes, &cpuPlanes);
    if (HasFatalFailure())
        return;
    const char* names[3] = {"Y", "Cb", "Cr"};
    for (int p = 0; p < 3; ++p) {
        const double quality = planePsnr(glPlanes.planes[p], cpuPlanes.planes[p]);
        std::printf("encoder plane %s: PSNR %.2f dB against the renderer's\n", names[p], quality);
        EXPECT_GE(quality, 45.0) << names[p];
    }
}

// Under lens gains (one lens lifted and bluer, the other lowered, some
// channels past white) the CPU stitch still gives the renderer's pixels,
// and the encoder's planes.
TEST_F(GlContext, CpuStitchAppliesTheLensGainsAsTheRenderer) {
    vistamo::lens::LensGains gains;
    gains.a = {{0.8f, 0.85f, 0.75f}};
    gains.b = {{1.25f, 1.2f, 1.4f}};
    cv::Mat gl, cpu, plain, plainCpu;
    Yuv420 glPlanes(960, 480), cpuPlanes(960, 480);
    stitchBothWays(samples::kTwinsCalibText, 960, 480, gl, cpu, &glPlanes, &cpuPlanes, gains);
    if (HasFatalFailure())
        return;
    const cv::Mat all(gl.size(), CV_8U, cv::Scalar(255));
    const double quality = vistamo::testing::psnr(gl, cpu, all);
    std::printf("matched CPU against GL: PSNR %.2f dB, largest difference %.0f\n", quality,
                cv::norm(gl, cpu, cv::NORM_INF));
    EXPECT_GE(quality, 45.0);
    for (int p = 0; p < 3; ++p)
        EXPECT_GE(planePsnr(glPlanes.planes[p], cpuPlanes.planes[p]), 45.0) << p;
    // And the gains did something.
    stitchBothWays(samples::kTwinsCalibText, 960, 480, plain, plainCpu);
    EXPECT_LT(vistamo::testing::psnr(plain, gl, all), 30.0);
}
