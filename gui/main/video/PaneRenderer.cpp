#include "gui/main/video/PaneRenderer.h"

#include <QVector4D>
#include <QWidget>

#include <algorithm>

#include "core/decode/SizeFrame.h"
#include "core/support/Clocks.h"
#include "core/support/Log.h"
#include "gui/main/video/DigitalZoom.h"
#include "gui/main/video/SurfaceWindow.h"

namespace {

constexpr float kGrey = 0.48f;

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
// BLENDED, takes both, in two fetches). `width` is W.
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
void main() {
#ifdef BLENDED
    // Each of the two sample rows blended on its own lattice, half a pixel either way, then
    // averaged: picking one per column would comb every sharp edge. The chroma comes with the
    // first samples' fetch, where it belongs (sited with the pair's first luma sample); a third
    // fetch for it cost a quarter of a magnified pane's drawing.
    vec4 c = texture2D(picture, uv + vec2(0.5 / width, 0.0));
    float odd = texture2D(picture, uv - vec2(0.5 / width, 0.0)).b;
    float y = 0.5 * (c.r + odd);
#else
    vec4 c = texture2D(picture, uv);
    float y = fract(uv.x * width * 0.5) < 0.5 ? c.r : c.b;
#endif
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

PaneRenderer::PaneRenderer(SurfaceWindow& window, const QWidget& view, const DigitalZoom& zoom)
    : window_(window), view_(view), zoom_(zoom) {}

void PaneRenderer::Initialize() {
    initializeOpenGLFunctions();
    QLog("prepareOpenGL");
    for (int blended = 0; blended < 2; ++blended) {
        QOpenGLShaderProgram& program = programs_[blended].program;
        program.addShaderFromSourceCode(QOpenGLShader::Vertex, QString::fromLatin1(kVertexShader));
        program.addShaderFromSourceCode(QOpenGLShader::Fragment,
                                        QString::fromLatin1(blended ? "#define BLENDED\n" : "") +
                                            QString::fromLatin1(kFragmentShader));
        program.bindAttributeLocation("position", 0);
        program.bindAttributeLocation("texcoord", 1);
        if (!program.link()) {
            // Said on the surface itself, where the operator looks for the pictures.
            failure_ = QStringLiteral(
                           "The video cannot be shown: the graphics driver refused the "
                           "picture shader.\n") +
                       program.log().trimmed();
            QLog("video shaders: %s", program.log().toUtf8().constData());
            return;
        }
    }
    // Each pane keeps its texture: a new picture of the same size is written into it, with no
    // new storage and no wait for a draw that still reads another pane's texture.
    textures_.Create(*window_.context(), window_);
    // The default row alignment, kept: the pictures' rows (W/2 RGBA texels) are whole words
    // anyway, and the painter's glyph cache uploads word-aligned rows assuming it. A 1 left here
    // sheared every glyph whose width is not a multiple of four.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    for (Program& p : programs_) {
        p.program.bind();
        p.program.setUniformValue("picture", 0);  // the one texture unit used
        p.program.release();
        p.width = p.program.uniformLocation("width");
        p.dim = p.program.uniformLocation("dim");
        p.window = p.program.uniformLocation("window");
    }
    ready_ = true;
}

void PaneRenderer::BeginFrame() {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);  // see Initialize
}

void PaneRenderer::ClearAll() {
    glViewport(0, 0, static_cast<GLsizei>(view_.width() * view_.devicePixelRatio()),
               static_cast<GLsizei>(view_.height() * view_.devicePixelRatio()));
    glClearColor(kGrey, kGrey, kGrey, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

void PaneRenderer::ClearRect(const PaneRect& r) {
    const qreal ratio = view_.devicePixelRatio();
    window_.Damage(r, ratio);
    glEnable(GL_SCISSOR_TEST);
    glScissor(static_cast<GLint>(r.x * ratio), static_cast<GLint>(r.y * ratio),
              static_cast<GLsizei>(r.width * ratio), static_cast<GLsizei>(r.height * ratio));
    glClearColor(kGrey, kGrey, kGrey, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
}

void PaneRenderer::FrameRect(const PaneRect& r) {
    const qreal ratio = view_.devicePixelRatio();
    window_.Damage(r, ratio);
    const auto x = static_cast<GLint>(r.x * ratio);
    const auto y = static_cast<GLint>(r.y * ratio);
    const auto w = static_cast<GLsizei>(r.width * ratio);
    const auto h = static_cast<GLsizei>(r.height * ratio);
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

void PaneRenderer::SetViewport(const PaneRect& rect) {
    // Pane rectangles are in surface units with the origin at the bottom left, like GL's
    // viewport; fractions are cut off.
    const qreal ratio = view_.devicePixelRatio();
    window_.Damage(rect, ratio);
    glViewport(static_cast<GLint>(rect.x * ratio), static_cast<GLint>(rect.y * ratio),
               static_cast<GLsizei>(rect.width * ratio), static_cast<GLsizei>(rect.height * ratio));
}

void PaneRenderer::DrawPane(int pane, PaneBuffers::Pane& buffer, const PaneRect& rect, float dim) {
    int w;
    int h;
    int64_t arrivedAt;
    TextureShape& shape = shapes_[pane];
    {
        // Held only while the picture is read: the upload copies it before returning, and the
        // display thread may write the next one meanwhile.
        std::lock_guard<std::mutex> g(buffer.lock);
        const auto geometry = SizeFrameGeometry(buffer.sizeFrame);
        if (!geometry || !buffer.pixels) {
            return;
        }
        w = buffer.halved ? geometry->width / 2 : geometry->width;
        h = buffer.halved ? geometry->height / 2 : geometry->height;
        arrivedAt = buffer.arrivedAt;
        glBindTexture(GL_TEXTURE_2D, textures_[pane]);
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
    SetViewport(rect);
    // A pane smaller than its picture takes the nearest pixel: blending texels there costs the
    // most and shows little. A magnified picture is blended, or its pixels would show as blocks.
    // The digital zoom applies to the one pane the layout zooms.
    const DigitalZoom::Window shown = zoom_.window();
    const qreal ratio = view_.devicePixelRatio();
    const GLint filter =
        rect.width * ratio > w * shown.width || rect.height * ratio > h * shown.height ? GL_LINEAR
                                                                                       : GL_NEAREST;
    if (shape.filter != filter) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
        shape.filter = filter;
    }
    Program& p = programs_[filter == GL_LINEAR ? 1 : 0];
    QOpenGLShaderProgram& program = p.program;
    program.bind();
    program.setUniformValue(p.width, static_cast<GLfloat>(w));
    program.setUniformValue(p.dim, dim);
    program.setUniformValue(p.window, QVector4D(shown.u, shown.v, shown.width, shown.height));
    program.enableAttributeArray(0);
    program.enableAttributeArray(1);
    program.setAttributeArray(0, GL_FLOAT, kQuad, 2, 4 * sizeof(GLfloat));
    program.setAttributeArray(1, GL_FLOAT, kQuad + 2, 2, 4 * sizeof(GLfloat));
    glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
    if (dim == 1.0f) {
        ++presented_;  // a picture that came now, not a mark over an old one
    }
    if (dim == 1.0f && arrivedAt != 0) {
        latencyMicros_[latencyCount_++ % kLatencySamples] =
            static_cast<int>((SteadyNs() - arrivedAt) / 1000);
    }
    program.disableAttributeArray(0);
    program.disableAttributeArray(1);
    program.release();
}

std::vector<int> PaneRenderer::TakeLatencies() {
    const uint64_t n = std::min<uint64_t>(latencyCount_, kLatencySamples);
    std::vector<int> out(latencyMicros_, latencyMicros_ + n);
    latencyCount_ = 0;
    return out;
}
