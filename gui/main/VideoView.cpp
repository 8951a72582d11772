#include "gui/main/VideoView.h"

#include <QBuffer>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageWriter>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLPaintDevice>
#include <QPainter>
#include <QVBoxLayout>
#include <QVector4D>
#include <QWheelEvent>
#include <QWindow>

#include <QPointer>
#include <QSaveFile>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <optional>

#include "core/ViewController.h"
#include "core/decode/SizeFrame.h"
#include "core/support/Log.h"
#include "gui/main/PaneCaptions.h"
#include "gui/main/PaneText.h"
#include "gui/main/SubBufferCopy.h"
#include "gui/support/CoreContext.h"
#include "gui/support/QtText.h"

namespace {

constexpr float kGrey = 0.48f;
constexpr float kStaleDim = 0.35f;  // how bright a stale pane's last picture stays

// The first picture row is drawn at the top: texture row 0 at the quad's upper edge. `window` is
// the part of the picture shown (offset, size): all of it but in a digitally zoomed pane.
const char* const kVertexShader = R"(
attribute vec2 position;
attribute vec2 texcoord;
uniform vec4 window;
varying vec2 uv;
void main() {
    uv = window.xy + texcoord * window.zw;
    gl_Position = vec4(position, 0.0, 1.0);
}
)";

// Samples a packed 4:2:2 picture and converts it to RGB: BT.601, limited range. The picture is
// one texture of W/2 x H (Y0, Cb, Y1, Cr) texels, so one fetch gives a pixel's luma and chroma:
// the luma is the pair's first or second sample by the pixel's column (a magnified picture,
// `blended`, takes both). `width` is W.
// OpenGL ES wants a float precision in every fragment shader (high where it has one: a column
// number needs it); desktop OpenGL has none to give.
const char* const kFragmentShader = R"(
#ifdef GL_ES
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
#endif
varying vec2 uv;
uniform sampler2D picture;
uniform float width;
uniform float dim;
uniform bool blended;
void main() {
    vec4 c = texture2D(picture, uv);
    float y;
    if (blended) {
        // Each of the two sample rows blended on its own lattice, half a pixel either way, then
        // averaged: picking one per column would comb every sharp edge.
        float even = texture2D(picture, uv + vec2(0.5 / width, 0.0)).r;
        float odd = texture2D(picture, uv - vec2(0.5 / width, 0.0)).b;
        y = 0.5 * (even + odd);
    } else {
        y = fract(uv.x * width * 0.5) < 0.5 ? c.r : c.b;
    }
    float yy = 1.164383 * (y - 16.0 / 255.0);
    float cb = c.g - 128.0 / 255.0;
    float cr = c.a - 128.0 / 255.0;
    gl_FragColor = vec4(vec3(yy + 1.596027 * cr,
                             yy - 0.391762 * cb - 0.812968 * cr,
                             yy + 2.017232 * cb) * dim,
                        1.0);
}
)";

const GLfloat kQuad[] = {
    // x, y, u, v
    -1.f, 1.f, 0.f, 0.f, -1.f, -1.f, 0.f, 1.f, 1.f, -1.f, 1.f, 1.f, 1.f, 1.f, 1.f, 0.f,
};

}  // namespace

// The window the pictures are drawn in, with an OpenGL context of its own. What it drew stays
// between frames (a pane keeps its picture until cleared), and a frame puts only the rectangles
// it drew on the screen: no pass over the whole window composes or copies it. Where the driver
// cannot copy rectangles of the back buffer to the screen, the frames are drawn into a frame
// buffer object that goes whole to the screen at each frame. Input passes through the window to
// the view below.
class VideoView::Surface : public QWindow {
  public:
    explicit Surface(VideoView& view) : view_(view) {
        setSurfaceType(QSurface::OpenGLSurface);
        setFlags(flags() | Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus);
    }
    ~Surface() override {
        if (context_ && makeCurrent()) {
            painter_.reset();
            fbo_.reset();
            context_->doneCurrent();
        }
    }

    QOpenGLContext* context() const { return context_.get(); }
    bool isValid() const { return context_ && context_->isValid() && handle(); }

    // Makes the context current on this window; the first time it makes the context and the
    // view's OpenGL objects.
    bool makeCurrent() {
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
            copies_ = copy_.attach();
            QLog("video surface: %s", copies_ ? "rectangles copied to the screen"
                                              : "a frame buffer object blitted whole");
            view_.initializeGL();
            return true;
        }
        return context_->makeCurrent(this);
    }

    // Binds what the frame draws into, at `device` pixels. True when it is new, with nothing
    // in it.
    bool begin(QSize device) {
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
    // The frame buffer the frames are drawn into: the back buffer, or the object.
    GLuint target() const { return fbo_ ? fbo_->handle() : context_->defaultFramebufferObject(); }
    QOpenGLPaintDevice* paintDevice() const { return painter_.get(); }

    // Puts the frame's rectangles (device pixels, from the bottom left) on the screen.
    void present(const QRect* rects, int count, bool all) {
        if (copies_) {
            if (all) {
                copy_.copy(0, 0, size_.width(), size_.height());
                return;
            }
            for (int i = 0; i < count; ++i) {
                copy_.copy(rects[i].x(), rects[i].y(), rects[i].width(), rects[i].height());
            }
            return;
        }
        if (!all && count == 0) {
            return;
        }
        const QRect whole(QPoint(0, 0), size_);
        QOpenGLFramebufferObject::blitFramebuffer(nullptr, whole, fbo_.get(), whole);
        context_->swapBuffers(this);
        bind();
    }

  protected:
    void exposeEvent(QExposeEvent*) override {
        if (isExposed()) {
            view_.frame(true);
        }
    }
    bool event(QEvent* event) override {
        if (event->type() == QEvent::UpdateRequest) {
            view_.frame(false);
            return true;
        }
        return QWindow::event(event);
    }

  private:
    void bind() const { context_->functions()->glBindFramebuffer(GL_FRAMEBUFFER, target()); }
    // The painter's texts go where the pictures are.
    class TargetDevice : public QOpenGLPaintDevice {
      public:
        TargetDevice(const Surface& surface, QSize size)
            : QOpenGLPaintDevice(size), surface_(surface) {}
        void ensureActiveTarget() override { surface_.bind(); }

      private:
        const Surface& surface_;
    };

    VideoView& view_;
    std::unique_ptr<QOpenGLContext> context_;
    SubBufferCopy copy_;
    bool copies_ = false;
    std::unique_ptr<QOpenGLFramebufferObject> fbo_;  // when rectangles cannot be copied
    std::unique_ptr<TargetDevice> painter_;
    QSize size_;
};

VideoView::VideoView(CoreContext& context, QWidget* parent)
    : QWidget(parent), context_(context), surface_(new Surface(*this)) {
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
    // one pane all but never fall between two flushes, so every picture is shown. A flush draws
    // and sends only the panes that changed, and a tick with nothing to draw costs next to
    // nothing.
    timer_.setInterval(4);
    connect(
        this, &VideoView::picturesResumed, this, [this] { timer_.start(); }, Qt::QueuedConnection);
    // A flush only when a picture came: an idle surface costs nothing (clears and marks ask for
    // their own repaint). Half a second without pictures stops the timer too; the next picture
    // starts it again.
    connect(&timer_, &QTimer::timeout, this, [this] {
        bool drawn;
        {
            std::lock_guard<std::mutex> g(surfaceLock_);
            drawn = anyPending_;
            idleTicks_ = drawn ? 0 : idleTicks_ + 1;
            if (idleTicks_ >= kTicksBeforeRest) {
                resting_ = true;
                timer_.stop();
            }
        }
        if (drawn) {
            frame(false);  // at once, not at the window system's next update: pictures wait
        }
    });
    timer_.start();
}

VideoView::~VideoView() {
    if (glReady_ && surface_->isValid()) {
        surface_->makeCurrent();
        glDeleteTextures(kLayoutPanes, paneTextures_);
    }
}

QWindow* VideoView::surfaceWindow() const {
    return surface_;
}

QOpenGLContext* VideoView::surfaceContext() const {
    return surface_->context();
}

void VideoView::requestFrame() {
    surface_->requestUpdate();
}

void VideoView::damage(const PaneRect& r) {
    if (damageAll_) {
        return;
    }
    // Whole device pixels that cover the rectangle.
    const qreal ratio = devicePixelRatio();
    const int x0 = static_cast<int>(std::floor(r.x * ratio));
    const int y0 = static_cast<int>(std::floor(r.y * ratio));
    const int x1 = static_cast<int>(std::ceil((r.x + r.width) * ratio));
    const int y1 = static_cast<int>(std::ceil((r.y + r.height) * ratio));
    const QRect d(x0, y0, x1 - x0, y1 - y0);
    if (std::find(damage_, damage_ + damageCount_, d) != damage_ + damageCount_) {
        return;
    }
    if (damageCount_ == kDamageRects) {
        damageAll_ = true;
        return;
    }
    damage_[damageCount_++] = d;
}

void VideoView::frame(bool exposed) {
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
    damageCount_ = 0;
    damageAll_ = exposed || fresh;
    paintGL();
    surface_->present(damage_, damageCount_, damageAll_);
}

PaneRect VideoView::bounds() const {
    return PaneRect{0, 0, static_cast<float>(width()), static_cast<float>(height())};
}

void VideoView::clearScreen(uint32_t layout) {
    {
        std::lock_guard<std::mutex> g(surfaceLock_);
        layout_ = layout;
        clearPending_ = true;
        std::fill(std::begin(pending_), std::end(pending_), false);
    }
    for (Marked& m : marks_) {
        m = Marked{};  // the clear takes them off; the controller hands them again
    }
    std::fill(std::begin(drawnAt_), std::end(drawnAt_), int64_t{0});
    framedPane_ = -1;  // the clear took the frame off too
    ViewController* vc = context_.controller();
    zoomedLayout_ = vc && vc->LayoutCopy().iShowChanNum == 1;
    if (!zoomedLayout_) {
        zoom_ = 1.0f;  // a pane zoomed again starts whole
        zoomU_ = zoomV_ = 0.0f;
    }
    requestFrame();
}

int VideoView::unmarkedOldPanes(std::chrono::milliseconds age) const {
    const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
    int old = 0;
    for (int p = 0; p < kLayoutPanes; ++p) {
        const bool marked = marks_[p].mark.kind != PaneMark::Kind::None && marks_[p].painted;
        old += drawnAt_[p] != 0 && !marked &&
               now - drawnAt_[p] > std::chrono::nanoseconds(age).count();
    }
    return old;
}

void VideoView::markPane(int pane, const PaneRect& rect, const PaneMark& mark) {
    if (pane < 0 || pane >= kLayoutPanes) {
        return;
    }
    Marked& m = marks_[pane];
    if (mark.kind == PaneMark::Kind::None) {
        // An offline mark's text stays on the screen until something covers it: a pane whose
        // DVR came back but whose camera sends nothing (or does not exist) goes back to plain
        // grey rather than keep saying what is no longer true. A picture covers it anyway.
        const bool offlineShown = m.painted && m.mark.kind == PaneMark::Kind::Offline;
        m = offlineShown ? Marked{PaneMark{PaneMark::Kind::Cleared, {}, {}}, m.rect, false}
                         : Marked{};
        if (offlineShown) {
            requestFrame();
        }
        return;
    }
    const bool sameRect = m.rect.x == rect.x && m.rect.y == rect.y && m.rect.width == rect.width &&
                          m.rect.height == rect.height;
    if (m.painted && m.mark == mark && sameRect) {
        return;
    }
    m = Marked{mark, rect, false};
    requestFrame();
}

void VideoView::renderCurrentFrame(const PaneRect& rect, int pane, uint32_t layout) {
    if (pane < 0 || pane >= kLayoutPanes) {
        return;
    }
    std::lock_guard<std::mutex> g(surfaceLock_);
    if (layout != layout_) {
        return;  // placed by a layout the surface no longer shows
    }
    pending_[pane] = true;
    pendingRect_[pane] = rect;
    anyPending_ = true;
    if (resting_) {
        resting_ = false;
        // Only a wake-up crosses to the GUI thread; nothing of ours travels inside Qt's event.
        Q_EMIT picturesResumed();
    }
}

void VideoView::initializeGL() {
    initializeOpenGLFunctions();
    QLog("prepareOpenGL");
    program_.addShaderFromSourceCode(QOpenGLShader::Vertex, QString::fromLatin1(kVertexShader));
    program_.addShaderFromSourceCode(QOpenGLShader::Fragment, QString::fromLatin1(kFragmentShader));
    program_.bindAttributeLocation("position", 0);
    program_.bindAttributeLocation("texcoord", 1);
    if (!program_.link()) {
        // Said on the surface itself, where the operator looks for the pictures.
        failure_ = QStringLiteral(
                       "The video cannot be shown: the graphics driver refused the "
                       "picture shader.\n") +
                   program_.log().trimmed();
        QLog("video shaders: %s", program_.log().toUtf8().constData());
        return;
    }
    // Each pane keeps its texture: a new picture of the same size is written into it, with no
    // new storage and no wait for a draw that still reads another pane's texture.
    glGenTextures(kLayoutPanes, paneTextures_);
    for (GLuint t : paneTextures_) {
        glBindTexture(GL_TEXTURE_2D, t);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    // The default row alignment, kept: the pictures' rows (W/2 RGBA texels) are whole words
    // anyway, and the painter's glyph cache uploads word-aligned rows assuming it. A 1 left here
    // sheared every glyph whose width is not a multiple of four.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    program_.bind();
    program_.setUniformValue("picture", 0);  // the one texture unit used
    program_.release();
    widthUniform_ = program_.uniformLocation("width");
    blendedUniform_ = program_.uniformLocation("blended");
    dimUniform_ = program_.uniformLocation("dim");
    windowUniform_ = program_.uniformLocation("window");
    glReady_ = true;
}

void VideoView::resizeGL(int w, int h) {
    if (QSize(w, h) == glSize_) {
        return;  // laid out for this size already (a snapshot did not wait to be told)
    }
    glSize_ = QSize(w, h);
    // The frame buffer is new and empty: the panes follow the new size and start grey.
    {
        std::lock_guard<std::mutex> g(surfaceLock_);
        clearPending_ = true;
    }
    if (ViewController* vc = context_.controller()) {
        vc->SurfaceResized();
    }
}

void VideoView::paintGL() {
    bool clear;
    bool drawn[kLayoutPanes];
    PaneRect rects[kLayoutPanes];
    {
        std::lock_guard<std::mutex> g(surfaceLock_);
        clear = clearPending_;
        clearPending_ = false;
        std::copy(std::begin(pending_), std::end(pending_), drawn);
        std::copy(std::begin(pendingRect_), std::end(pendingRect_), rects);
        std::fill(std::begin(pending_), std::end(pending_), false);
        anyPending_ = false;
    }
    if (clear) {
        glViewport(0, 0, static_cast<GLsizei>(width() * devicePixelRatio()),
                   static_cast<GLsizei>(height() * devicePixelRatio()));
        glClearColor(kGrey, kGrey, kGrey, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        damageAll_ = true;
    }
    if (!failure_.isEmpty()) {
        damageAll_ = true;
        QPainter painter(surface_->paintDevice());
        painter.fillRect(rect(), QColor(60, 0, 0));
        painter.setPen(Qt::white);
        painter.drawText(rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap,
                         failure_);
        return;
    }
    PaneBuffers* panes = context_.panes();
    if (!glReady_ || !panes) {
        return;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);  // see initializeGL
    for (int pane = 0; pane < kLayoutPanes; ++pane) {
        if (drawn[pane]) {
            drawPane(pane, (*panes)[pane], rects[pane]);
            marks_[pane] = Marked{};  // a new picture takes the mark off
            drawnAt_[pane] = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count();
        }
    }
    // A mark painted now covers its pane as a picture does: a frame on it is drawn again.
    bool covered[kLayoutPanes];
    for (int pane = 0; pane < kLayoutPanes; ++pane) {
        covered[pane] = drawn[pane] ||
                        (marks_[pane].mark.kind != PaneMark::Kind::None && !marks_[pane].painted);
    }
    paintMarks(*panes);
    paintSelection(*panes, covered);
    if (captions_ && captions_->any()) {
        paintCaptions(drawn, rects);
    }
    paintRecordingBands(drawn, rects);
}

void VideoView::paintRecordingBands(const bool (&drawn)[kLayoutPanes],
                                    const PaneRect (&rects)[kLayoutPanes]) {
    ViewController* vc = context_.controller();
    // Only the playback panes of a DVR shown alone can hold a recording: a live wall asks nothing.
    const int focus = vc ? vc->CurrentDVR() : -1;
    if (focus < 0 || vc->GetNetCtrlStruct(focus).ViewOrBack.load() != VIEW_PLAYBACK) {
        return;
    }
    std::optional<QPainter> painter;  // made only when a recording shows
    for (int pane = 0; pane < kLayoutPanes; ++pane) {
        if (!drawn[pane]) {
            continue;
        }
        const std::optional<ViewController::PaneSource> source = vc->SourceOfPane(pane);
        if (!source || source->playedSecond < 0) {
            continue;
        }
        if (!painter) {
            painter.emplace(surface_->paintDevice());
        }
        const PaneRect& r = rects[pane];
        PaintRecordingBand(*painter, QRectF(r.x, height() - r.y - r.height, r.width, r.height),
                           source->playedSecond);
    }
}

void VideoView::clearRect(const PaneRect& r) {
    damage(r);
    const qreal ratio = devicePixelRatio();
    glEnable(GL_SCISSOR_TEST);
    glScissor(static_cast<GLint>(r.x * ratio), static_cast<GLint>(r.y * ratio),
              static_cast<GLsizei>(r.width * ratio), static_cast<GLsizei>(r.height * ratio));
    glClearColor(kGrey, kGrey, kGrey, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
}

void VideoView::paintSelection(PaneBuffers& panes, const bool (&drawn)[kLayoutPanes]) {
    ViewController* vc = context_.controller();
    // The window's focus widget, active or not: a wall left alone keeps its frame.
    int want = vc && window()->focusWidget() == this ? vc->layout().SelectedPane() : -1;
    const std::optional<PaneRect> at =
        vc && want >= 0 ? vc->layout().ShownRect(want) : std::nullopt;
    if (!at || zoomedLayout_) {
        want = -1;  // not on the page, or zoomed: the whole surface is the selection
    }
    if (want == framedPane_ && (want < 0 || !drawn[want])) {
        return;
    }
    if (framedPane_ >= 0 && framedPane_ != want && framedPane_ < kLayoutPanes) {
        // The pane that loses the frame gets back what it showed: its picture, its mark, or grey.
        if (const std::optional<PaneRect> old =
                vc ? vc->layout().ShownRect(framedPane_) : std::nullopt) {
            if (drawnAt_[framedPane_] != 0) {
                drawPane(framedPane_, panes[framedPane_], *old);
            } else {
                clearRect(*old);
            }
            if (marks_[framedPane_].mark.kind != PaneMark::Kind::None) {
                marks_[framedPane_].painted = false;
                paintMarks(panes);
            }
        }
    }
    framedPane_ = want;
    if (want < 0) {
        return;
    }
    damage(*at);
    const qreal ratio = devicePixelRatio();
    const auto x = static_cast<GLint>(at->x * ratio);
    const auto y = static_cast<GLint>(at->y * ratio);
    const auto w = static_cast<GLsizei>(at->width * ratio);
    const auto h = static_cast<GLsizei>(at->height * ratio);
    const GLsizei t = static_cast<GLsizei>(3 * ratio);
    glEnable(GL_SCISSOR_TEST);
    glClearColor(1.0f, 0.85f, 0.0f, 1.0f);
    const GLint edges[4][4] = {
        {x, y, w, t}, {x, y + h - t, w, t}, {x, y, t, h}, {x + w - t, y, t, h}};
    for (const auto& e : edges) {
        glScissor(e[0], e[1], e[2], e[3]);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glDisable(GL_SCISSOR_TEST);
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
        case Qt::Key_Backspace: setDigitalZoom(1.0f, QPointF()); break;
        default: QWidget::keyPressEvent(event); return;
    }
    requestFrame();
}

void VideoView::focusInEvent(QFocusEvent* event) {
    requestFrame();  // the selection's frame comes
    QWidget::focusInEvent(event);
}

void VideoView::focusOutEvent(QFocusEvent* event) {
    requestFrame();  // and goes
    QWidget::focusOutEvent(event);
}

void VideoView::paintCaptions(const bool (&drawn)[kLayoutPanes],
                              const PaneRect (&rects)[kLayoutPanes]) {
    ViewController* vc = context_.controller();
    if (!vc) {
        return;
    }
    QPainter painter(surface_->paintDevice());
    painter.setRenderHint(QPainter::TextAntialiasing);
    for (int pane = 0; pane < kLayoutPanes; ++pane) {
        if (!drawn[pane]) {
            continue;
        }
        const QString text = captions_->textFor(*vc, pane);
        if (text.isEmpty()) {
            continue;
        }
        const PaneRect& r = rects[pane];
        PaintCaption(painter, QRectF(r.x, height() - r.y - r.height, r.width, r.height), text);
    }
}

void VideoView::setViewport(const PaneRect& rect) {
    // Pane rectangles are in surface units with the origin at the bottom left, like GL's
    // viewport; fractions are cut off.
    damage(rect);
    const qreal ratio = devicePixelRatio();
    glViewport(static_cast<GLint>(rect.x * ratio), static_cast<GLint>(rect.y * ratio),
               static_cast<GLsizei>(rect.width * ratio), static_cast<GLsizei>(rect.height * ratio));
}

void VideoView::paintMarks(PaneBuffers& panes) {
    bool any = false;
    for (int pane = 0; pane < kLayoutPanes; ++pane) {
        Marked& m = marks_[pane];
        if (m.mark.kind == PaneMark::Kind::None || m.painted) {
            continue;
        }
        any = true;
        if (m.mark.kind == PaneMark::Kind::Stale) {
            drawPane(pane, panes[pane], m.rect, kStaleDim);
        } else {
            drawnAt_[pane] = 0;  // the picture is gone
            clearRect(m.rect);
        }
    }
    if (!any) {
        return;
    }
    // The texts, drawn over the pictures in the same frame buffer.
    QPainter painter(surface_->paintDevice());
    painter.setRenderHint(QPainter::TextAntialiasing);
    for (Marked& m : marks_) {
        if (m.mark.kind == PaneMark::Kind::None || m.painted) {
            continue;
        }
        m.painted = true;
        if (m.mark.kind == PaneMark::Kind::Cleared) {
            continue;
        }
        PaintMarkText(
            painter,
            QRectF(m.rect.x, height() - m.rect.y - m.rect.height, m.rect.width, m.rect.height),
            m.mark);
    }
}

std::vector<int> VideoView::takeLatencies() {
    const uint64_t n = std::min<uint64_t>(latencyCount_, kLatencySamples);
    std::vector<int> out(latencyMicros_, latencyMicros_ + n);
    latencyCount_ = 0;
    return out;
}

void VideoView::drawPane(int pane, PaneBuffers::Pane& buffer, const PaneRect& rect, float dim) {
    int w;
    int h;
    int64_t arrivedAt;
    {
        // Held only while the picture is read: the upload copies it before returning, and the
        // display thread may write the next one meanwhile.
        std::lock_guard<std::mutex> g(buffer.lock);
        const auto geometry = SizeFrameGeometry(buffer.sizeFrame);
        if (!geometry || !buffer.pixels) {
            return;
        }
        w = geometry->width;
        h = geometry->height;
        arrivedAt = buffer.arrivedAt;
        glBindTexture(GL_TEXTURE_2D, paneTextures_[pane]);
        TextureShape& shape = textureShapes_[pane];
        // A pane drawn again (a mark, the frame moving off it, a pan) keeps its uploaded picture.
        if (shape.width != w || shape.height != h) {
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w / 2, h, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                         buffer.pixels);
            shape.width = w;
            shape.height = h;
        } else if (shape.version != buffer.version) {
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w / 2, h, GL_RGBA, GL_UNSIGNED_BYTE,
                            buffer.pixels);
        }
        shape.version = buffer.version;
    }
    setViewport(rect);
    TextureShape& shape = textureShapes_[pane];
    // A pane smaller than its picture takes the nearest pixel: blending texels there costs the
    // most and shows little. A magnified picture is blended, or its pixels would show as blocks.
    const bool magnified = zoomedLayout_ && zoom_ > 1.0f;
    const float shown = magnified ? 1 / zoom_ : 1.0f;
    const qreal ratio = devicePixelRatio();
    const GLint filter =
        rect.width * ratio > w * shown || rect.height * ratio > h * shown ? GL_LINEAR : GL_NEAREST;
    if (shape.filter != filter) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
        shape.filter = filter;
    }
    program_.bind();
    program_.setUniformValue(widthUniform_, static_cast<GLfloat>(w));
    program_.setUniformValue(blendedUniform_, filter == GL_LINEAR);
    program_.setUniformValue(dimUniform_, dim);
    // The digital zoom applies to the one pane the layout zooms.
    program_.setUniformValue(windowUniform_, magnified
                                                 ? QVector4D(zoomU_, zoomV_, 1 / zoom_, 1 / zoom_)
                                                 : QVector4D(0, 0, 1, 1));
    program_.enableAttributeArray(0);
    program_.enableAttributeArray(1);
    program_.setAttributeArray(0, GL_FLOAT, kQuad, 2, 4 * sizeof(GLfloat));
    program_.setAttributeArray(1, GL_FLOAT, kQuad + 2, 2, 4 * sizeof(GLfloat));
    glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
    if (dim == 1.0f) {
        ++presented_;  // a picture that came now, not a mark over an old one
    }
    if (dim == 1.0f && arrivedAt != 0) {
        const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count();
        latencyMicros_[latencyCount_++ % kLatencySamples] =
            static_cast<int>((now - arrivedAt) / 1000);
    }
    program_.disableAttributeArray(0);
    program_.disableAttributeArray(1);
    program_.release();
}

bool VideoView::frameNow() {
    // The frame lays the panes out for the window's present size and draws what is pending.
    frame(false);
    return glReady_ && surface_->isValid() && glSize_ == size();
}

QImage VideoView::grabSurface() {
    if (!readScreen()) {
        return QImage();
    }
    return QImage(capture_.data(), capture_.width(), capture_.height(), capture_.rowBytes(),
                  QImage::Format_RGBX8888)
        .convertToFormat(QImage::Format_RGB32);
}

QString VideoView::SnapshotFolder() {
    const QString desktop = QDir::home().filePath(QStringLiteral("Desktop"));
    return QFileInfo(desktop).isDir() ? desktop : QDir::homePath();
}

bool VideoView::readScreen() {
    QLog("readScreenAsyncBegin");
    if (!frameNow()) {
        QLog("snapshot: the surface has no OpenGL context or frame buffer of its size yet");
        return false;
    }
    // The frame buffer has the widget's size in device pixels, and so has the capture.
    const qreal ratio = devicePixelRatio();
    const int w = qRound(width() * ratio);
    const int h = qRound(height() * ratio);
    if (!capture_.ensure(w, h)) {
        return false;  // made again at the next snapshot
    }
    surface_->makeCurrent();
    for (int i = 0; i < 8 && glGetError() != GL_NO_ERROR; ++i) {
    }
    QLog("readScreenAsyncFinish");
    glBindFramebuffer(GL_FRAMEBUFFER, surface_->target());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    // GL_RGBA bytes in memory order red, green, blue, alpha; rows from the bottom up.
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, capture_.data());
    const GLenum error = glGetError();
    if (error != GL_NO_ERROR) {
        QLog("OpenGL glReadPixels failed (error 0x%04X)", error);
        return false;
    }
    capture_.flipRows();
    return true;
}

void VideoView::CreatePicFormOpenGL() {
    if (capturing_) {
        return;
    }
    // The picture is read and encoded before the dialog opens: the surface is free again while
    // the operator picks a name.
    QByteArray jpeg;
    {
        if (!readScreen()) {
            return;
        }
        // The surface is opaque: the fourth byte carries nothing.
        const QImage image(capture_.data(), capture_.width(), capture_.height(),
                           capture_.rowBytes(), QImage::Format_RGBX8888);
        QBuffer out(&jpeg);
        out.open(QIODevice::WriteOnly);
        QImageWriter writer(&out, "jpeg");
        writer.setQuality(90);
        if (!writer.write(image)) {
            QLog("snapshot: JPEG encoding failed: %s", writer.errorString().toUtf8().constData());
            return;
        }
    }

    capturing_ = true;
    const QPointer<VideoView> self(this);
    const QPointer<QFileDialog> dialog(new QFileDialog(this, QStringLiteral("Save snapshot")));
    dialog->setObjectName(QStringLiteral("snapshotDialog"));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(QStringLiteral("JPEG image (*.jpeg *.jpg)"));
    dialog->setDefaultSuffix(QStringLiteral("jpeg"));
    dialog->setDirectory(SnapshotFolder());
    dialog->selectFile(QStringLiteral("pic"));
    const int result = dialog->exec();
    // The window may have gone while the dialog ran (the end of the run).
    if (!self) {
        return;
    }
    capturing_ = false;
    if (!dialog) {
        return;
    }
    QString path = dialog->selectedFiles().value(0);
    delete dialog.data();
    if (result != QDialog::Accepted || path.isEmpty()) {
        return;
    }
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QStringLiteral("jpeg") && suffix != QStringLiteral("jpg")) {
        path += QStringLiteral(".jpeg");
    }
    // The file appears whole or not at all.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size() || !file.commit()) {
        QLog("snapshot: writing %s failed: %s", path.toUtf8().constData(),
             file.errorString().toUtf8().constData());
    }
}

void VideoView::mousePressEvent(QMouseEvent* event) {
    ViewController* vc = context_.controller();
    if (event->button() == Qt::MiddleButton && zoom_ > 1.0f) {
        setDigitalZoom(1.0f, QPointF());
        return;
    }
    if (event->button() != Qt::LeftButton || !vc) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (zoomedLayout_ && zoom_ > 1.0f) {
        // A magnified picture is dragged; only a click that does not drag unzooms the pane.
        dragFrom_ = event->position();
        dragged_ = false;
        dragging_ = true;
        return;
    }
    clickAt(event->position());
}

void VideoView::clickAt(QPointF p) {
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
    // The picture follows the pointer.
    panTo(zoomU_ - static_cast<float>(d.x() / width()) / zoom_,
          zoomV_ - static_cast<float>(d.y() / height()) / zoom_);
}

void VideoView::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_ || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    dragging_ = false;
    if (!dragged_) {
        clickAt(event->position());
    }
}

void VideoView::wheelEvent(QWheelEvent* event) {
    if (!zoomedLayout_) {
        QWidget::wheelEvent(event);
        return;
    }
    const double notches = event->angleDelta().y() / 120.0;
    setDigitalZoom(static_cast<float>(zoom_ * std::pow(1.25, notches)), event->position());
}

void VideoView::setDigitalZoom(float zoom, QPointF around) {
    const float next = std::clamp(zoom, 1.0f, kMaxDigitalZoom);
    // The picture's point under the pointer stays under it.
    const float fx = static_cast<float>(around.x() / std::max(width(), 1));
    const float fy = static_cast<float>(around.y() / std::max(height(), 1));
    const float u = zoomU_ + fx / zoom_;
    const float v = zoomV_ + fy / zoom_;
    zoom_ = next;
    panTo(u - fx / zoom_, v - fy / zoom_);
}

void VideoView::panTo(float u, float v) {
    const float most = 1.0f - 1.0f / zoom_;
    zoomU_ = std::clamp(u, 0.0f, most);
    zoomV_ = std::clamp(v, 0.0f, most);
    redrawZoomedPane();
}

void VideoView::redrawZoomedPane() {
    ViewController* vc = context_.controller();
    if (!vc || !zoomedLayout_) {
        return;
    }
    const int32_t pane = vc->layout().SelectedPane();
    const std::optional<PaneRect> rect = vc->layout().ShownRect(pane);
    if (!rect) {
        return;
    }
    {
        std::lock_guard<std::mutex> g(surfaceLock_);
        pending_[pane] = true;
        pendingRect_[pane] = *rect;
        anyPending_ = true;
    }
    requestFrame();
}

void VideoView::contextMenuEvent(QContextMenuEvent* event) {
    ViewController* vc = context_.controller();
    if (!vc || vc->showAutoDisplay() == 0) {
        return;  // the single-DVR view has no menu here
    }
    QMenu menu(QStringLiteral("Contextual Menu"), this);
    menu.setObjectName(QStringLiteral("autoDisplayMenu"));
    QAction* autoDisplay = menu.addAction(QStringLiteral("Auto Display"));
    if (menu.exec(event->globalPos()) == autoDisplay) {
        vc->AutoSetDisplay();
    }
}
