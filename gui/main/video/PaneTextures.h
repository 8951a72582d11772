// One texture per pane in one OpenGL context, owned: the owner deletes them with their context
// made current on their surface when it goes, if the context is still there.
//
// Threads: GUI thread only. Not copied; the context and the surface must outlive the owner.
#pragma once

#include <QOpenGLContext>
#include <QSurface>

#include "core/layout/Layout.h"

class PaneTextures {
  public:
    PaneTextures() = default;
    ~PaneTextures();
    PaneTextures(const PaneTextures&) = delete;
    PaneTextures& operator=(const PaneTextures&) = delete;

    // With `context` current on `surface`: makes the textures, edges clamped.
    void Create(QOpenGLContext& context, QSurface& surface);
    GLuint operator[](int pane) const { return ids_[pane]; }

  private:
    QOpenGLContext* context_ = nullptr;  // null until made
    QSurface* surface_ = nullptr;
    GLuint ids_[kLayoutPanes] = {};
};
