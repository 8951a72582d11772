#include "gui/main/VideoView.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <cmath>
#include <optional>

#include "core/ViewController.h"
#include "core/support/Log.h"
#include "gui/main/video/LiveRecorder.h"
#include "gui/main/video/SurfaceWindow.h"
#include "gui/support/CoreContext.h"

VideoView::VideoView(CoreContext& context, QWidget* parent)
    : QWidget(parent),
      context_(context),
      surface_(new SurfaceWindow([this] { initializeGL(); }, [this](bool all) { Frame(all); })),
      renderer_(*surface_, *this, zoom_),
      overlay_(context, *surface_, renderer_, *this, zoom_),
      reduced_(context) {
    setObjectName(QStringLiteral("videoViewController"));
    setAccessibleName(QStringLiteral("Video"));
    setAccessibleDescription(QStringLiteral("videoViewController"));
    QWidget* container = QWidget::createWindowContainer(surface_, this);
    container->setAttribute(Qt::WA_TransparentForMouseEvents);
    container->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(container);
    setMinimumSize(320, 240);
    setFocusPolicy(Qt::StrongFocus);  // the arrows and Enter select and zoom panes
    // Ten times a camera's rate: a picture waits at most 4 ms to be drawn, and two pictures of
    // one pane all but never fall between two flushes, so every picture is shown (a busy wall
    // is flushed at a screen's rate, see PendingPanes). A flush draws and sends only the panes
    // that changed, and a tick with nothing to draw costs next to nothing.
    timer_.setInterval(4);
    connect(
        this, &VideoView::picturesResumed, this, [this] { timer_.start(); }, Qt::QueuedConnection);
    // A flush only when a picture came: an idle surface costs nothing (clears and marks ask for
    // their own repaint). Half a second without pictures stops the timer too; the next picture
    // starts it again.
    connect(&timer_, &QTimer::timeout, this, [this] {
        const PendingPanes::Tick tick = pending_.CountTick();
        if (tick.rest) {
            timer_.stop();
        }
        if (tick.flush) {
            Frame(false);  // at once, not at the window system's next update: pictures wait
        }
    });
    timer_.start();
    reducedCheck_.setInterval(1000);
    connect(&reducedCheck_, &QTimer::timeout, this, [this] { UpdateReduced(); });
    reducedCheck_.start();
    fullWait_.setInterval(20);
    connect(&fullWait_, &QTimer::timeout, this, [this] {
        // Three full pictures of each: the first has been handed on to its pane by now.
        if (reduced_.FullPicturesIn(3) ||
            std::chrono::steady_clock::now() - fullWaitSince_ >= kFullWait) {
            fullWait_.stop();
            SaveShown();
        }
    });
}

VideoView::~VideoView() = default;

QWindow* VideoView::surfaceWindow() const {
    return surface_;
}

QOpenGLContext* VideoView::surfaceContext() const {
    return surface_->context();
}

void VideoView::RequestFrame() {
    surface_->requestUpdate();
}

void VideoView::Frame(bool exposed) {
    if (!surface_->isExposed() || !surface_->makeCurrent()) {
        return;  // drawn when the window shows
    }
    const qreal ratio = surface_->devicePixelRatio();
    const QSize device(qRound(surface_->width() * ratio), qRound(surface_->height() * ratio));
    const bool fresh = surface_->begin(device);
    if (fresh) {
        glSize_ = QSize();  // a new, empty buffer: everything is drawn again
    }
    if (surface_->size() != glSize_) {
        resizeGL(surface_->width(), surface_->height());
    }
    surface_->StartDamage(exposed || fresh);
    paintGL();
    surface_->Present();
}

PaneRect VideoView::SurfaceBounds() {
    return PaneRect{0, 0, static_cast<float>(width()), static_cast<float>(height())};
}

void VideoView::clearScreen(uint32_t layout) {
    pending_.Clear(layout);
    overlay_.Clear();
    const WallQuery* wall = context_.query();
    // A pane zoomed again starts whole.
    zoom_.SetPaneZoomed(wall && wall->LayoutCopy().iShowChanNum == 1);
    // Once the change that cleared the surface is complete.
    QTimer::singleShot(0, this, [this] { UpdateReduced(); });
    RequestFrame();
    Q_EMIT screenCleared();
}

void VideoView::EnableLargeSplits(bool enabled) {
    Q_EMIT largeSplitsEnabled(enabled);
}

void VideoView::MarkPane(int pane, const PaneRect& rect, const PaneMark& mark) {
    if (overlay_.Mark(pane, rect, mark)) {
        RequestFrame();
    }
}

void VideoView::renderCurrentFrame(const PaneRect& rect, int pane, uint32_t layout) {
    if (pending_.Mark(pane, rect, layout)) {
        // Only a wake-up crosses to the GUI thread; nothing of ours travels inside Qt's event.
        Q_EMIT picturesResumed();
    }
}

void VideoView::initializeGL() {
    renderer_.Initialize();
}

void VideoView::resizeGL(int w, int h) {
    if (QSize(w, h) == glSize_) {
        return;  // laid out for this size already (a snapshot did not wait to be told)
    }
    glSize_ = QSize(w, h);
    // The frame buffer is new and empty: the panes follow the new size and start grey.
    pending_.RequestClear();
    if (ViewController* vc = context_.controller()) {
        vc->SurfaceResized();
    }
    UpdateReduced();
}

void VideoView::UpdateReduced() {
    reduced_.Update(surface_->devicePixelRatio(), zoom_.paneZoomed() ? zoom_.factor() : 1.0);
}

void VideoView::paintGL() {
    PendingPanes::Taken taken;
    pending_.Take(taken);
    if (taken.clear) {
        renderer_.ClearAll();
        surface_->DamageAll();
    }
    if (!renderer_.failure().isEmpty()) {
        overlay_.PaintFailure(renderer_.failure());
        return;
    }
    PaneBuffers* panes = context_.panes();
    if (!renderer_.ready() || !panes) {
        return;
    }
    renderer_.BeginFrame();
    for (int pane = 0; pane < kLayoutPanes; ++pane) {
        if (taken.drawn[pane]) {
            renderer_.DrawPane(pane, (*panes)[pane], taken.rects[pane]);
            overlay_.PictureDrawn(pane);
        }
    }
    overlay_.Paint(*panes, taken.drawn, taken.rects, window()->focusWidget() == this);
}

bool VideoView::FrameNow() {
    // The frame lays the panes out for the window's present size and draws what is pending.
    Frame(false);
    return renderer_.ready() && surface_->isValid() && glSize_ == size();
}

QImage VideoView::GrabSurface() {
    if (!ReadScreen()) {
        return QImage();
    }
    const CaptureBuffer& capture = snapshot_.capture();
    return QImage(capture.data(), capture.width(), capture.height(), capture.rowBytes(),
                  QImage::Format_RGBX8888)
        .convertToFormat(QImage::Format_RGB32);
}

bool VideoView::ReadScreen() {
    QLog("readScreenAsyncBegin");
    if (!FrameNow()) {
        QLog("snapshot: the surface has no OpenGL context or frame buffer of its size yet");
        return false;
    }
    // The frame buffer has the widget's size in device pixels, and so has the capture.
    const qreal ratio = devicePixelRatio();
    const int w = qRound(width() * ratio);
    const int h = qRound(height() * ratio);
    if (!snapshot_.capture().Ensure(w, h)) {
        return false;  // made again at the next snapshot
    }
    return surface_->ReadPixels(snapshot_.capture(), w, h);
}

void VideoView::CreatePicFormOpenGL() {
    if (snapshot_.saving() || fullWait_.isActive()) {
        return;
    }
    if (reduced_.HoldFull()) {
        fullWaitSince_ = std::chrono::steady_clock::now();
        fullWait_.start();
        return;
    }
    if (ReadScreen()) {
        snapshot_.Save(this);
    }
}

void VideoView::SaveShown() {
    const bool read = ReadScreen();
    reduced_.ReleaseFull();
    UpdateReduced();
    if (read) {
        snapshot_.Save(this);
    }
}

void VideoView::mousePressEvent(QMouseEvent* event) {
    ViewController* vc = context_.controller();
    if (event->button() == Qt::MiddleButton && zoom_.factor() > 1.0f) {
        zoom_.ZoomAround(1.0f, 0, 0, width(), height());
        RedrawZoomedPane();
        return;
    }
    if (event->button() != Qt::LeftButton || !vc) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (zoom_.magnified()) {
        // A magnified picture is dragged; only a click that does not drag unzooms the pane.
        dragFrom_ = event->position();
        dragged_ = false;
        dragging_ = true;
        return;
    }
    ClickAt(event->position());
}

void VideoView::ClickAt(QPointF p) {
    // Qt counts from the top left; the layout from the bottom left. The pixel's centre counts,
    // so that the top row (Qt's 0) falls inside the top panes, whose edge is the height.
    const float x = static_cast<float>(p.x() + 0.5);
    const float y = static_cast<float>(height() - (p.y() + 0.5));
    QLog("mouseDown   %f      %f", static_cast<double>(x), static_cast<double>(y));
    if (ViewController* vc = context_.controller()) {
        vc->DoLeftMouseButton(x, y);
    }
}

void VideoView::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPointF d = event->position() - dragFrom_;
    if (!dragged_ && std::abs(d.x()) + std::abs(d.y()) < 4) {
        return;  // a hand's tremble is still a click
    }
    dragged_ = true;
    dragFrom_ = event->position();
    zoom_.DragBy(d.x(), d.y(), width(), height());  // the picture follows the pointer
    RedrawZoomedPane();
}

void VideoView::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_ || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    dragging_ = false;
    if (!dragged_) {
        ClickAt(event->position());
    }
}

void VideoView::wheelEvent(QWheelEvent* event) {
    if (!zoom_.paneZoomed()) {
        QWidget::wheelEvent(event);
        return;
    }
    const QPointF at = event->position();
    zoom_.Wheel(event->angleDelta().y() / 120.0, at.x(), at.y(), width(), height());
    RedrawZoomedPane();
}

void VideoView::keyPressEvent(QKeyEvent* event) {
    ViewController* vc = context_.controller();
    // The keypad's arrows and Enter come with the keypad's modifier.
    if (!vc || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
        case Qt::Key_Left: vc->MoveSelection(-1, 0); break;
        case Qt::Key_Right: vc->MoveSelection(1, 0); break;
        case Qt::Key_Up: vc->MoveSelection(0, -1); break;
        case Qt::Key_Down: vc->MoveSelection(0, 1); break;
        case Qt::Key_Return:
        case Qt::Key_Enter: vc->ZoomSelected(); break;
        case Qt::Key_Backspace:
            zoom_.ZoomAround(1.0f, 0, 0, width(), height());
            RedrawZoomedPane();
            break;
        default: QWidget::keyPressEvent(event); return;
    }
    RequestFrame();
}

void VideoView::focusInEvent(QFocusEvent* event) {
    RequestFrame();  // the selection's frame comes
    QWidget::focusInEvent(event);
}

void VideoView::focusOutEvent(QFocusEvent* event) {
    RequestFrame();  // and goes
    QWidget::focusOutEvent(event);
}

void VideoView::RedrawZoomedPane() {
    const WallQuery* wall = context_.query();
    if (!wall || !zoom_.paneZoomed()) {
        return;
    }
    const int32_t pane = wall->SelectedPane();
    const std::optional<PaneRect> rect = wall->ShownRect(pane);
    if (!rect) {
        return;
    }
    pending_.Redraw(pane, *rect);
    UpdateReduced();  // a magnified picture may need its filter again
    RequestFrame();
}

void VideoView::contextMenuEvent(QContextMenuEvent* event) {
    ViewController* vc = context_.controller();
    if (!vc || vc->showAutoDisplay() == 0) {
        return;  // the single-DVR view has no menu here
    }
    QMenu menu(QStringLiteral("Contextual Menu"), this);
    menu.setObjectName(QStringLiteral("autoDisplayMenu"));
    QAction* autoDisplay = menu.addAction(QStringLiteral("Auto Display"));
    QAction* record = nullptr;
    if (recorder_) {
        record = menu.addAction(recorder_->recordingNow() ? QStringLiteral("Stop Recording")
                                                          : QStringLiteral("Record Live Pane"));
    }
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == autoDisplay) {
        vc->AutoSetDisplay();
    } else if (chosen && chosen == record) {
        recorder_->StartOrStop();
    }
}
