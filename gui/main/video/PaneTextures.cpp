#include "gui/main/video/PaneTextures.h"

#include <QOpenGLFunctions>

PaneTextures::~PaneTextures() {
    if (context_ && context_->isValid() && surface_->surfaceHandle() &&
        context_->makeCurrent(surface_)) {
        context_->functions()->glDeleteTextures(kLayoutPanes, ids_);
    }
}

void PaneTextures::Create(QOpenGLContext& context, QSurface& surface) {
    QOpenGLFunctions* gl = context.functions();
    gl->glGenTextures(kLayoutPanes, ids_);
    for (GLuint t : ids_) {
        gl->glBindTexture(GL_TEXTURE_2D, t);
        gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        // Not a mipmap filter before the first picture: the driver then keeps one level of it,
        // not room for a full chain of smaller ones that are never made.
        gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    }
    context_ = &context;
    surface_ = &surface;
}
