// What the surface paints over the pictures: each pane's mark (a stale picture dimmed with its
// text, an offline pane's name and state, a cleared pane's grey), the captions, the recording
// band of a played pane, and the frame of the selected pane while the view has the keyboard.
// It also remembers when each pane last got a picture.
//
// Threads: GUI thread only, painting inside the surface window's frame with its context current.
// Every field below is the GUI thread's; the controller is read through the view's context (the
// layout's selection and rectangles, the panes' sources), at paint time only.
#pragma once

#include <QRectF>

#include <chrono>
#include <cstdint>

#include "core/layout/PaneBuffers.h"
#include "core/ports/DisplayPort.h"

class CoreContext;
class DigitalZoom;
class LiveRecorder;
class PaneCaptions;
class PaneRenderer;
class QWidget;
class SurfaceWindow;

class PaneOverlay {
  public:
    PaneOverlay(CoreContext& context, SurfaceWindow& window, PaneRenderer& renderer,
                const QWidget& view, const DigitalZoom& zoom);

    // The captions drawn over each picture while the operator has them on (null: none).
    void SetCaptions(const PaneCaptions* captions) { captions_ = captions; }
    // The live recording whose pane gets a red dot and its elapsed time (null: none).
    void SetLiveRecorder(const LiveRecorder* recorder) { recorder_ = recorder; }

    // The surface was cleared: no mark, no picture, no frame on it any more.
    void Clear();
    // Pane `pane` (at `rect`) carries `mark` from now on (Kind::None: none). True when the
    // surface must draw a frame to show it.
    bool Mark(int pane, const PaneRect& rect, const PaneMark& mark);
    // Pane `pane` got a new picture now: that takes its mark off.
    void PictureDrawn(int pane);
    // Panes that show a picture older than `age` with no mark over it.
    int UnmarkedOldPanes(std::chrono::milliseconds age) const;

    // Paints over what this frame drew (`drawn`, at `rects`): the marks not on the surface yet,
    // the selection's frame (`focused`: the view has the keyboard), the captions and the
    // recording bands.
    void Paint(PaneBuffers& panes, const bool (&drawn)[kLayoutPanes],
               const PaneRect (&rects)[kLayoutPanes], bool focused);
    // Says on the whole surface why it cannot show the video.
    void PaintFailure(const QString& failure);

  private:
    // The marks not on the surface yet: the GL part, then their texts.
    void PaintMarks(PaneBuffers& panes);
    // Frames the selected pane; a pane that loses the frame gets its picture back.
    void PaintSelection(PaneBuffers& panes, const bool (&covered)[kLayoutPanes], bool focused);
    void PaintCaptions(const bool (&drawn)[kLayoutPanes], const PaneRect (&rects)[kLayoutPanes]);
    // "recording" and the played time on every pane just drawn with a played picture.
    void PaintRecordingBands(const bool (&drawn)[kLayoutPanes],
                             const PaneRect (&rects)[kLayoutPanes]);
    // A red dot and the elapsed time on the drawn panes that show the recorded live channel.
    void PaintLiveRecording(const bool (&drawn)[kLayoutPanes],
                            const PaneRect (&rects)[kLayoutPanes]);
    // A pane rectangle in Qt's top-left coordinates, for the painter.
    QRectF FromTop(const PaneRect& r) const;

    CoreContext& context_;
    SurfaceWindow& window_;
    PaneRenderer& renderer_;
    const QWidget& view_;
    const DigitalZoom& zoom_;
    const PaneCaptions* captions_ = nullptr;
    const LiveRecorder* recorder_ = nullptr;
    int framedPane_ = -1;  // the pane framed on the surface now
    // The marks the panes carry, and whether each is on the surface now.
    struct Marked {
        PaneMark mark;
        PaneRect rect{};
        bool painted = false;
    };
    Marked marks_[kLayoutPanes];
    int64_t drawnAt_[kLayoutPanes] = {};  // when each pane's picture was drawn (steady, ns)
};
