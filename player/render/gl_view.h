// The widget on which the panorama is seen: the inside of a textured unit
// sphere with a camera that the mouse turns and the wheel moves.
//
// Threads: everything runs on the GUI thread except takeFrame, which the
// player's presentation thread calls. imageMutex guards frameImage,
// frameDirty and the sphere models' metadata and coordinate tables: the
// decoder side rewrites them inside takeFrame, the GUI thread reads them
// while it uploads and draws, so a half-built table is never drawn.
#pragma once

#include <QImage>
#include <QMutex>
#include <QOpenGLFunctions>
#include <QOpenGLTexture>
#include <QOpenGLWidget>

#include <memory>

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
    int kind() const { return kind_; }
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
    SphereModel* activeModel() const { return active_; }
    GLSphereStandard& standardModel() { return *standard_; }
    GLSphereFishEye& sphereModel() { return *sphere_; }
    GLSphere2FishEye& twinsModel() { return *twins_; }
    bool sphereCalibrated() const { return sphereCalibrated_; }
    bool kindSwitched() const { return kindSwitched_; }
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

    QImage frameImage;        // guarded by imageMutex
    bool frameDirty = false;  // guarded by imageMutex
    bool sphereCalibrated_ = false;
    bool kindSwitched_ = false;
    double fov_ = 75, near_ = double(0.001f), far_ = 1100, viewOffset_ = 0;
    double width_ = 1, height_ = 1;
    ViewHost* host_ = nullptr;
    SphereModel* active_ = nullptr;
    int kind_ = Standard;
    std::unique_ptr<GLSphereStandard> standard_;
    std::unique_ptr<GLSphereFishEye> sphere_;
    std::unique_ptr<GLSphere2FishEye> twins_;
    QPoint pressPosition_;
    double yaw_ = 0, pitch_ = 0, yawAtPress_ = 0, pitchAtPress_ = 0;
    bool edgeDrag_ = false;
    int zoomLevel_ = 3;
    mutable QMutex imageMutex;
    bool glReady_ = false;
    int viewMode_ = Pano;
    std::unique_ptr<QOpenGLTexture> texture_;
    int coordinateBuilds_ = 0;  // guarded by imageMutex
};

// Frame intake sizes: frames narrower than 2160 stay, wider ones are
// halved (to even sizes), wider than 8192 are ignored (an empty size).
QSize intakeSize(QSize frame);

}  // namespace vistamo::render
