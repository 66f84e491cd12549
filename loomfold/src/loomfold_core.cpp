#include "loomfold_core.h"

#include <epoxy/gl.h>
#include <GLFW/glfw3.h>

#include <opencv2/imgcodecs.hpp>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <thread>
#include <cerrno>
#include <cstring>
#include <vector>

#include "engine_log.h"
#include "calibration_check.h"
#include "colour_rule.h"
#include "file_guard.h"
#include "jpeg_probe.h"
#include "lens_overlap.h"

using loomfold::kLogDebug;
using loomfold::kLogError;
using loomfold::kLogInfo;
using loomfold::kLogWarn;

namespace {

// A job whose decoders deliver nothing for this long has stopped.
constexpr auto kStallLimit = std::chrono::seconds(60);

// The largest picture side the engine takes, whatever the GL driver allows:
// a 16384-pixel square is already 768 MiB as RGB.
constexpr int kMaxPictureSide = 16384;

void glfwErrorHook(int, const char* description) { LF_LOG(kLogError, "GLFW: %s", description); }

// The decoded still as planar YUV 4:2:0 by the JPEG colour rule (BT.601
// full range, what the file held before decoding), rows exactly as wide
// as the planes; the renderer turns it back by the same rule.
struct PlanarPicture {
    uint8_t* data[4] = {nullptr, nullptr, nullptr, nullptr};
    int linesize[4] = {0, 0, 0, 0};
    ~PlanarPicture() { av_freep(&data[0]); }
};

const vistamo::colour::ColourRule kStillRule =
    vistamo::colour::resolveColourRule(vistamo::colour::ColourTags{vistamo::colour::kMatrixUnspecified,
                                                                   vistamo::colour::kRangeUnspecified, 0, true});

bool toPlanar(const cv::Mat& picture, PlanarPicture& out) {
    const int w = picture.cols, h = picture.rows;
    if (av_image_alloc(out.data, out.linesize, w, h, AV_PIX_FMT_YUV420P, 1) < 0)
        return false;
    // The reader's channel order is B, G, R. (Accurate rounding also keeps
    // swscale off its fixed-coefficient B, G, R to 4:2:0 shortcut, which
    // ignores the range it is told.)
    SwsContext* sws = sws_getContext(w, h, AV_PIX_FMT_BGR24, w, h, AV_PIX_FMT_YUV420P,
                                     SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (!sws)
        return false;
    const int* table = sws_getCoefficients(vistamo::colour::h273Matrix(kStillRule.matrix));
    const int full = kStillRule.range == vistamo::colour::YuvRange::Full ? 1 : 0;
    sws_setColorspaceDetails(sws, table, 1, table, full, 0, 1 << 16, 1 << 16);
    const uint8_t* src[1] = {picture.data};
    const int srcStride[1] = {int(picture.step)};
    const int rows = sws_scale(sws, src, srcStride, 0, h, out.data, out.linesize);
    sws_freeContext(sws);
    return rows == h;
}

// Encodes the picture in the format its name asks for and writes it to
// path; why that failed (the system's reason, such as "no space left on
// device"), or empty. An encoder writing the file itself could only say
// that it failed.
std::string writePicture(const std::string& path, const cv::Mat& picture) {
    std::vector<uint8_t> bytes;
    const size_t dot = path.rfind('.');
    try {
        if (dot == std::string::npos || !cv::imencode(path.substr(dot), picture, bytes))
            return "the picture cannot be encoded";
    } catch (const cv::Exception& e) {
        LF_LOG(kLogError, "%s", e.what());
        return "the picture cannot be encoded";
    }
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0)
        return vistamo::files::reasonText(errno);
    size_t done = 0;
    std::string problem;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            problem = n < 0 ? vistamo::files::reasonText(errno) : "nothing could be written";
            break;
        }
        done += size_t(n);
    }
    if (close(fd) != 0 && problem.empty())
        problem = vistamo::files::reasonText(errno);
    return problem;
}

}  // namespace

LoomfoldCore::LoomfoldCore() {
    loomfold::EngineLog& log = loomfold::EngineLog::instance();
    log.initialise(loomfold::defaultLogPath());
    log.setLevel(kLogDebug);
}

LoomfoldCore::~LoomfoldCore() {
    // A job cut short (an exception in the host's thread) is stopped
    // before its context goes.
    {
        std::lock_guard<std::mutex> lock(mutex_);
        abort_ = true;
        frameDone_.notify_all();
    }
    loomfold::captureplay_abort(&cp_);
    if (window_) {
        glfwMakeContextCurrent(window_);
        renderer_.release();
        glfwDestroyWindow(window_);
    }
    if (glfwStarted_)
        glfwTerminate();
}

void LoomfoldCore::fail(const std::string& reason) {
    LF_LOG(kLogError, "%s", reason.c_str());
    if (lastProblem_.empty() || reason != "open file fail")
        lastProblem_ = reason;
    if (delegate_ && delegate_->videoStitchError)
        delegate_->videoStitchError(-1, reason);
}

bool LoomfoldCore::initialise(const Loomfold& f) {
    inputPath_ = f.input_path ? f.input_path : "";
    outputPath_ = f.output_path ? f.output_path : "";
    hasCalibration_ = f.calibration != nullptr;
    calibration_ = f.calibration ? f.calibration : "";
    panoW_ = f.pano_width;
    panoH_ = f.pano_height;
    viewW_ = f.view_w;
    viewH_ = f.view_h;
    mode_ = f.stitch_mode;
    bitrate_ = f.video_bitrate;
    delegate_ = f.delegate;

    cp_.source_path = inputPath_;
    cp_.video_callback = [this](loomfold::stitch_frame* frame) { setFrameCallBack(frame); };
    cp_.end_callback = [this] { endFrameCallBack(); };
    cp_.output.video_bitrate = bitrate_;
    cp_.output.video_codec = f.video_codec == 1 ? loomfold::VideoCodec::Hevc : loomfold::VideoCodec::H264;
    matchLenses_ = f.match_lenses != 0;
    cp_.output.url = outputPath_;
    cp_.output.format_name = "mp4";

    glfwSetErrorCallback(glfwErrorHook);
    if (!glfwInit()) {
        fail("cannot start the window system for the GL context");
        return false;
    }
    glfwStarted_ = true;
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 2);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 0);
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    window_ = glfwCreateWindow(300, 200, "", nullptr, nullptr);
    if (!window_) {
        fail("cannot create the GL context");
        return false;
    }
    glfwMakeContextCurrent(window_);
    glfwSwapInterval(1);

    const int maxSize = loomfold::StitchRenderer::maxRenderbufferSize();
    if (viewW_ > maxSize || viewH_ > maxSize) {
        viewW_ = panoW_ = maxSize;
        viewH_ = panoH_ = maxSize / 2;
        LF_LOG(kLogWarn, "the render target is cut to %dx%d, the largest this GL driver offers", viewW_, viewH_);
    }
    renderer_.configure(viewW_, viewH_, mode_);
    renderer_.setCalibrationRequest([this](uint8_t* bgr, int w, int h, int c) {
        return requestCalibration(bgr, w, h, c);
    });
    if (!renderer_.initialise()) {
        fail("cannot build the stitching program");
        return false;
    }
    return true;
}

std::string LoomfoldCore::requestCalibration(uint8_t* bgr, int width, int height, int channels) {
    if (!delegate_ || !delegate_->videoStitchCalibrate)
        return {};
    char text[256] = {0};
    delegate_->videoStitchCalibrate(bgr, width, height, channels, text);
    text[sizeof text - 1] = '\0';
    return text;
}

std::string LoomfoldCore::prepareVideoCalibration() {
    if (mode_ == loomfold::kModeStandard)
        return {};
    if (!hasCalibration_) {
        if (!info_.format_text)
            return "no calibration was given and " + inputPath_ + " carries none";
        calibration_ = info_.format_text;
    }
    std::string problem = vistamo::lens::calibrationProblem(calibration_);
    if (!problem.empty())
        return problem;
    if (!loomfold::parseCalibrationForMode(mode_, calibration_, renderer_.lens())) {
        if (mode_ == loomfold::kModeTwins)
            return "the calibration text is not a two-lens calibration";
    }
    if (mode_ == loomfold::kModeTwins && !(renderer_.lens().fov > 0))
        return "the calibration cannot be used: the field of view is 0";
    return {};
}

std::string LoomfoldCore::renderCurrentFrame() {
    const loomfold::stitch_frame& frame = *current_frame_;
    const AVRational rate = cp_.output.frame_rate;
    const int64_t pts = std::llround(double(frame.timestamp) / 1e9 * rate.num / rate.den);
    if (mode_ == loomfold::kModeTwins && matchLenses_ && renderer_.prepare(frame))
        matchVideoLenses(frame);
    if (mode_ == loomfold::kModeTwins && cpuTwins_ && renderer_.prepare(frame)) {
        if (!remap_.ready()) {
            loomfold::TwinsRemap::Setup setup;
            setup.width = viewW_;
            setup.height = viewH_;
            setup.frameWidth = frame.width;
            setup.frameHeight = frame.height;
            setup.coordsA = &renderer_.texCoordsA();
            setup.coordsB = &renderer_.texCoordsB();
            setup.yaw0 = renderer_.yaw0();
            setup.yaw1 = renderer_.yaw1();
            setup.maskDegree = renderer_.maskDegree();
            setup.outputColour = cp_.output.data.config.colour;
            remap_.prepare(setup);
        }
        // Frames of another size than the first go through the renderer.
        const bool packed = frame.linesize[0] == frame.width && frame.linesize[1] == frame.width / 2 &&
                            frame.linesize[2] == frame.width / 2;
        if (remap_.ready() && remap_.fits(frame) && packed) {
            // The first frame is not encoded, so it need not be stitched.
            if (cp_.rendered_frames++ == 0)
                return {};
            const int threads = int(std::max(1u, std::thread::hardware_concurrency()));
            if (AVFrame* target = loomfold::capture_picture_to_fill(&cp_.output)) {
                // Straight into the encoder's picture: no RGB pass.
                loomfold::TwinsRemap::Planes planes{};
                for (int p = 0; p < 3; ++p) {
                    planes.data[p] = target->data[p];
                    planes.linesize[p] = target->linesize[p];
                }
                remap_.renderYuv420(frame, planes, threads);
                if (!loomfold::capture_filled(&cp_.output, pts))
                    return loomfold::ffmpeg_data_failure(&cp_.output.data);
                return {};
            }
            picture_.resize(size_t(viewW_) * size_t(viewH_) * 4);
            remap_.render(frame, picture_.data(), threads);
            if (!loomfold::capture_picture(&cp_.output, picture_.data(), pts))
                return loomfold::ffmpeg_data_failure(&cp_.output.data);
            return {};
        }
    }
    glfwMakeContextCurrent(window_);
    if (!renderer_.upload(*current_frame_))
        return "the circle found on the video cannot be used: " + renderer_.problem();
    if (!renderer_.render())
        return "the offscreen framebuffer cannot be used";
    // The first rendered frame is not encoded.
    if (cp_.rendered_frames++ > 0) {
        if (!loomfold::capture_frame(&cp_.output, renderer_, pts))
            return loomfold::ffmpeg_data_failure(&cp_.output.data);
    }
    return {};
}

int LoomfoldCore::stitchVideo() {
    LF_LOG(kLogInfo, "video job: %s", inputPath_.c_str());
    if (!window_) {
        fail("the engine has no GL context");
        return -1;
    }
    if (videoJobRan_) {
        fail("this engine has already run a video job");
        return -1;
    }
    videoJobRan_ = true;
    if (panoW_ <= 0 || panoH_ <= 0 || panoW_ > viewW_ || panoH_ > viewH_) {
        fail("the output size " + std::to_string(panoW_) + "x" + std::to_string(panoH_) +
             " does not fit the render target " + std::to_string(viewW_) + "x" + std::to_string(viewH_));
        return -1;
    }
    cp_.output.view_w = viewW_;
    cp_.output.view_h = viewH_;
    cp_.output.pano_w = panoW_;
    cp_.output.pano_h = panoH_;

    std::string reason;
    info_ = loomfold::captureplay_open(&cp_, reason);
    if (info_.width < 1) {
        lastProblem_ = reason;
        fail("open file fail");
        return -1;
    }
    std::string failure = prepareVideoCalibration();

    std::unique_lock<std::mutex> lock(mutex_);
    auto lastActivity = std::chrono::steady_clock::now();
    while (failure.empty()) {
        while (!frame_ready_ && !stitch_finished_) {
            if (condNonEmpty_.wait_for(lock, std::chrono::seconds(1)) == std::cv_status::timeout &&
                std::chrono::steady_clock::now() - lastActivity > kStallLimit) {
                failure = "the decoder stopped delivering frames";
                break;
            }
        }
        if (!failure.empty() || stitch_finished_)
            break;
        frame_ready_ = false;
        failure = renderCurrentFrame();
        if (failure.empty() && delegate_ && delegate_->videoStitchState) {
            const int64_t current = current_frame_->decoding_time;
            delegate_->videoStitchState(current, info_.duration);
        }
        current_frame_ = nullptr;
        frame_done_ = true;
        frameDone_.notify_all();
        lastActivity = std::chrono::steady_clock::now();
    }
    if (!failure.empty()) {
        // The output learns of the failure first, so a close that the
        // capture thread may start meanwhile discards it too; then posts
        // return at once, the input stops and the output is discarded.
        {
            std::lock_guard<std::mutex> writing(cp_.output.data.write_mutex);
            if (cp_.output.data.failure.empty())
                cp_.output.data.failure = failure;
        }
        abort_ = true;
        frameDone_.notify_all();
        lock.unlock();
        loomfold::captureplay_abort(&cp_);
        fail(failure);
        return -1;
    }
    lock.unlock();
    const bool complete = loomfold::captureplay_close(&cp_, reason);
    LF_LOG(kLogInfo, "video job %s", complete ? "complete" : "failed");
    if (!complete) {
        fail(reason);
        return -1;
    }
    return 0;
}

void LoomfoldCore::setFrameCallBack(loomfold::stitch_frame* frame) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (abort_ || stitch_finished_)
        return;
    current_frame_ = frame;
    frame_ready_ = true;
    frame_done_ = false;
    condNonEmpty_.notify_one();
    // The frame's memory goes when this returns: wait for the render thread.
    while (!frame_done_ && !abort_)
        frameDone_.wait_for(lock, std::chrono::milliseconds(100));
}

void LoomfoldCore::endFrameCallBack() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (cp_.rendered_frames < 2 && !abort_) {
            // Only the first frame (never encoded), or none: no video.
            std::lock_guard<std::mutex> writing(cp_.output.data.write_mutex);
            if (cp_.output.data.failure.empty())
                cp_.output.data.failure = "no video frame of " + inputPath_ + " could be decoded and encoded";
        }
    }
    std::string reason;
    if (loomfold::captureplay_close(&cp_, reason) && delegate_ && delegate_->videoStitchFinished)
        delegate_->videoStitchFinished();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::lock_guard<std::mutex> lock(mutex_);
    stitch_finished_ = true;
    frame_ready_ = true;
    frame_done_ = false;
    condNonEmpty_.notify_all();
}

vistamo::lens::LensGains LoomfoldCore::estimateGains(const loomfold::stitch_frame& frame) {
    // The bands are half the mask angle wide at the equator.
    const std::vector<vistamo::lens::LensPair> pairs =
        loomfold::overlapPairs(frame, renderer_.texCoordsA(), renderer_.texCoordsB(), renderer_.maskDegree() / 2);
    size_t used = 0;
    const vistamo::lens::LensGains gains = vistamo::lens::estimateLensGains(pairs.data(), pairs.size(), {}, &used);
    LF_LOG(kLogDebug, "lens match: %zu of %zu pairs; gains A %.3f %.3f %.3f, B %.3f %.3f %.3f", used, pairs.size(),
           double(gains.a[0]), double(gains.a[1]), double(gains.a[2]), double(gains.b[0]), double(gains.b[1]),
           double(gains.b[2]));
    return gains;
}

void LoomfoldCore::matchLenses(const loomfold::stitch_frame& frame) {
    renderer_.setLensGains(matchLenses_ ? estimateGains(frame) : vistamo::lens::LensGains());
}

void LoomfoldCore::matchVideoLenses(const loomfold::stitch_frame& frame) {
    // Estimated on the first frame and then about once a second; between
    // estimates the gains walk towards the last one by at most 0.5 % a
    // frame, so that a change of light never shows as a jump.
    const AVRational rate = cp_.output.frame_rate;
    const int64_t interval = rate.den > 0 ? std::max<int64_t>(1, std::llround(double(rate.num) / rate.den)) : 30;
    if (matchedFrames_ % interval == 0) {
        videoTarget_ = estimateGains(frame);
        if (matchedFrames_ == 0)
            videoGains_ = videoTarget_;
    }
    videoGains_ = vistamo::lens::stepTowards(videoGains_, videoTarget_);
    ++matchedFrames_;
    renderer_.setLensGains(videoGains_);
    remap_.setLensGains(videoGains_);
}

int LoomfoldCore::stitchImage() {
    if (!window_) {
        fail("the engine has no GL context");
        return -1;
    }
    // Everything that can be refused is refused before the work starts.
    // The picture is read once: probed as it is, then decoded from memory.
    std::vector<uint8_t> bytes;
    std::string readProblem;
    if (!vistamo::files::readWholeFile(inputPath_, bytes, readProblem)) {
        fail("cannot read the picture " + inputPath_ + ": " + readProblem);
        return -1;
    }
    if (!cv::haveImageWriter(outputPath_)) {
        const size_t dot = outputPath_.rfind('.');
        fail("unknown image format for " +
             (dot == std::string::npos || outputPath_.find('/', dot) != std::string::npos
                  ? std::string("a name without an extension")
                  : outputPath_.substr(dot)));
        return -1;
    }
    if (panoW_ <= 0 || panoH_ <= 0 || panoW_ > viewW_ || panoH_ > viewH_) {
        fail("the output size " + std::to_string(panoW_) + "x" + std::to_string(panoH_) +
             " does not fit the render target " + std::to_string(viewW_) + "x" + std::to_string(viewH_));
        return -1;
    }
    if (mode_ != loomfold::kModeStandard) {
        const std::string problem = vistamo::lens::calibrationProblem(calibration_);
        if (!problem.empty()) {
            fail(problem);
            return -1;
        }
    }
    glfwMakeContextCurrent(window_);
    // A decoder fills a JPEG cut short with grey and reports success; a
    // frame larger than a texture cannot be stitched at all.
    const int maxSide = std::min(kMaxPictureSide, loomfold::StitchRenderer::maxTextureSize());
    const std::string jpegProblem = vistamo::picture::jpegBytesProblem(bytes.data(), bytes.size(), maxSide);
    if (!jpegProblem.empty()) {
        fail("cannot use the picture " + inputPath_ + ": " + jpegProblem);
        return -1;
    }
    cv::Mat picture;
    try {
        if (!bytes.empty() && bytes.size() <= size_t(INT_MAX))
            picture = cv::imdecode(cv::Mat(1, int(bytes.size()), CV_8U, bytes.data()), cv::IMREAD_COLOR);
    } catch (const cv::Exception& e) {
        LF_LOG(kLogError, "%s", e.what());
    }
    if (picture.empty()) {
        fail("cannot read the picture " + inputPath_);
        return -1;
    }
    if (picture.cols > maxSide || picture.rows > maxSide) {
        fail("cannot use the picture " + inputPath_ + ": it is " + std::to_string(picture.cols) + "x" +
             std::to_string(picture.rows) + ", larger than the " + std::to_string(maxSide) +
             " pixels a side that can be stitched");
        return -1;
    }
    PlanarPicture planes;
    if (!toPlanar(picture, planes)) {
        fail("cannot convert the picture");
        return -1;
    }
    loomfold::stitch_frame frame{};
    for (int p = 0; p < 3; ++p) {
        frame.data[p] = planes.data[p];
        frame.linesize[p] = planes.linesize[p];
    }
    frame.width = picture.cols;
    frame.height = picture.rows;
    frame.colour = kStillRule;

    if (mode_ != loomfold::kModeStandard &&
        !loomfold::parseCalibrationForMode(mode_, calibration_, renderer_.lens()) &&
        mode_ == loomfold::kModeTwins) {
        fail("the calibration text is not a two-lens calibration");
        return -1;
    }
    if (mode_ == loomfold::kModeTwins && !(renderer_.lens().fov > 0)) {
        fail("the calibration cannot be used: the field of view is 0");
        return -1;
    }
    if (!renderer_.upload(frame)) {
        fail("the circle found on the picture cannot be used: " + renderer_.problem());
        return -1;
    }
    if (mode_ == loomfold::kModeTwins)
        matchLenses(frame);
    if (!renderer_.render()) {
        fail("the offscreen framebuffer cannot be used");
        return -1;
    }
    std::vector<uint8_t> rgba;
    if (!renderer_.readPixels(panoW_, panoH_, rgba)) {
        fail("cannot read the stitched picture back");
        return -1;
    }
    // B, G, R for the writer, rows from the top (the read-back starts at
    // the bottom).
    cv::Mat out(panoH_, panoW_, CV_8UC3);
    for (int row = 0; row < panoH_; ++row) {
        const uint8_t* src = &rgba[size_t(panoH_ - 1 - row) * size_t(panoW_) * 4];
        uint8_t* dst = out.ptr<uint8_t>(row);
        for (int col = 0; col < panoW_; ++col) {
            dst[3 * col] = src[4 * col + 2];
            dst[3 * col + 1] = src[4 * col + 1];
            dst[3 * col + 2] = src[4 * col];
        }
    }
    LF_LOG(kLogInfo, "still job: %s stitched at %dx%d", inputPath_.c_str(), panoW_, panoH_);
    const std::string writeProblem = writePicture(outputPath_, out);
    if (!writeProblem.empty()) {
        fail("cannot write " + outputPath_ + ": " + writeProblem);
        return -1;
    }
    return 0;
}
