// The window the pictures are drawn in, with an OpenGL context of its own. What it drew stays
// between frames (a pane keeps its picture until cleared), and a frame puts only the rectangles
// it drew on the screen: no pass over the whole window composes or copies it. Where the driver
// cannot copy rectangles of the back buffer to the screen, the frames are drawn into a frame
// buffer object that goes whole to the screen at each frame. Input passes through the window to
// the view below.
//
// Threads: GUI thread only, like all OpenGL. The view owns the window through its window
// container; the context, the frame buffer object and the paint device belong to the window.
#pragma once

#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QOpenGLPaintDevice>
#include <QRect>
#include <QWindow>

#include <functional>
#include <memory>

#include "core/layout/Layout.h"
#include "gui/main/video/DamageList.h"
#include "gui/main/video/SubBufferCopy.h"

class CaptureBuffer;

class SurfaceWindow : public QWindow {
  public:
    // `initialize` runs once with the new context current; `frame` draws a frame (true: all of
    // it, the window system lost what it showed).
    SurfaceWindow(std::function<void()> initialize, std::function<void(bool)> frame);
    ~SurfaceWindow() override;

    QOpenGLContext* context() const { return context_.get(); }
    bool isValid() const { return context_ && context_->isValid() && handle(); }

    // Makes the context current on this window; the first time it makes the context and runs
    // `initialize`.
    bool makeCurrent();
    // Binds what the frame draws into, at `device` pixels. True when it is new, with nothing
    // in it.
    bool begin(QSize device);
    // The frame buffer the frames are drawn into: the back buffer, or the object.
    GLuint target() const { return fbo_ ? fbo_->handle() : context_->defaultFramebufferObject(); }
    QOpenGLPaintDevice* paintDevice() const { return painter_.get(); }

    // The damage list: what this frame drew, in device pixels from the bottom left. `all`: the
    // whole window goes to the screen.
    void StartDamage(bool all) { damage_.Start(all); }
    void DamageAll() { damage_.MarkAll(); }
    // `rect` (surface units, `ratio` device pixels each) was drawn in this frame.
    void Damage(const PaneRect& rect, qreal ratio);
    // Puts what the frame drew on the screen.
    void Present();

    // Reads w x h device pixels of the frame buffer into `capture` (sized already), top row
    // first. False when OpenGL failed.
    bool ReadPixels(CaptureBuffer& capture, int w, int h);

  protected:
    void exposeEvent(QExposeEvent*) override;
    bool event(QEvent* event) override;

  private:
    void bind() const { context_->functions()->glBindFramebuffer(GL_FRAMEBUFFER, target()); }
    // The painter's texts go where the pictures are.
    class TargetDevice : public QOpenGLPaintDevice {
      public:
        TargetDevice(const SurfaceWindow& surface, QSize size)
            : QOpenGLPaintDevice(size), surface_(surface) {}
        void ensureActiveTarget() override { surface_.bind(); }

      private:
        const SurfaceWindow& surface_;
    };

    std::function<void()> initialize_;
    std::function<void(bool)> frame_;
    std::unique_ptr<QOpenGLContext> context_;
    SubBufferCopy copy_;
    bool copies_ = false;
    std::unique_ptr<QOpenGLFramebufferObject> fbo_;  // when rectangles cannot be copied
    std::unique_ptr<TargetDevice> painter_;
    QSize size_;
    DamageList damage_;
};
