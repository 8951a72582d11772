#include "gui/main/video/SubBufferCopy.h"

#ifdef QUILLMARSH_HAVE_GLX
// Xlib's macros (None, Bool, Status, ...) stay inside this file.
#include <GL/glx.h>

#include <cstring>

namespace {
using CopySubBufferFn = void (*)(Display*, GLXDrawable, int, int, int, int);
}
#endif

bool SubBufferCopy::Attach() {
#ifdef QUILLMARSH_HAVE_GLX
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable drawable = glXGetCurrentDrawable();
    if (!display || !drawable) {
        return false;  // the context is not a GLX one
    }
    const char* extensions = glXQueryExtensionsString(display, DefaultScreen(display));
    const char* name = "GLX_MESA_copy_sub_buffer";
    bool listed = false;
    for (const char* at = extensions; at && (at = std::strstr(at, name)) != nullptr;
         at += std::strlen(name)) {
        const char end = at[std::strlen(name)];
        if ((at == extensions || at[-1] == ' ') && (end == ' ' || end == '\0')) {
            listed = true;
            break;
        }
    }
    if (!listed) {
        return false;
    }
    const auto fn = glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXCopySubBufferMESA"));
    if (!fn) {
        return false;
    }
    copySubBuffer_ = fn;
    return true;
#else
    return false;
#endif
}

void SubBufferCopy::Copy(int x, int y, int w, int h) const {
#ifdef QUILLMARSH_HAVE_GLX
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable drawable = glXGetCurrentDrawable();
    if (copySubBuffer_ && display && drawable && w > 0 && h > 0) {
        reinterpret_cast<CopySubBufferFn>(copySubBuffer_)(display, drawable, x, y, w, h);
    }
#else
    (void)x, (void)y, (void)w, (void)h;
#endif
}
