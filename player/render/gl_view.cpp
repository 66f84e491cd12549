#include "gl_view.h"

#include <QDebug>
#include <QMouseEvent>
#include <QMutexLocker>
#include <QOpenGLContext>
#include <QOpenGLShaderProgram>
#include <QWheelEvent>

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>

#include "circle_detection.h"
#include "lensmeta/lensmeta.h"
#include "view_host.h"

namespace vistamo::render {

QSize intakeSize(QSize frame) {
    if (frame.width() > 8192)
        return {};
    if (frame.width() < 2160)
        return frame;
    return QSize((frame.width() / 4) * 2, (frame.height() / 4) * 2);
}

GLView::GLView(QWidget* parent)
    : QOpenGLWidget(parent),
      standard_(std::make_unique<GLSphereStandard>()),
      sphere_(std::make_unique<GLSphereFishEye>()),
      twins_(std::make_unique<GLSphere2FishEye>()),
      texture_(std::make_unique<QOpenGLTexture>(QOpenGLTexture::Target2D)) {
    setMouseTracking(true);
    setUpdateBehavior(QOpenGLWidget::NoPartialUpdate);
    active_ = standard_.get();
}

GLView::~GLView() {
    // GL objects go with the context that made them.
    makeCurrent();
    texture_.reset();
    standard_.reset();
    sphere_.reset();
    twins_.reset();
    doneCurrent();
}

void GLView::initializeGL() {
    if (glReady_)
        return;
    initializeOpenGLFunctions();
    fov_ = 75;
    far_ = 1100;
    near_ = double(0.001f);
    viewOffset_ = 0;
    glDisable(GL_DEPTH_TEST);
    for (SphereModel* m : {static_cast<SphereModel*>(standard_.get()), static_cast<SphereModel*>(sphere_.get()),
                           static_cast<SphereModel*>(twins_.get())}) {
        m->setFunctions(this);
        m->buildProgram();
        m->buildMesh();
        m->model.setToIdentity();
        m->model.scale(1, 1, 1);
    }
    standard_->buildDefaultTexCoords();
    standard_->texCoordsReady = true;
    if (context()->format().profile() != QSurfaceFormat::CoreProfile)
        glEnable(GL_TEXTURE_2D);
    glReady_ = true;
    const QSurfaceFormat format = context()->format();
    qDebug() << "Opengl version: " << format.majorVersion() << format.minorVersion();
    qDebug() << "Opengl profile: " << int(format.profile());
    if (QOpenGLShader::hasOpenGLShaders(QOpenGLShader::Vertex, context()) &&
        QOpenGLShader::hasOpenGLShaders(QOpenGLShader::Fragment, context()))
        return;
    if (host_)
        host_->showOpenGLError();
}

void GLView::resizeGL(int w, int h) {
    width_ = w;
    height_ = std::max(h, 1);
    glViewport(0, 0, w, h);
    if (!active_)
        return;
    switch (viewMode_) {
    case Fisheye: fov_ = 145; near_ = double(0.34f); viewOffset_ = double(-1.2f); break;
    case LittlePlanet: fov_ = 140; near_ = double(0.001f); viewOffset_ = double(-0.9f); break;
    default: fov_ = 75; near_ = double(0.001f); viewOffset_ = 0; break;
    }
    active_->projection.setToIdentity();
    active_->projection.perspective(float(fov_), float(width_ / height_), float(near_), float(far_));
}

void GLView::paintGL() {
    if (!active_)
        return;
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // The picture and the coordinate tables are read under the lock that
    // the decoder side writes them under.
    QMutexLocker lock(&imageMutex);
    uploadTexture();
    updateCamera();
    active_->draw();
}

void GLView::uploadTexture() {
    if (frameImage.isNull())
        return;
    const bool sameShape = texture_->isStorageAllocated() && texture_->width() == frameImage.width() &&
                           texture_->height() == frameImage.height() &&
                           frameImage.format() == QImage::Format_ARGB32;
    if (sameShape) {
        // Same size: the picture goes into the existing storage, and only
        // when it changed since the last upload.
        if (frameDirty) {
            texture_->setData(QOpenGLTexture::BGRA, QOpenGLTexture::UInt8, frameImage.constBits());
            texture_->generateMipMaps();
        }
        texture_->bind(0);
        frameDirty = false;
        return;
    }
    if (texture_->isStorageAllocated()) {
        texture_->release();
        texture_->destroy();
    }
    if (!texture_->create())
        return;
    texture_->setData(frameImage, QOpenGLTexture::GenerateMipMaps);
    texture_->setMinificationFilter(QOpenGLTexture::Linear);
    texture_->setMagnificationFilter(QOpenGLTexture::Linear);
    texture_->setWrapMode(QOpenGLTexture::ClampToEdge);
    texture_->bind(0);
    frameDirty = false;
}

QVector3D GLView::eye() const {
    const double theta = (90 - std::clamp(pitch_, -85.0, 85.0)) * M_PI / 180;
    const double phi = yaw_ * M_PI / 180;
    const double r = zoomLevel_ * 0.1666667;
    return QVector3D(float(r * std::sin(theta) * std::cos(phi)), float(r * std::cos(theta)),
                     float(r * std::sin(theta) * std::sin(phi)));
}

void GLView::updateCamera() {
    active_->projection.setToIdentity();
    active_->projection.perspective(float(fov_), float(width_ / height_), float(near_), float(far_));
    pitch_ = std::clamp(pitch_, -85.0, 85.0);
    QMatrix4x4 lookAt;
    lookAt.lookAt(eye(), QVector3D(0, 0, 0), QVector3D(0, 1, 0));
    // viewOffset moves the camera along its viewing axis, after the look-at:
    // the negative presets bring it forward, towards the pole it faces, where
    // the near plane cuts the sphere into the round fisheye picture.
    QMatrix4x4 offset;
    offset.translate(0, 0, float(-viewOffset_));
    active_->view = offset * lookAt;
    makeCurrent();
}

void GLView::setKind(int k) {
    if (glReady_) {
        makeCurrent();
        QMutexLocker lock(&imageMutex);
        frameImage = QImage(640, 360, QImage::Format_RGBA8888);
        frameImage.fill(QColor(18, 18, 18, 255));
        uploadTexture();
        active_->draw();
    }
    kind_ = k;
    kindSwitched_ = true;
    if (k == Standard) active_ = standard_.get();
    else if (k == Sphere) active_ = sphere_.get();
    else if (k == Twins) active_ = twins_.get();
}

void GLView::applyCameraPreset(int mode, bool preparingFile) {
    switch (mode) {
    case Pano: yaw_ = preparingFile ? 1.0 : 0; pitch_ = 0; zoomLevel_ = 3; break;
    case Fisheye: yaw_ = 0; pitch_ = -85; zoomLevel_ = 5; break;
    case LittlePlanet: yaw_ = 0; pitch_ = 85; zoomLevel_ = 5; break;
    default: return;  // Original keeps the camera
    }
    pitchAtPress_ = pitch_;
    yawAtPress_ = 0;
}

void GLView::setCamera(double yaw, double pitch, int zoomLevel) {
    yaw_ = yaw;
    pitch_ = pitch;
    zoomLevel_ = std::clamp(zoomLevel, 1, 5);
    update();
}

void GLView::prepareFile(const QString& path) {
    if (path.isEmpty())
        return;
    applyCameraPreset(viewMode_, true);
    // The file is read before the lock is taken: the presentation thread
    // needs the lock for every frame.
    ImageData record;
    std::string local = path.toLocal8Bit().toStdString();
    const bool found = GetLensmeta(record, local);
    QMutexLocker lock(&imageMutex);
    sphere_->texCoordsReady = false;
    twins_->texCoordsReady = false;
    kindSwitched_ = false;
    if (!found) {
        if (kind_ == Sphere) {
            sphere_->data.calibrated = false;
            sphereCalibrated_ = false;
        } else if (kind_ == Twins) {
            twins_->data = record;
        }
        return;
    }
    qDebug().noquote() << QString::fromStdString(record.calibText);
    if (kind_ == Sphere) {
        sphere_->data = record;
        sphereCalibrated_ = false;
    } else if (kind_ == Twins) {
        twins_->data = record;
    }
}

void GLView::setViewMode(int mode) {
    viewMode_ = mode;
    applyCameraPreset(mode, false);
    nudge();
}

void GLView::nudge() {
    const QSize s = size();
    resize(s.width() + 1, s.height() + 1);
    resize(s);
    update();
}

void GLView::nudgeWhenIdle() {
    if (!host_ || host_->isPlayerPaused() || host_->isPlayerStopped())
        nudge();
}

void GLView::takeFrame(const media::VideoFrame& frame) {
    QMutexLocker lock(&imageMutex);
    const QSize size = intakeSize(frame.size());
    if (size.isEmpty())
        return;
    QImage image = frame.toImage(QImage::Format_ARGB32, size);
    if (image.isNull())
        return;
    frameImage = image;
    frameDirty = true;
    if (active_->texCoordsReady || kindSwitched_ || kind_ == Standard)
        return;
    if (kind_ == Twins) {
        ImageData record = twins_->data;
        record.frameWidth = frameImage.width();
        record.frameHeight = frameImage.height();
        twins_->setImageData(record);
        twins_->texCoordsReady = true;
        ++coordinateBuilds_;
        return;
    }
    if (sphere_->data.calibrated) {
        if (sphereCalibrated_)
            return;
        ImageData record = sphere_->data;
        record.frameWidth = frameImage.width();
        record.frameHeight = frameImage.height();
        const double x = double(record.frameWidth) / std::max(record.calibWidth, 1);
        record.calibWidth = saturatedInt(record.calibWidth * x);
        record.calibHeight = saturatedInt(record.calibHeight * x);
        if (record.lenses.size() == 1) {
            LenParam& lens = record.lenses[0];
            lens.radius = saturatedInt(lens.radius * x);
            lens.centerX = saturatedInt(lens.centerX * x);
            lens.centerY = saturatedInt(lens.centerY * x);
        }
        sphere_->setImageData(record);
        sphere_->texCoordsReady = true;
        sphereCalibrated_ = true;
        ++coordinateBuilds_;
        return;
    }
    if (sphereCalibrated_)
        return;
    qDebug() << "frame image format" << int(frameImage.format());
    const cv::Mat pixels(frameImage.height(), frameImage.width(), CV_8UC4, frameImage.bits(),
                         size_t(frameImage.bytesPerLine()));
    const vision::CircleFit fit = vision::detectFisheyeCircle(pixels);
    ImageData record;
    record.calibrated = true;
    record.frameWidth = fit.width;
    record.frameHeight = fit.height;
    record.fov = vision::kDetectedFov;
    LenParam lens;
    lens.radius = saturatedInt(fit.radius);
    lens.centerX = saturatedInt(fit.centerX);
    lens.centerY = saturatedInt(fit.centerY);
    record.lenses.push_back(lens);
    sphere_->setImageData(record);
    sphere_->texCoordsReady = true;
    sphereCalibrated_ = true;
    ++coordinateBuilds_;
}

int GLView::coordinateBuilds() const {
    QMutexLocker lock(&imageMutex);
    return coordinateBuilds_;
}

void GLView::showImage(const QImage& image) {
    QMutexLocker lock(&imageMutex);
    frameImage = image.convertToFormat(QImage::Format_ARGB32);
    frameDirty = true;
}

QImage GLView::currentImage() const {
    QMutexLocker lock(&imageMutex);
    return frameImage.copy();
}

void GLView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    pressPosition_ = event->pos();
    if (event->pos().x() > width() - 5) {
        edgeDrag_ = true;
    } else {
        yawAtPress_ = yaw_;
        pitchAtPress_ = pitch_;
    }
}

void GLView::mouseReleaseEvent(QMouseEvent*) {
    if (edgeDrag_) {
        edgeDrag_ = false;
        setCursor(Qt::ArrowCursor);
    }
}

void GLView::mouseDoubleClickEvent(QMouseEvent*) {
    if (host_)
        host_->setFullscreen();
}

void GLView::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() != Qt::LeftButton || edgeDrag_)
        return;
    yaw_ = (pressPosition_.x() - event->pos().x()) * 0.3 + yawAtPress_;
    pitch_ = (pressPosition_.y() - event->pos().y()) * 0.3 + pitchAtPress_;
    nudgeWhenIdle();
}

void GLView::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta != 0) {
        const int steps = (delta / 8) / 15;
        zoomLevel_ = std::clamp(zoomLevel_ + steps, 1, 5);
        nudgeWhenIdle();
    }
    event->accept();
}

void GLView::enterEvent(QEvent*) { setCursor(Qt::ArrowCursor); }

}  // namespace vistamo::render
