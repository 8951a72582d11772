#include "gui/main/video/SurfaceWindow.h"

#include <cmath>
#include <utility>

#include "core/support/Log.h"
#include "gui/main/video/CaptureBuffer.h"

SurfaceWindow::SurfaceWindow(std::function<void()> initialize, std::function<void(bool)> frame)
    : initialize_(std::move(initialize)), frame_(std::move(frame)) {
    setSurfaceType(QSurface::OpenGLSurface);
    setFlags(flags() | Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus);
}

SurfaceWindow::~SurfaceWindow() {
    if (context_ && makeCurrent()) {
        painter_.reset();
        fbo_.reset();
        context_->doneCurrent();
    }
}

bool SurfaceWindow::makeCurrent() {
    if (!handle()) {
        return false;  // not created yet
    }
    if (!context_) {
        context_ = std::make_unique<QOpenGLContext>();
        context_->setFormat(requestedFormat());
        if (!context_->create() || !context_->makeCurrent(this)) {
            QLog("video surface: no OpenGL context");
            context_.reset();
            return false;
        }
        copies_ = copy_.Attach();
        QLog("video surface: %s",
             copies_ ? "rectangles copied to the screen" : "a frame buffer object blitted whole");
        initialize_();
        return true;
    }
    return context_->makeCurrent(this);
}

bool SurfaceWindow::begin(QSize device) {
    bool fresh = device != size_;
    if (fresh && copies_ && !size_.isEmpty()) {
        // The driver learns the window's new size from a swap; what it shows is drawn again.
        context_->swapBuffers(this);
    }
    if (!copies_ && (!fbo_ || fresh)) {
        fbo_ = std::make_unique<QOpenGLFramebufferObject>(device);
        fresh = true;
    }
    if (fresh || !painter_) {
        painter_ = std::make_unique<TargetDevice>(*this, device);
        painter_->setDevicePixelRatio(devicePixelRatio());
    }
    size_ = device;
    bind();
    return fresh;
}

void SurfaceWindow::Damage(const PaneRect& r, qreal ratio) {
    // Whole device pixels that cover the rectangle.
    const int x0 = static_cast<int>(std::floor(r.x * ratio));
    const int y0 = static_cast<int>(std::floor(r.y * ratio));
    const int x1 = static_cast<int>(std::ceil((r.x + r.width) * ratio));
    const int y1 = static_cast<int>(std::ceil((r.y + r.height) * ratio));
    damage_.Add(QRect(x0, y0, x1 - x0, y1 - y0));
}

void SurfaceWindow::Present() {
    if (copies_) {
        if (damage_.all()) {
            copy_.Copy(0, 0, size_.width(), size_.height());
            return;
        }
        for (const QRect& r : damage_) {
            copy_.Copy(r.x(), r.y(), r.width(), r.height());
        }
        return;
    }
    if (!damage_.all() && damage_.count() == 0) {
        return;
    }
    const QRect whole(QPoint(0, 0), size_);
    QOpenGLFramebufferObject::blitFramebuffer(nullptr, whole, fbo_.get(), whole);
    context_->swapBuffers(this);
    bind();
}

bool SurfaceWindow::ReadPixels(CaptureBuffer& capture, int w, int h) {
    makeCurrent();
    QOpenGLFunctions* gl = context_->functions();
    for (int i = 0; i < 8 && gl->glGetError() != GL_NO_ERROR; ++i) {
    }
    QLog("readScreenAsyncFinish");
    gl->glBindFramebuffer(GL_FRAMEBUFFER, target());
    gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
    // GL_RGBA bytes in memory order red, green, blue, alpha; rows from the bottom up.
    gl->glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, capture.data());
    const GLenum error = gl->glGetError();
    if (error != GL_NO_ERROR) {
        QLog("OpenGL glReadPixels failed (error 0x%04X)", error);
        return false;
    }
    capture.FlipRows();
    return true;
}

void SurfaceWindow::exposeEvent(QExposeEvent*) {
    if (isExposed()) {
        frame_(true);
    }
}

bool SurfaceWindow::event(QEvent* event) {
    if (event->type() == QEvent::UpdateRequest) {
        frame_(false);
        return true;
    }
    return QWindow::event(event);
}
