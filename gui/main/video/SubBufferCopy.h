// Puts rectangles of a window's back buffer on the screen without a swap, where the GLX driver
// can (GLX_MESA_copy_sub_buffer): the back buffer keeps what was drawn into it, so a frame draws
// and sends only what changed. Elsewhere (EGL, Wayland, drivers without it) Attach() says no.
#pragma once

class SubBufferCopy {
  public:
    // With a context current on the window: true when its drawable can copy rectangles.
    bool Attach();
    // Copies x, y, w, h of the current drawable's back buffer (device pixels, from the bottom
    // left) to the screen. The drawable is the one current now: a window made again by the window
    // system gets a new one.
    void Copy(int x, int y, int w, int h) const;

  private:
    void (*copySubBuffer_)() = nullptr;  // glXCopySubBufferMESA, as a generic pointer
};
