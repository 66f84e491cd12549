#include "gl_view.h"

#include <QDebug>
#include <QMouseEvent>
#include <QMutexLocker>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLShaderProgram>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "gl_surface.h"
#include "lensmeta/lensmeta.h"
#include "log_text.h"
#include "view_host.h"

namespace vistamo::render {

GLView::GLView(QWidget* parent)
    : QWidget(parent),
      standard_(std::make_unique<GLSphereStandard>()),
      sphere_(std::make_unique<GLSphereFishEye>()),
      twins_(std::make_unique<GLSphere2FishEye>()),
      surface_(new GLSurface(this)),
      container_(QWidget::createWindowContainer(surface_, this)) {
    setMouseTracking(true);
    container_->setFocusPolicy(Qt::NoFocus);
    container_->setGeometry(rect());
    active_ = standard_.get();
    steady_.start();
    connect(surface_, &QOpenGLWindow::frameSwapped, this, &GLView::onFrameSwapped);
}

GLView::~GLView() {
    // GL objects go with the context that made them, while the models that
    // hold them are still here; then the surface and its context go.
    if (glReady_)
        releaseGl();
    delete container_;
}

void GLView::makeCurrent() { surface_->makeCurrent(); }

void GLView::doneCurrent() { surface_->doneCurrent(); }

QOpenGLContext* GLView::context() const { return surface_->context(); }

void GLView::requestPaint() { surface_->update(); }

void GLView::resizeEvent(QResizeEvent*) { container_->setGeometry(rect()); }

void GLView::releaseGl() {
    if (!glReady_)
        return;
    makeCurrent();
    texture_.reset();
    if (packedTexture_)
        glDeleteTextures(1, &packedTexture_);
    packedTexture_ = 0;
    packedSize_ = QSize();
    for (SphereModel* m : {static_cast<SphereModel*>(standard_.get()), static_cast<SphereModel*>(sphere_.get()),
                           static_cast<SphereModel*>(twins_.get())})
        m->releaseProgram();
    glReady_ = false;
    doneCurrent();
}

void GLView::initializeGL() {
    // Runs for the surface's context: everything GL is made in it.
    initializeOpenGLFunctions();
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &GLView::releaseGl,
            Qt::ConnectionType(Qt::DirectConnection | Qt::UniqueConnection));
    texture_ = std::make_unique<QOpenGLTexture>(QOpenGLTexture::Target2D);
    {
        QMutexLocker lock(&imageMutex);
        frameDirty = true;  // the picture goes into the new textures
    }
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
    width_ = std::max(w, 1);
    height_ = std::max(h, 1);
    applyLens();
}

void GLView::applyLens() {
    if (!active_)
        return;
    // The lens of each view mode. Fisheye: a 145° lens moved 1.2 radii
    // towards the pole it faces, whose 0.34 near plane cuts the sphere into
    // the round picture; Little planet: a 140° lens 0.9 radii towards the
    // pole, seeing the whole sphere as a disc; Pano: a plain 75° lens at the
    // centre. Each fills a 16:9 window without showing the sphere's edge.
    switch (viewMode_) {
    case Fisheye: fov_ = 145; near_ = double(0.34f); viewOffset_ = double(-1.2f); break;
    case LittlePlanet: fov_ = 140; near_ = double(0.001f); viewOffset_ = double(-0.9f); break;
    default: fov_ = 75; near_ = double(0.001f); viewOffset_ = 0; break;
    }
    active_->projection.setToIdentity();
    active_->projection.perspective(float(fov_), float(width_ / height_), float(near_), float(far_));
}

void GLView::paintGL() {
    // The window system may show the surface at a new size before Qt
    // reports the resize: the paint goes by the size it has now.
    const QSize now = surface_->size();
    if (now.width() != int(width_) || now.height() != int(height_))
        resizeGL(now.width(), now.height());
    const qreal ratio = surface_->devicePixelRatio();
    glViewport(0, 0, int(width_ * ratio), int(height_ * ratio));
    drawPicture(true);
}

QImage GLView::grabFramebuffer() {
    if (!surface_->isValid() || !glReady_)
        return QImage();
    makeCurrent();
    const qreal ratio = surface_->devicePixelRatio();
    const QSize size(int(width_ * ratio), int(height_ * ratio));
    QOpenGLFramebufferObject target(size);
    target.bind();
    glViewport(0, 0, size.width(), size.height());
    drawPicture(false);
    QImage image = target.toImage(true);  // rows from the top, as on the screen
    target.release();
    image.setDevicePixelRatio(ratio);
    return image;
}

void GLView::drawPicture(bool counted) {
    if (!active_)
        return;
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    // The picture is taken by reference under the lock and uploaded outside
    // it; the coordinate tables are read under it.
    PackedPicture frame;
    QImage image;
    bool changed;
    qint64 takenAt;
    {
        QMutexLocker lock(&imageMutex);
        if (!texture_)
            return;
        frame = frameVideo;
        if (!frame.isValid())
            image = frameImage;
        changed = frameDirty;
        // A grab leaves the picture new for the next paint, which counts it.
        if (counted)
            frameDirty = false;
        takenAt = frameTakenAt_;
    }
    uploadPicture(frame, image, changed);
    if (counted) {
        ++counts_.paints;
        if (changed && frame.isValid()) {
            ++counts_.newFrames;
            paintedTakenAt_ = takenAt;
        }
    }
    QMutexLocker lock(&imageMutex);
    updateCamera();
    active_->picture = picture_;
    active_->picture.gains = matchLenses_ && kind_ == Twins ? gains_ : lens::LensGains();
    active_->draw();
}

void GLView::onFrameSwapped() {
    if (paintedTakenAt_ >= 0)
        measureSwap();
    emit frameSwapped();
}

void GLView::measureSwap() {
    // Smoothed over about ten frames: single paints vary with the load.
    const double delay = double(steady_.elapsed() - paintedTakenAt_) / 1000.0;
    const double before = presentationDelay_.load();
    presentationDelay_ = before == 0 ? delay : before * 0.9 + delay * 0.1;
    paintedTakenAt_ = -1;
    // A swap into a window the server has not yet shown is not on screen.
    if (surface_->isExposed())
        ++framesOnScreen_;
}

void GLView::uploadPicture(const PackedPicture& frame, const QImage& image, bool changed) {
    if (frame.isValid()) {
        if (changed || !packedTexture_)
            uploadPacked(frame);
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_2D, packedTexture_);
        glActiveTexture(GL_TEXTURE0);
        return;
    }
    picture_.yuv = false;
    if (image.isNull() || !texture_)
        return;
    const bool sameShape = texture_->isStorageAllocated() && texture_->width() == image.width() &&
                           texture_->height() == image.height() && image.format() == QImage::Format_ARGB32;
    if (sameShape) {
        // Same size: the picture goes into the existing storage, and only
        // when it changed since the last upload.
        if (changed) {
            texture_->setData(QOpenGLTexture::BGRA, QOpenGLTexture::UInt8, image.constBits());
            texture_->generateMipMaps();
        }
        texture_->bind(0);
        return;
    }
    if (texture_->isStorageAllocated()) {
        texture_->release();
        texture_->destroy();
    }
    if (!texture_->create())
        return;
    texture_->setData(image, QOpenGLTexture::GenerateMipMaps);
    texture_->setMinificationFilter(QOpenGLTexture::Linear);
    texture_->setMagnificationFilter(QOpenGLTexture::Linear);
    texture_->setWrapMode(QOpenGLTexture::ClampToEdge);
    texture_->bind(0);
}

void GLView::uploadPacked(const PackedPicture& frame) {
    if (!packedTexture_)
        glGenTextures(1, &packedTexture_);
    glBindTexture(GL_TEXTURE_2D, packedTexture_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    const QSize size(frame.width, frame.height);
    if (packedSize_ != size) {
        // A new shape: new storage. Otherwise the storage is reused.
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, frame.width, frame.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     frame.texels->data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        packedSize_ = size;
    } else {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, frame.width, frame.height, GL_RGBA, GL_UNSIGNED_BYTE,
                        frame.texels->data());
    }
    // Packed samples are 8-bit, read as sample / 255.
    const colour::YuvToRgb toRgb = colour::yuvToRgb(frame.rule);
    std::copy_n(toRgb.m, 9, picture_.matrix);
    std::copy_n(toRgb.offset, 3, picture_.offset);
    picture_.yuv = true;
}

QVector3D GLView::eye() const {
    // The camera sits inside the unit sphere: each of the five zoom levels
    // moves it a sixth of the radius out from the centre, so level 5 stays
    // inside (5/6) and level 1 is nearly at the centre.
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
}

SphereModel* GLView::modelFor(MediaKind kind) const {
    switch (kind) {
    case Sphere: return sphere_.get();
    case Twins: return twins_.get();
    default: return standard_.get();
    }
}

void GLView::setKind(int k) {
    if (glReady_) {
        // The previous file's picture gives way to a dark one at once.
        QImage blank(640, 360, QImage::Format_ARGB32);
        blank.fill(QColor(18, 18, 18, 255));
        {
            QMutexLocker lock(&imageMutex);
            frameImage = blank;
            frameVideo = PackedPicture();
            frameDirty = false;
        }
        makeCurrent();
        uploadPicture(PackedPicture(), blank, true);
        QMutexLocker lock(&imageMutex);
        active_->picture = picture_;
        active_->draw();
    }
    QMutexLocker lock(&imageMutex);
    ++fileGeneration_;
    kindSwitched_ = true;
    if (k == Standard || k == Sphere || k == Twins) {
        kind_ = MediaKind(k);
        active_ = modelFor(kind_);
    }
}

int GLView::kind() const {
    QMutexLocker lock(&imageMutex);
    return kind_;
}

SphereModel* GLView::activeModel() const {
    QMutexLocker lock(&imageMutex);
    return active_;
}

bool GLView::sphereCalibrated() const {
    QMutexLocker lock(&imageMutex);
    return sphereCalibrated_;
}

bool GLView::kindSwitched() const {
    QMutexLocker lock(&imageMutex);
    return kindSwitched_;
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
    requestPaint();
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
    ++fileGeneration_;
    sphere_->texCoordsReady = false;
    twins_->texCoordsReady = false;
    matchedFrames_ = 0;
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
    qDebug().noquote() << QString::fromStdString(text::forLog(record.calibText));
    if (kind_ == Sphere) {
        sphere_->data = record;
        sphereCalibrated_ = false;
    } else if (kind_ == Twins) {
        twins_->data = record;
    }
}

void GLView::setViewMode(int mode) {
    if (mode < Pano || mode > Original)
        return;
    viewMode_ = ViewMode(mode);
    applyCameraPreset(mode, false);
    nudge();
}

void GLView::nudge() {
    applyLens();
    requestPaint();
}

void GLView::nudgeWhenIdle() {
    if (!host_ || host_->isPlayerPaused() || host_->isPlayerStopped())
        nudge();
}

void GLView::takeFrame(const media::VideoFrame& frame) {
    // Readying and table building are slow: done before the lock is taken.
    FrameIntake::Request request;
    unsigned generation;
    const PackedPicture ready = intake_.prepare(frame);
    if (!ready.isValid())
        return;
    {
        QMutexLocker lock(&imageMutex);
        generation = fileGeneration_;
        request.kind = kind_;
        request.buildCoordinates =
            !(active_->texCoordsReady || kindSwitched_ || kind_ == Standard) && !(kind_ == Sphere && sphereCalibrated_);
        if (request.buildCoordinates)
            request.record = kind_ == Twins ? twins_->data : sphere_->data;
    }
    const bool built = intake_.build(ready.source, request);

    QMutexLocker lock(&imageMutex);
    if (frameDirty && frameVideo.isValid())
        ++replacedUnseen_;
    frameVideo = ready;
    frameImage = QImage();
    frameTakenAt_ = steady_.elapsed();
    frameDirty = true;
    // A file prepared or a kind switched meanwhile: the tables are not theirs.
    if (!built || generation != fileGeneration_) {
        if (!request.buildCoordinates && kind_ == Twins && twins_->texCoordsReady && generation == fileGeneration_)
            matchTwinsFrame(ready);
        return;
    }
    if (request.kind == Twins) {
        twins_->adoptCoordinates(intake_.twinsModel());
        twins_->texCoordsReady = true;
        matchTwinsFrame(ready);
    } else {
        sphere_->adoptCoordinates(intake_.sphereModel());
        sphere_->texCoordsReady = true;
        sphereCalibrated_ = true;
    }
    ++coordinateBuilds_;
}

void GLView::matchTwinsFrame(const PackedPicture& frame) {
    if (!matchLenses_)
        return;
    constexpr qint64 kInterval = 30;  // about a second of video
    if (matchedFrames_ % kInterval == 0) {
        std::vector<float> weights(static_cast<size_t>(kVertices));
        lens::twinsStripWeights(twins_->yaw0, twins_->yaw1, twins_->data.fov2 - 180.0f, weights.data());
        const std::vector<lens::LensPair> pairs = twinsBandPairs(frame, twins_->texCoordA.data(),
                                                                 twins_->texCoordB.data(), weights.data(), weights.size());
        gainsTarget_ = lens::estimateLensGains(pairs.data(), pairs.size());
        if (matchedFrames_ == 0)
            gains_ = gainsTarget_;
    }
    gains_ = lens::stepTowards(gains_, gainsTarget_);
    ++matchedFrames_;
}

void GLView::setMatchLenses(bool match) {
    {
        QMutexLocker lock(&imageMutex);
        if (matchLenses_ == match)
            return;
        matchLenses_ = match;
        // Back on: estimated afresh from the picture shown (a still or a
        // paused video has no next frame), with no walk from unit.
        matchedFrames_ = 0;
        gains_ = gainsTarget_ = lens::LensGains();
        if (match && kind_ == Twins && twins_->texCoordsReady && frameVideo.isValid())
            matchTwinsFrame(frameVideo);
    }
    nudge();  // the gains are uniforms: a repaint shows them
}

bool GLView::matchLenses() const {
    QMutexLocker lock(&imageMutex);
    return matchLenses_;
}

lens::LensGains GLView::lensGains() const {
    QMutexLocker lock(&imageMutex);
    return matchLenses_ && kind_ == Twins ? gains_ : lens::LensGains();
}

int GLView::coordinateBuilds() const {
    QMutexLocker lock(&imageMutex);
    return coordinateBuilds_;
}

void GLView::showImage(const QImage& image) {
    QMutexLocker lock(&imageMutex);
    frameImage = image.convertToFormat(QImage::Format_ARGB32);
    frameVideo = PackedPicture();
    frameDirty = true;
}

QImage GLView::currentImage() const {
    media::VideoFrame frame;
    {
        QMutexLocker lock(&imageMutex);
        if (!frameVideo.isValid())
            return frameImage.copy();
        frame = frameVideo.source;
    }
    return frame.toImage(QImage::Format_ARGB32);
}

QSize GLView::pictureSize() const {
    QMutexLocker lock(&imageMutex);
    return frameVideo.isValid() ? QSize(frameVideo.width, frameVideo.height) : frameImage.size();
}

QSize GLView::decodedSize() const {
    QMutexLocker lock(&imageMutex);
    if (!frameVideo.isValid())
        return frameImage.size();
    return frameVideo.source.isValid() ? QSize(frameVideo.source.width(), frameVideo.source.height())
                                       : QSize(frameVideo.width, frameVideo.height);
}

GLView::PaintCounts GLView::paintCounts() const {
    PaintCounts counts = counts_;
    QMutexLocker lock(&imageMutex);
    counts.replacedUnseen = replacedUnseen_;
    return counts;
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
        surface_->setCursor(Qt::ArrowCursor);
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

void GLView::enterEvent(QEvent*) { surface_->setCursor(Qt::ArrowCursor); }

}  // namespace vistamo::render
