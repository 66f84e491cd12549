// The offscreen stitcher: turns one YUV 4:2:0 frame into an
// equirectangular picture of view_w × view_h in a framebuffer of the
// engine's context. Every call needs that context current (the engine's
// render thread).
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "calibration.h"
#include "lens_match.h"
#include "media_frames.h"

namespace loomfold {

enum StitchMode { kModeTwins = 0, kModeStandard = 1, kModeSphere = 2 };

class StitchRenderer {
public:
    // Asked on the first Sphere frame when the lens radius is 10 pixels or
    // less: gets the frame as packed B, G, R bytes (width = the luma
    // stride; the host may write into it) and returns a single-lens
    // calibration text ("5_…").
    using CalibrationRequest = std::function<std::string(uint8_t* bgr, int width, int height, int channels)>;

    ~StitchRenderer();

    void configure(int viewWidth, int viewHeight, int mode);
    void setCalibrationRequest(CalibrationRequest request) { request_ = std::move(request); }
    LensRecord& lens() { return lens_; }
    int viewWidth() const { return viewW_; }
    int viewHeight() const { return viewH_; }

    // Builds the program and grid for the mode; false when the program
    // cannot be built (the job can produce nothing useful then).
    bool initialise();
    // Loads the frame's planes; on the first frame also prepares the
    // texture coordinates (and asks for a Sphere calibration if needed).
    // False, with problem() set, when the calibration the host found on
    // the first frame cannot be used.
    bool upload(const stitch_frame& frame);
    // The first-frame preparation alone (no GL): texture coordinates, and
    // the Sphere calibration request. Upload does it when needed.
    bool prepare(const stitch_frame& frame) { return firstFrameDone_ || prepareFirstFrame(frame); }
    const std::string& problem() const { return problem_; }
    // Draws into the framebuffer; false when the framebuffer cannot be made
    // complete.
    bool render();
    // width × height RGBA pixels from (0, 0) of the target, bottom row first;
    // false when that is larger than the target or nothing was rendered.
    bool readPixels(int width, int height, std::vector<uint8_t>& rgba) const;
    // Deletes the GL objects (the context must still be current).
    void release();

    static int maxRenderbufferSize();
    static int maxTextureSize();
    // Logs and returns the pending GL error (0 when none).
    static unsigned checkGlError();

    // Exposed for tests: the coordinates prepared on the first frame.
    const std::vector<float>& texCoordsA() const { return coordsA_; }
    const std::vector<float>& texCoordsB() const { return coordsB_; }
    // The Twins program's v_maskdegree (0, its default, when fov2 is no number).
    float maskDegree() const { return std::isnan(lens_.fov2) ? 0.0f : lens_.fov2 - 180; }
    // Twins: the lenses' gains, unit until set (lens_match.h).
    void setLensGains(const vistamo::lens::LensGains& gains) { gains_ = gains; }
    const vistamo::lens::LensGains& lensGains() const { return gains_; }
    float yaw0() const { return yaw0_; }
    float yaw1() const { return yaw1_; }

private:
    bool createFramebuffer();
    bool prepareFirstFrame(const stitch_frame& frame);

    int viewW_ = 0, viewH_ = 0, mode_ = kModeTwins;
    LensRecord lens_;
    CalibrationRequest request_;

    unsigned program_ = 0;
    int uMvp_ = -1, aPosition_ = -1, aTexA_ = -1, aTexB_ = -1;
    int uSampler_[3] = {-1, -1, -1}, uMatrix_ = -1, uOffset_ = -1, uTexture_ = -1, uIsYuv_ = -1;
    int uMask_ = -1, uModeType_ = -1, uYaw0_ = -1, uYaw1_ = -1, uGainA_ = -1, uGainB_ = -1;
    vistamo::lens::LensGains gains_;
    unsigned textures_[3] = {0, 0, 0};
    unsigned framebuffer_ = 0, renderbuffer_ = 0;
    bool framebufferComplete_ = false;
    bool rendered_ = false;
    bool firstFrameDone_ = false;
    std::string problem_;
    vistamo::colour::ColourRule colour_;  // of the frame uploaded last
    int lumaStride_ = 0, frameHeight_ = 0;

    std::vector<float> positions_, coordsA_, coordsB_;
    float yaw0_ = 0, yaw1_ = 0;
};

}  // namespace loomfold
