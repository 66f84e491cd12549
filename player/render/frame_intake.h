// FrameIntake: turns a decoded frame into the view's picture and, on a
// file's first frame, builds the Sphere or Twins coordinate tables (scaling
// the calibration to the frame, finding the circle of an uncalibrated
// one-lens file). All of it is slow (swscale, OpenCV, two 25 760-vertex
// tables), so it runs on the presentation thread before the view takes its
// lock; the view then adopts the result under the lock in a few copies.
// Used by one thread at a time (the presentation thread); owned by GLView.
#pragma once

#include <QImage>
#include <QSize>

#include "render_types.h"
#include "sphere_model.h"
#include "video_frame.h"

namespace vistamo::render {

// Frame intake sizes: frames narrower than 2160 pixels stay as they are,
// wider ones are halved to even sizes (a 4K frame becomes 1920 wide, which
// the view shows without visible loss at a fraction of the upload cost),
// and frames wider than 8192 are ignored (an empty size): no GL driver we
// target takes a texture that wide.
QSize intakeSize(QSize frame);

class FrameIntake {
public:
    // What the view wants done with a frame, copied under its lock.
    struct Request {
        MediaKind kind = Standard;
        bool buildCoordinates = false;  // the first frame of a file shown as Sphere or Twins
        ImageData record;               // that model's calibration as prepareFile stored it
    };

    // The frame as the view's ARGB32 picture; null when the frame is not
    // taken (too wide, or not convertible).
    QImage convert(const media::VideoFrame& frame) const;

    // Builds the coordinates that request asks for into this object's own
    // models, for a picture of image's size. Returns whether anything was
    // built (the caller then adopts sphereModel() or twinsModel()).
    bool build(const QImage& image, const Request& request);

    GLSphereFishEye& sphereModel() { return sphere_; }
    GLSphere2FishEye& twinsModel() { return twins_; }

private:
    // Only their tables and records are used: no program is ever built.
    GLSphereFishEye sphere_;
    GLSphere2FishEye twins_;
};

}  // namespace vistamo::render
