// The engine behind the facade: its copies of the job fields, the hidden
// GL window and the offscreen renderer. Created by InitGLES2. Its public
// calls run on the host's thread, which owns the GL context and renders
// (the render thread), except the two callbacks of a video job:
// setFrameCallBack on the video refresh thread and endFrameCallBack on the
// capture thread. What they share is under mutex_.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "captureplay.h"
#include "loomfold/loomfold.h"
#include "stitch_renderer.h"
#include "twins_remap.h"

struct GLFWwindow;

class LoomfoldCore {
public:
    LoomfoldCore();
    ~LoomfoldCore();

    // Copies the facade's fields and delegate; creates the context and the
    // renderer's program. False (reported to the delegate) on failure.
    bool initialise(const Loomfold& facade);
    int stitchVideo();
    int stitchImage();
    // Frames at the media's own speed (the default), or as fast as they
    // are rendered; set before stitchVideo.
    void setPaced(bool paced) { cp_.paced = paced; }
    // Twins video frames are stitched on the CPU (the default) or by the GL
    // renderer; both give the same pixels to within rounding.
    void setCpuTwins(bool cpu) { cpuTwins_ = cpu; }
    // Twins: the lenses' exposure and colour are matched at the seams (the
    // default), or left as recorded; set before the job.
    void setMatchLenses(bool match) { matchLenses_ = match; }
    // Why the last job failed, in more words than videoStitchError's.
    const std::string& lastProblem() const { return lastProblem_; }

    // Decoder side: posts one frame and returns once it has been rendered
    // (or the job was stopped). Video refresh thread.
    void setFrameCallBack(loomfold::stitch_frame* frame);
    // Capture thread: completes the output and ends the job.
    void endFrameCallBack();

    int viewWidth() const { return viewW_; }
    int panoWidth() const { return panoW_; }

private:
    void fail(const std::string& reason);
    // The calibration text of a video job, checked and parsed; the reason
    // when it cannot be used.
    std::string prepareVideoCalibration();
    // Renders and encodes current_frame_; the reason when the job must end.
    std::string renderCurrentFrame();
    std::string requestCalibration(uint8_t* bgr, int width, int height, int channels);
    // Twins, once the frame's texture coordinates are prepared: the lenses'
    // gains from frame; a still's to the renderer (unit gains when matching
    // is off); a video frame's, smoothed over time, to the renderer and
    // the CPU stitch.
    vistamo::lens::LensGains estimateGains(const loomfold::stitch_frame& frame);
    void matchLenses(const loomfold::stitch_frame& frame);
    void matchVideoLenses(const loomfold::stitch_frame& frame);

    // -- Set by initialise; read-only while a job runs.
    std::string inputPath_, outputPath_, calibration_;
    bool hasCalibration_ = false;
    int panoW_ = 0, panoH_ = 0, viewW_ = 0, viewH_ = 0, mode_ = 0, bitrate_ = 0;
    VideoStitchDelegate* delegate_ = nullptr;  // owned by the facade

    // -- Render thread.
    GLFWwindow* window_ = nullptr;
    bool glfwStarted_ = false;
    loomfold::StitchRenderer renderer_;

    // The job's input and output: its threads and locks are its own (see
    // captureplay.h); the render thread opens and closes it.
    loomfold::captureplay cp_;
    loomfold::media_info info_;  // render thread, from open
    bool videoJobRan_ = false;  // render thread: one Stitch per engine
    std::string lastProblem_;   // host's thread
    bool cpuTwins_ = true;
    bool matchLenses_ = true;
    loomfold::TwinsRemap remap_;         // render thread
    std::vector<uint8_t> picture_;       // render thread: the CPU-stitched frame
    // Render thread: a video's lens gains, the last estimate they move
    // towards, and the frames matched so far.
    vistamo::lens::LensGains videoGains_, videoTarget_;
    int64_t matchedFrames_ = 0;

    // Shared with the decoder side of a video job.
    std::mutex mutex_;
    std::condition_variable condNonEmpty_;  // a frame was posted, or the job ended
    std::condition_variable frameDone_;     // the posted frame was rendered, or the job stopped
    // -- Guarded by mutex_.
    loomfold::stitch_frame* current_frame_ = nullptr;
    bool frame_ready_ = false;
    bool frame_done_ = false;
    bool stitch_finished_ = false;
    bool abort_ = false;  // the render thread gave up: posts return at once
};
