// The OpenGL video surface: every pane of the split screen is a rectangle of this one widget.
//
// Threads: renderCurrentFrame() is called by display threads; everything else, and all OpenGL,
// runs on the GUI thread. A display thread converts a picture into its pane's buffer (under the
// pane's lock) and records the pane here; the 30-per-second flush uploads each recorded pane
// (under that pane's lock again) and draws it into its rectangle. The widget keeps its frame
// buffer between flushes, so a pane shows its last picture until the surface is cleared.
#pragma once

#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLWidget>
#include <QTimer>

#include <mutex>

#include "display/DisplayPort.h"
#include "display/PaneBuffers.h"

class ViewController;

class VideoView : public QOpenGLWidget, protected QOpenGLFunctions {
    Q_OBJECT

  public:
    explicit VideoView(QWidget* parent = nullptr);
    ~VideoView() override;

    // GUI thread, before the controller's display threads start.
    void SetViewController(ViewController* controller);

    // The DisplayPort operations that belong to the surface (the window forwards them).
    PaneRect bounds() const;                                  // GUI thread
    void clearScreen();                                       // GUI thread
    void renderCurrentFrame(const PaneRect& rect, int pane);  // any thread

    // The surface's picture now, as the window shows it (for the snapshot and tests).
    QImage grabSurface();

  protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void drawPane(int pane, const PaneRect& rect);

    ViewController* viewController_ = nullptr;
    QTimer timer_;  // the 30-per-second flush

    // Panes drawn since the last flush, under surfaceLock_.
    std::mutex surfaceLock_;
    bool pending_[kLayoutPanes] = {};
    PaneRect pendingRect_[kLayoutPanes] = {};
    bool clearPending_ = true;

    // GUI thread only.
    QOpenGLShaderProgram program_;
    GLuint lumaTexture_ = 0;    // the packed picture seen as W x H (luma, chroma) pairs
    GLuint chromaTexture_ = 0;  // the same bytes seen as W/2 x H (Y0, Cb, Y1, Cr) texels
    bool glReady_ = false;
};
