// The OpenGL video surface: every pane of the split screen is a rectangle of this one widget.
//
// Threads: renderCurrentFrame() is called by display threads; everything else, and all OpenGL,
// runs on the GUI thread. A display thread converts a picture into its pane's buffer (under the
// pane's lock) and records the pane here; the 250-per-second flush uploads each recorded pane
// (under that pane's lock again), draws it into its rectangle and puts the rectangles drawn on
// the screen. The surface keeps what it drew between flushes, so a pane shows its last picture
// until the surface is cleared.
#pragma once

#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <chrono>
#include <mutex>
#include <vector>

#include "core/layout/PaneBuffers.h"
#include "core/ports/DisplayPort.h"
#include "gui/main/CaptureBuffer.h"

class CoreContext;
class PaneCaptions;
class QOpenGLContext;

class VideoView : public QWidget, protected QOpenGLFunctions {
    Q_OBJECT

  public:
    // The surface reaches the controller and the pane buffers through `context`.
    explicit VideoView(CoreContext& context, QWidget* parent = nullptr);
    ~VideoView() override;

    // The DisplayPort operations that belong to the surface (the window forwards them).
    PaneRect bounds() const;                                                   // GUI thread
    void clearScreen(uint32_t layout);                                         // GUI thread
    void renderCurrentFrame(const PaneRect& rect, int pane, uint32_t layout);  // any thread
    void markPane(int pane, const PaneRect& rect, const PaneMark& mark);       // GUI thread

    // The captions drawn over each picture while the operator has them on (null: none).
    void setCaptions(const PaneCaptions* captions) { captions_ = captions; }

    // The surface's picture now, as the window shows it (for tests).
    QImage grabSurface();
    // The window the pictures are drawn in: its format may be chosen before the view shows.
    QWindow* surfaceWindow() const;
    // Its OpenGL context, once the window has shown (null before).
    QOpenGLContext* surfaceContext() const;

    // The snapshot: reads the whole surface back at its current size, encodes it as JPEG
    // (quality 90), then asks for a name in a modal save dialog (video keeps running meanwhile)
    // and writes the file atomically. Cancel writes nothing. GUI thread; not re-entered while
    // its dialog is open.
    void CreatePicFormOpenGL();
    // The folder the save dialog starts in: ~/Desktop, or the home folder without one.
    static QString SnapshotFolder();

    // Pictures drawn so far, and the latencies (microseconds, last byte received to drawn) of
    // the most recent ones, which this empties. GUI thread.
    uint64_t presented() const { return presented_; }
    // Panes that show a picture older than `age` with no mark over it: a picture that looks live
    // and is not. GUI thread.
    int unmarkedOldPanes(std::chrono::milliseconds age) const;
    std::vector<int> takeLatencies();

  Q_SIGNALS:
    // A display thread drew into a resting surface: the flush timer starts again.
    void picturesResumed();

  protected:
    // A click zooms or unzooms a pane. In a zoomed pane the wheel magnifies the picture up to 8x
    // around the pointer, a drag pans it, Backspace or a middle click shows it whole again, and
    // a click that does not drag unzooms the pane.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    // With the keyboard on the surface: arrows move the pane selection, Enter zooms or unzooms.
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    class Surface;
    // What the surface window runs with its context current.
    void initializeGL();
    void resizeGL(int w, int h);
    void paintGL();
    // Asks for a frame at the window system's next update; frame() draws one now.
    void requestFrame();
    // Draws what is pending and puts what it drew on the screen; `exposed`: all of it (the
    // window system lost what it showed).
    void frame(bool exposed);
    // A rectangle drawn in this frame (surface units), to be put on the screen.
    void damage(const PaneRect& rect);
    // Draws a frame now; true when the frame buffer is there at the view's size.
    bool frameNow();
    void drawPane(int pane, PaneBuffers::Pane& buffer, const PaneRect& rect, float dim = 1.0f);
    // Paints the marks not on the surface yet: the GL part, then their texts.
    void paintMarks(PaneBuffers& panes);
    // Frames the selected pane while the surface has the keyboard; a pane that loses the frame
    // gets its picture back.
    void paintSelection(PaneBuffers& panes, const bool (&drawn)[kLayoutPanes]);
    // Paints the captions of the panes drawn in this flush, over their new pictures.
    void paintCaptions(const bool (&drawn)[kLayoutPanes], const PaneRect (&rects)[kLayoutPanes]);
    // "recording" and the played time on every pane just drawn with a played picture.
    void paintRecordingBands(const bool (&drawn)[kLayoutPanes],
                             const PaneRect (&rects)[kLayoutPanes]);
    void setViewport(const PaneRect& rect);
    void clearRect(const PaneRect& rect);  // to the surface's grey
    void clickAt(QPointF p);
    void setDigitalZoom(float zoom, QPointF around);
    void panTo(float u, float v);
    void redrawZoomedPane();
    // Draws what is pending, then reads the frame buffer into capture_, top row first. False
    // (nothing read) when there is no buffer or OpenGL failed.
    bool readScreen();

    CoreContext& context_;
    Surface* surface_;  // owned by its window container, a child of this view
    QSize glSize_;      // the size the surface's panes were last laid out for; GUI thread
    const PaneCaptions* captions_ = nullptr;
    int framedPane_ = -1;  // the pane framed on the surface now; GUI thread
    // The digital zoom of the zoomed pane: the factor and the picture's top-left point shown
    // (texture units). GUI thread.
    static constexpr float kMaxDigitalZoom = 8.0f;
    bool zoomedLayout_ = false;
    float zoom_ = 1.0f;
    float zoomU_ = 0.0f;
    float zoomV_ = 0.0f;
    bool dragging_ = false;
    bool dragged_ = false;
    QPointF dragFrom_;
    QTimer timer_;                                // the 250-per-second flush
    static constexpr int kTicksBeforeRest = 125;  // half a second
    int idleTicks_ = 0;     // flushes in a row without a picture; under surfaceLock_
    bool resting_ = false;  // the flush timer stopped for want of pictures; under surfaceLock_

    // Panes drawn since the last flush, under surfaceLock_.
    std::mutex surfaceLock_;
    bool pending_[kLayoutPanes] = {};
    PaneRect pendingRect_[kLayoutPanes] = {};
    bool clearPending_ = true;
    bool anyPending_ = false;  // a pane was drawn since the last flush
    uint32_t layout_ = 0;      // the layout generation the surface shows

    // The marks the panes carry, and whether each is on the surface now. GUI thread only.
    struct Marked {
        PaneMark mark;
        PaneRect rect{};
        bool painted = false;
    };
    Marked marks_[kLayoutPanes];
    int64_t drawnAt_[kLayoutPanes] = {};  // when each pane's picture was drawn (steady, ns)

    // GUI thread only.
    QOpenGLShaderProgram program_;
    int widthUniform_ = -1;  // the program's uniforms, looked up once
    int blendedUniform_ = -1;
    int dimUniform_ = -1;
    int windowUniform_ = -1;
    // Each pane's packed picture as W/2 x H (Y0, Cb, Y1, Cr) texels, and the size, filter and
    // picture (the pane buffer's version) its texture has now.
    GLuint paneTextures_[kLayoutPanes] = {};
    struct TextureShape {
        int width = 0;
        int height = 0;
        GLint filter = 0;
        uint32_t version = 0;
    };
    TextureShape textureShapes_[kLayoutPanes];
    bool glReady_ = false;
    // What this frame drew, in device pixels from the bottom left. More rectangles than the list
    // holds send the whole surface.
    static constexpr int kDamageRects = 64;
    QRect damage_[kDamageRects];
    int damageCount_ = 0;
    bool damageAll_ = false;
    QString failure_;  // why the surface cannot draw, shown in its place

    // Measurements for the pipeline benchmark. GUI thread only; a fixed ring, no allocation.
    uint64_t presented_ = 0;
    static constexpr int kLatencySamples = 8192;
    int latencyMicros_[kLatencySamples] = {};
    uint64_t latencyCount_ = 0;
    CaptureBuffer capture_;
    bool capturing_ = false;  // the save dialog is open
};
