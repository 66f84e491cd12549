// The widget on which the panorama is seen: the inside of a textured unit
// sphere with a camera that the mouse turns and the wheel moves. It keeps
// the camera, the input and the drawing; FrameIntake turns frames into its
// picture and coordinate tables.
//
// Threads: everything runs on the GUI thread except takeFrame, which the
// player's presentation thread calls. takeFrame converts the frame and
// builds any tables with no lock held, then hands them over under
// imageMutex in a few copies, so paintGL never waits for swscale or OpenCV.
//
// GL objects (programs, texture) belong to the widget's current context:
// they are released when that context is about to be destroyed (the view
// is re-parented or goes full screen) and made again in the next one.
#pragma once

#include <QImage>
#include <QMutex>
#include <QOpenGLFunctions>
#include <QOpenGLTexture>
#include <QOpenGLWidget>

#include <memory>

#include "frame_intake.h"
#include "render_types.h"
#include "sphere_model.h"
#include "video_frame.h"

namespace vistamo::render {

class ViewHost;

class GLView : public QOpenGLWidget, protected QOpenGLFunctions {
public:
    explicit GLView(QWidget* parent = nullptr);
    ~GLView() override;

    void setMainWindow(ViewHost* host) { host_ = host; }
    void setKind(int kind);
    int kind() const;
    void prepareFile(const QString& path);
    void setViewMode(int mode);
    int viewMode() const { return viewMode_; }
    // Presentation thread: the frame becomes the current picture; on a
    // file's first frame the Sphere or Twins coordinates are built.
    void takeFrame(const media::VideoFrame& frame);

    // Camera state, for tests and the viewer tool.
    double yaw() const { return yaw_; }
    double pitch() const { return pitch_; }
    int zoomLevel() const { return zoomLevel_; }
    void setCamera(double yaw, double pitch, int zoomLevel);
    double fieldOfView() const { return fov_; }
    double nearPlane() const { return near_; }
    double viewOffset() const { return viewOffset_; }
    QVector3D eye() const;
    SphereModel* activeModel() const;
    GLSphereStandard& standardModel() { return *standard_; }
    GLSphereFishEye& sphereModel() { return *sphere_; }
    GLSphere2FishEye& twinsModel() { return *twins_; }
    bool sphereCalibrated() const;
    bool kindSwitched() const;
    bool isGlReady() const { return glReady_; }
    // Shows a picture as it is, building no coordinates (tools and tests).
    void showImage(const QImage& image);
    // A copy of the current picture (any thread).
    QImage currentImage() const;
    // How the last frame's coordinates were built: counts calls of
    // setImageData on the Sphere and Twins models (tests).
    int coordinateBuilds() const;

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void enterEvent(QEvent* event) override;

private:
    void nudge();
    void nudgeWhenIdle();
    void applyCameraPreset(int mode, bool preparingFile);
    void uploadTexture();  // imageMutex held by the caller
    void updateCamera();
    void releaseGl();      // the context is about to go
    SphereModel* modelFor(MediaKind kind) const;

    // -- Shared with the presentation thread: guarded by imageMutex.
    mutable QMutex imageMutex;
    QImage frameImage;
    bool frameDirty = false;
    MediaKind kind_ = Standard;
    SphereModel* active_ = nullptr;  // the model of kind_
    bool sphereCalibrated_ = false;  // the Sphere tables of this file are built
    bool kindSwitched_ = false;      // setKind ran, prepareFile has not yet
    unsigned fileGeneration_ = 0;    // bumped by setKind and prepareFile
    int coordinateBuilds_ = 0;
    // The models' records and coordinate tables (their programs and
    // matrices belong to the GUI thread).
    std::unique_ptr<GLSphereStandard> standard_;
    std::unique_ptr<GLSphereFishEye> sphere_;
    std::unique_ptr<GLSphere2FishEye> twins_;

    // -- Presentation thread only.
    FrameIntake intake_;

    // -- GUI thread only.
    double fov_ = 75, near_ = double(0.001f), far_ = 1100, viewOffset_ = 0;
    double width_ = 1, height_ = 1;
    ViewHost* host_ = nullptr;
    QPoint pressPosition_;
    double yaw_ = 0, pitch_ = 0, yawAtPress_ = 0, pitchAtPress_ = 0;
    bool edgeDrag_ = false;
    int zoomLevel_ = 3;
    bool glReady_ = false;
    ViewMode viewMode_ = Pano;
    std::unique_ptr<QOpenGLTexture> texture_;  // null while there is no context
};

}  // namespace vistamo::render
