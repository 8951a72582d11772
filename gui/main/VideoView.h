// The video surface: every pane of the split screen is a rectangle of this one widget. It is the
// core's DisplayPort, takes the operator's clicks, keys and wheel on the panes, and wires the
// pieces under gui/main/video: the window the pictures are drawn in (SurfaceWindow), the panes
// the display threads hand over (PendingPanes), the drawing (PaneRenderer), what is painted
// over the pictures (PaneOverlay), the digital zoom (DigitalZoom), the snapshot (SnapshotSaver)
// and which channels are shown small enough to decode without the deblocking filter
// (ReducedDecoding).
//
// Threads: renderCurrentFrame() is called by display threads; everything else, and all OpenGL,
// runs on the GUI thread. A display thread converts a picture into its pane's buffer (under the
// pane's lock) and records the pane in PendingPanes (under its lock); the flush (every 4 ms while
// pictures come) uploads each recorded pane (under that pane's lock again), draws it into its
// rectangle and puts the rectangles drawn on the screen. The surface keeps what it drew between
// flushes, so a pane shows its last picture until the surface is cleared. Every field below but
// pending_ (which guards itself) is the GUI thread's.
#pragma once

#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <chrono>
#include <vector>

#include "core/ports/DisplayPort.h"
#include "gui/main/video/DigitalZoom.h"
#include "gui/main/video/PaneOverlay.h"
#include "gui/main/video/PaneRenderer.h"
#include "gui/main/video/PendingPanes.h"
#include "gui/main/video/ReducedDecoding.h"
#include "gui/main/video/SnapshotSaver.h"

class CoreContext;
class LiveRecorder;
class PaneCaptions;
class QOpenGLContext;
class SurfaceWindow;

class VideoView : public QWidget, public DisplayPort {
    Q_OBJECT

  public:
    // The surface reaches the controller and the pane buffers through `context`.
    explicit VideoView(CoreContext& context, QWidget* parent = nullptr);
    ~VideoView() override;

    // DisplayPort. The split buttons are the window's: EnableLargeSplits() and every clear are
    // told on (largeSplitsEnabled, screenCleared).
    PaneRect SurfaceBounds() override;                                                  // GUI
    void clearScreen(uint32_t layout) override;                                         // GUI
    void renderCurrentFrame(const PaneRect& rect, int pane, uint32_t layout) override;  // any
    void EnableLargeSplits(bool enabled) override;                                      // GUI
    void MarkPane(int pane, const PaneRect& rect, const PaneMark& mark) override;       // GUI

    // The captions drawn over each picture while the operator has them on (null: none).
    void setCaptions(const PaneCaptions* captions) { overlay_.SetCaptions(captions); }
    // The live recording: its dot on the pane, its command in the menu (null: none).
    void setLiveRecorder(LiveRecorder* recorder) {
        recorder_ = recorder;
        overlay_.SetLiveRecorder(recorder);
    }

    // The surface's picture now, as the window shows it (for tests).
    QImage GrabSurface();
    // The window the pictures are drawn in: its format may be chosen before the view shows.
    QWindow* surfaceWindow() const;
    // Its OpenGL context, once the window has shown (null before).
    QOpenGLContext* surfaceContext() const;

    // The snapshot: reads the whole surface back at its current size, then SnapshotSaver encodes
    // it and saves it where the operator chooses. Not re-entered while its dialog is open. When
    // a pane shows a channel decoded reduced, the channels go back to full first and the surface
    // is read once they show full pictures (at most kFullWait later; the GUI thread runs on
    // meanwhile).
    void CreatePicFormOpenGL();
    static constexpr std::chrono::milliseconds kFullWait{3000};
    // A snapshot waits for full pictures now.
    bool awaitingFullPictures() const { return fullWait_.isActive(); }

    // Pictures drawn so far, and the latencies (microseconds, last byte received to drawn) of
    // the most recent ones, which this empties.
    uint64_t presented() const { return renderer_.presented(); }
    std::vector<int> TakeLatencies() { return renderer_.TakeLatencies(); }
    // Panes that show a picture older than `age` with no mark over it: a picture that looks live
    // and is not.
    int UnmarkedOldPanes(std::chrono::milliseconds age) const {
        return overlay_.UnmarkedOldPanes(age);
    }

  Q_SIGNALS:
    // A display thread drew into a resting surface: the flush timer starts again.
    void picturesResumed();
    // The surface was cleared for a change of the split, its page or the zoom.
    void screenCleared();
    // The split buttons above 36 panes are to be enabled or disabled.
    void largeSplitsEnabled(bool enabled);

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
    // What the surface window runs with its context current.
    void initializeGL();
    void resizeGL(int w, int h);
    void paintGL();
    // Asks for a frame at the window system's next update; Frame() draws one now.
    void RequestFrame();
    // Draws what is pending and puts what it drew on the screen; `exposed`: all of it (the
    // window system lost what it showed).
    void Frame(bool exposed);
    // Draws a frame now; true when the frame buffer is there at the view's size.
    bool FrameNow();
    void ClickAt(QPointF p);
    // The zoomed pane is drawn again with the zoom's new window.
    void RedrawZoomedPane();
    // Draws what is pending, then reads the frame buffer into the snapshot's capture, top row
    // first. False (nothing read) when there is no buffer or OpenGL failed.
    bool ReadScreen();
    // The snapshot's second half: reads the surface and saves it, the channels back to what the
    // panes ask.
    void SaveShown();
    // The channels decoded reduced follow what the surface shows now.
    void UpdateReduced();

    CoreContext& context_;
    SurfaceWindow* surface_;  // owned by its window container, a child of this view
    QSize glSize_;            // the size the surface's panes were last laid out for
    DigitalZoom zoom_;
    bool dragging_ = false;
    bool dragged_ = false;
    QPointF dragFrom_;
    QTimer timer_;  // the flush
    PendingPanes pending_;
    PaneRenderer renderer_;
    PaneOverlay overlay_;
    SnapshotSaver snapshot_;
    ReducedDecoding reduced_;
    QTimer reducedCheck_;  // picture sizes become known as the pictures come
    QTimer fullWait_;      // a snapshot waits for full pictures
    std::chrono::steady_clock::time_point fullWaitSince_;
    LiveRecorder* recorder_ = nullptr;
};
