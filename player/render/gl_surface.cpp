#include "gl_surface.h"

#include <QCoreApplication>
#include <QEvent>

#include "gl_view.h"

namespace vistamo::render {

GLSurface::GLSurface(GLView* view) : QOpenGLWindow(QOpenGLWindow::NoPartialUpdate), view_(view) {
    // The keys belong to the player's window, whose commands they run.
    setFlag(Qt::WindowDoesNotAcceptFocus);
}

void GLSurface::initializeGL() { view_->initializeGL(); }

void GLSurface::resizeGL(int w, int h) { view_->resizeGL(w, h); }

void GLSurface::paintGL() { view_->paintGL(); }

bool GLSurface::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::Enter:
    case QEvent::Leave:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        // The surface fills the view, so positions are the view's own.
        return QCoreApplication::sendEvent(view_, event);
    default: return QOpenGLWindow::event(event);
    }
}

}  // namespace vistamo::render
