// The engine behind the facade: its copies of the job fields, the hidden
// GL window and the offscreen renderer. Created by InitGLES2; every member
// function runs on the thread that created it (the context's owner).
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>

#include "loomfold/loomfold.h"
#include "stitch_renderer.h"

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

    int viewWidth() const { return viewW_; }
    int panoWidth() const { return panoW_; }

private:
    void fail(const std::string& reason);
    std::string requestCalibration(uint8_t* bgr, int width, int height, int channels);

    std::string inputPath_, outputPath_, calibration_;
    bool hasCalibration_ = false;
    int panoW_ = 0, panoH_ = 0, viewW_ = 0, viewH_ = 0, mode_ = 0, bitrate_ = 0;
    VideoStitchDelegate* delegate_ = nullptr;  // owned by the facade

    GLFWwindow* window_ = nullptr;
    bool glfwStarted_ = false;
    loomfold::StitchRenderer renderer_;

    // Shared with the decoder side of a video job.
    std::mutex mutex_;
    std::condition_variable condNonEmpty_;
};
