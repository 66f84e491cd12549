// The native window that the view draws into. GL renders straight into it
// and the window system shows it as it is: a QOpenGLWidget would draw into
// a framebuffer that Qt then composes with the rest of the top-level
// window at every frame, which on software GL costs about a quarter of
// each frame's drawing. The surface only draws and forwards input; the
// view (its owner, a widget) keeps the camera, the pictures and the
// programs. GUI thread only.
#pragma once

#include <QOpenGLWindow>

namespace vistamo::render {

class GLView;

class GLSurface : public QOpenGLWindow {
public:
    explicit GLSurface(GLView* view);

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    // Input arrives at the native window; the view handles it as its own.
    bool event(QEvent* event) override;

private:
    GLView* view_;  // outlives the surface: it deletes the surface's container first
};

}  // namespace vistamo::render
