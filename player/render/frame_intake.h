// FrameIntake: readies a decoded frame for the view (its Y'CbCr samples
// packed into four-byte texels, no colour conversion: the view's programs
// convert by the frame's colour rule) and, on a file's first frame, builds
// the Sphere or Twins coordinate tables (scaling the calibration to the
// frame, finding the circle of an uncalibrated one-lens file). All of it
// is slow (a frame's samples, two 25 760-vertex tables, OpenCV), so it runs
// on the presentation thread before the view takes its lock; the view then
// adopts the result under the lock in a few copies. Used by one thread at
// a time (the presentation thread); owned by GLView.
#pragma once

#include <QImage>
#include <QSize>

#include <memory>
#include <vector>

#include "lens_match.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "colour_rule.h"
#include "render_types.h"
#include "sphere_model.h"
#include "video_frame.h"

namespace vistamo::render {

// How the intake reads a pixel format's planes.
enum class PlaneLayout {
    None,         // not as it is: converted to planar 4:2:0 first
    Planar,       // Y, Cb, Cr in three planes, any subsampling
    Interleaved,  // Y, then Cb and Cr interleaved (NV12)
};
struct PlaneFormat {
    PlaneLayout layout = PlaneLayout::None;
    int bits = 8;            // of each sample
    int bytesPerSample = 1;  // 1, or 2 for samples in 16-bit little-endian words
};
// Read as they are: planar YUV of any subsampling (4:2:0, 4:2:2, 4:4:4,
// 4:4:0, 4:1:1, 4:1:0 and their full-range forms) with 8 to 16 bits in
// little-endian words, and NV12. Everything else (RGB, grey, palettes,
// NV21, P010 and other high-bit packings, big-endian) is converted.
PlaneFormat planeFormatOf(AVPixelFormat format);

// A video frame as the view uploads it: its Y', Cb, Cr samples (8 bits,
// chroma repeated over its subsampling block) in one four-byte texel per
// pixel, which the programs convert by the frame's colour rule. Software
// GL filters four-byte texels several times faster than one-byte planes,
// and the programs read one texel per lens instead of three. Frames 2160
// pixels wide or wider are packed at half size (intakeSize).
struct PackedPicture {
    std::shared_ptr<const std::vector<uint8_t>> texels;  // width × height × 4, rows tight
    int width = 0, height = 0;
    colour::ColourRule rule;
    media::VideoFrame source;  // the frame it was made from (captures, circle search)
    bool isValid() const { return texels && width > 0 && height > 0; }
};

// The pairs of colours that both lenses show, for lens matching: at the
// strip vertices (vertices of them) where lens B's weight lies strictly
// between 0 and 1, each lens' texel of the picture (nearest to its
// coordinates, which run 0 to 1 across it), converted by its rule.
std::vector<lens::LensPair> twinsBandPairs(const PackedPicture& picture, const float* coordsA, const float* coordsB,
                                           const float* weightsB, size_t vertices);

// Packs a frame whose layout planeFormatOf() reads into out (resized to
// width × height × 4), splitting the rows over `threads` threads. half:
// at intakeSize (8-bit samples only), each texel the mean of a 2 × 2 block
// of luma with the chroma of the block's corner.
bool packYuv(const media::VideoFrame& frame, std::vector<uint8_t>& out, int threads, bool half = false);

// The size of the view's picture of a frame (and of the picture the circle
// of an uncalibrated one-lens file is searched on): frames narrower than
// 2160 pixels as they are, wider ones halved to even sizes, and none (an
// empty size) for frames wider than 8192, which the view ignores.
QSize intakeSize(QSize frame);

class FrameIntake {
public:
    // What the view wants done with a frame, copied under its lock.
    struct Request {
        MediaKind kind = Standard;
        bool buildCoordinates = false;  // the first frame of a file shown as Sphere or Twins
        ImageData record;               // that model's calibration as prepareFile stored it
    };

    // The frame packed for the view; invalid when it is not taken (wider
    // than 8192 pixels, or not convertible). The texel buffers are reused
    // once the view has let go of them.
    PackedPicture prepare(const media::VideoFrame& frame);

    // Builds the coordinates that request asks for into this object's own
    // models, for the frame. Returns whether anything was built
    // (the caller then adopts sphereModel() or twinsModel()).
    bool build(const media::VideoFrame& frame, const Request& request);

    GLSphereFishEye& sphereModel() { return sphere_; }
    GLSphere2FishEye& twinsModel() { return twins_; }

private:
    std::vector<std::shared_ptr<std::vector<uint8_t>>> buffers_;  // texel buffers, reused
    // Only their tables and records are used: no program is ever built.
    GLSphereFishEye sphere_;
    GLSphere2FishEye twins_;
};

}  // namespace vistamo::render
