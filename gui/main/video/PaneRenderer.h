// Draws the pane pictures into the surface window: the shader program that unpacks a packed
// 4:2:2 picture and converts it to RGB, each pane's texture, and the greys and frames laid
// straight into the frame buffer. Every rectangle drawn goes on the window's damage list.
//
// Threads: GUI thread only, with the window's context current (inside its frame). The pane
// buffers are read under their own locks, held only while a picture is uploaded. The renderer
// keeps references to the window, the view (its pixel ratio) and the zoom, which own it.
#pragma once

#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QString>

#include <cstdint>
#include <vector>

#include "core/layout/PaneBuffers.h"
#include "gui/main/video/PaneTextures.h"

class DigitalZoom;
class QWidget;
class SurfaceWindow;

class PaneRenderer : protected QOpenGLFunctions {
  public:
    PaneRenderer(SurfaceWindow& window, const QWidget& view, const DigitalZoom& zoom);

    // With the new context current: the program, its uniforms and the textures. On failure the
    // renderer stays not ready and failure() says why.
    void Initialize();
    bool ready() const { return ready_; }
    const QString& failure() const { return failure_; }

    // The frame's pixel store settings (the glyph cache relies on them too).
    void BeginFrame();
    // The whole frame buffer to the surface's grey.
    void ClearAll();
    // One rectangle (surface units) to the grey.
    void ClearRect(const PaneRect& rect);
    // A frame of 3 units inside `rect` in the selection's yellow.
    void FrameRect(const PaneRect& rect);
    // Uploads the pane's picture if it is new and draws it over `rect` (surface units, from the
    // bottom left), its brightness times `dim`. A pane without a picture draws nothing.
    void DrawPane(int pane, PaneBuffers::Pane& buffer, const PaneRect& rect, float dim = 1.0f);

    // Pictures drawn so far, and the latencies (microseconds, last byte received to drawn) of
    // the most recent ones, which TakeLatencies() empties.
    uint64_t presented() const { return presented_; }
    std::vector<int> TakeLatencies();

  private:
    void SetViewport(const PaneRect& rect);

    SurfaceWindow& window_;
    const QWidget& view_;
    const DigitalZoom& zoom_;
    // The picture shader twice: [0] one texel fetch per pixel (a pane at its picture's size or
    // smaller), [1] blended (a magnified picture). A software rasteriser runs both sides of a
    // branch on a uniform, so the choice is made here, per pane, not in the shader.
    struct Program {
        QOpenGLShaderProgram program;
        int width = -1;  // its uniforms, looked up once
        int dim = -1;
        int window = -1;
    };
    Program programs_[2];
    bool ready_ = false;
    QString failure_;  // why the surface cannot draw, shown in its place
    // Each pane's packed picture as W/2 x H (Y0, Cb, Y1, Cr) texels, and the size, filter and
    // picture (the pane buffer's version) its texture has now. Declared after the programs:
    // they go first, making the context current for the program too.
    PaneTextures textures_;
    struct TextureShape {
        int width = 0;
        int height = 0;
        GLint filter = 0;
        uint32_t version = 0;
    };
    TextureShape shapes_[kLayoutPanes];

    // Measurements for the pipeline benchmark: a fixed ring, no allocation.
    uint64_t presented_ = 0;
    static constexpr int kLatencySamples = 8192;
    int latencyMicros_[kLatencySamples] = {};
    uint64_t latencyCount_ = 0;
};
