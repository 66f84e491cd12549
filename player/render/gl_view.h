// The widget on which the panorama is seen: the inside of a textured unit
// sphere with a camera that the mouse turns and the wheel moves. It keeps
// the camera, the input and the drawing; FrameIntake turns frames into its
// picture and coordinate tables.
//
// Threads: everything runs on the GUI thread except takeFrame, which the
// player's presentation thread calls. takeFrame readies the frame and
// builds any tables with no lock held, then hands them over under
// imageMutex in a few copies; paintGL takes a reference to the frame under
// the lock and uploads its planes outside it, so neither side waits for the
// other's slow work.
//
// Pictures: a video frame arrives as its Y'CbCr samples packed by the
// intake, goes into a texture that is reused while the shape stays, and
// the programs convert it by the frame's colour rule (the same GLSL
// function as the engine's). Still pictures given as images (showImage)
// are one RGB texture.
//
// Drawing: the view is a widget that holds a native GL window (GLSurface)
// over its whole area; the surface calls the view's initializeGL, resizeGL
// and paintGL and hands it its input. Widgets meant to lie over the
// picture must be native windows themselves, raised above the surface.
//
// GL objects (programs, texture) belong to the surface's context: they are
// released when that context is about to be destroyed and made again in
// the next one.
#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QMutex>
#include <QOpenGLFunctions>
#include <QOpenGLTexture>
#include <QWidget>

#include <atomic>
#include <memory>

#include "frame_intake.h"
#include "colour_rule.h"
#include "render_types.h"
#include "sphere_model.h"
#include "video_frame.h"

class QOpenGLContext;

namespace vistamo::render {

class GLSurface;
class ViewHost;


class GLView : public QWidget, protected QOpenGLFunctions {
    Q_OBJECT
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
    // A copy of the current picture, as RGB (any thread).
    QImage currentImage() const;
    // The current picture's size, without converting it (any thread).
    QSize pictureSize() const;
    // The size the current picture was decoded at, before the view halved
    // a wide one (any thread): what an export of it starts from.
    QSize decodedSize() const;

    // What the view has drawn (GUI thread): paints, paints that showed a
    // new frame, and the frames taken that were replaced before any paint
    // showed them.
    struct PaintCounts {
        qint64 paints = 0;
        qint64 newFrames = 0;
        qint64 replacedUnseen = 0;
    };
    PaintCounts paintCounts() const;
    // Any thread: the smoothed time from takeFrame to the frame being on
    // the screen (its window's buffer swap), in seconds; 0 until measured.
    double presentationDelay() const { return presentationDelay_.load(); }
    // Any thread: new frames whose paint has been swapped onto the screen.
    qint64 framesOnScreen() const { return framesOnScreen_.load(); }
    // How the last frame's coordinates were built: counts calls of
    // setImageData on the Sphere and Twins models (tests).
    int coordinateBuilds() const;

    // Lens matching of Twins pictures (on by default): the gains come from
    // the first frame of a file, then from a frame every 30, and move by
    // at most 0.5 % a frame (lens_match.h). Any thread.
    void setMatchLenses(bool match);
    bool matchLenses() const;
    // The gains the next paint applies (unit when matching is off).
    lens::LensGains lensGains() const;

    // Asks the surface for a paint of the picture (QWidget::update would
    // repaint only the widget beneath it).
    void requestPaint();
    // The current picture drawn as a paint would draw it, into an image of
    // the view's size; null before the surface has its context (the view
    // not yet shown). Counts no paint.
    QImage grabFramebuffer();

signals:
    // A paint has been swapped onto the surface.
    void frameSwapped();

protected:
    friend class GLSurface;
    // Called by the surface with its context current.
    virtual void initializeGL();
    virtual void resizeGL(int w, int h);
    virtual void paintGL();
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void enterEvent(QEvent* event) override;

private:
    void nudge();
    void nudgeWhenIdle();
    // Sets the lens of the view mode and the projection for the size.
    void applyLens();
    // Uploads the current picture and draws it into the bound framebuffer;
    // counted: a paint of the surface, whose counts and dirty flag it keeps.
    void drawPicture(bool counted);
    void makeCurrent();
    void doneCurrent();
    QOpenGLContext* context() const;
    void applyCameraPreset(int mode, bool preparingFile);
    // Uploads the picture if it changed and binds its textures (GUI thread,
    // no lock held: the frame and image are references of their own).
    void uploadPicture(const PackedPicture& frame, const QImage& image, bool changed);
    void uploadPacked(const PackedPicture& frame);
    void onFrameSwapped();
    void measureSwap();  // the delay and on-screen count of the paint just swapped
    void updateCamera();
    void releaseGl();      // the context is about to go
    SphereModel* modelFor(MediaKind kind) const;
    // The Twins gains after frame (imageMutex held, the Twins tables ready).
    void matchTwinsFrame(const PackedPicture& frame);

    // -- Shared with the presentation thread: guarded by imageMutex.
    mutable QMutex imageMutex;
    QImage frameImage;               // the picture when it is an image (frameVideo invalid)
    PackedPicture frameVideo;        // the picture when it is a video frame
    qint64 frameTakenAt_ = 0;        // steady milliseconds at which frameVideo was taken
    bool frameDirty = false;
    qint64 replacedUnseen_ = 0;      // frames taken over others that no paint showed
    MediaKind kind_ = Standard;
    SphereModel* active_ = nullptr;  // the model of kind_
    bool sphereCalibrated_ = false;  // the Sphere tables of this file are built
    bool kindSwitched_ = false;      // setKind ran, prepareFile has not yet
    unsigned fileGeneration_ = 0;    // bumped by setKind and prepareFile
    int coordinateBuilds_ = 0;
    bool matchLenses_ = true;
    lens::LensGains gains_, gainsTarget_;  // Twins: applied, and the last estimate
    qint64 matchedFrames_ = 0;              // frames of this file matched so far
    // The models' records and coordinate tables (their programs and
    // matrices belong to the GUI thread).
    std::unique_ptr<GLSphereStandard> standard_;
    std::unique_ptr<GLSphereFishEye> sphere_;
    std::unique_ptr<GLSphere2FishEye> twins_;

    // -- Presentation thread only.
    FrameIntake intake_;

    // -- GUI thread only.
    GLSurface* surface_;   // owned by container_
    QWidget* container_;   // our child, the surface's widget; deleted before our members go
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
    // The texels of the last video frame uploaded, reused while the shape
    // stays; it belongs to the current context.
    GLuint packedTexture_ = 0;
    QSize packedSize_;
    PictureUniforms picture_;       // how the bound picture is read
    PaintCounts counts_;
    qint64 paintedTakenAt_ = -1;    // taken-at of the frame the last paint showed, until its swap
    QElapsedTimer steady_;          // the clock of frameTakenAt_

    // -- Any thread.
    std::atomic<double> presentationDelay_{0};
    std::atomic<qint64> framesOnScreen_{0};
};

}  // namespace vistamo::render
