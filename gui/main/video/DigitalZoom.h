// The digital zoom of the zoomed pane: how much of its picture is shown and where. The factor
// runs from 1 (the whole picture) to kMax; the window shown is the square of side 1 / factor (in
// texture units, the picture being 1 x 1, top left first) at (u, v), kept inside the picture.
// Pointer positions come in the view's own pixels from its top left, with the view's size.
// Pure arithmetic.
//
// Threads: one thread at a time (the GUI thread, for the video surface).
#pragma once

class DigitalZoom {
  public:
    static constexpr float kMax = 8.0f;
    // Each wheel notch magnifies by this much.
    static constexpr double kNotch = 1.25;

    // The part of the picture shown, in texture units: offset and size.
    struct Window {
        float u;
        float v;
        float width;
        float height;
    };

    // Whether the layout shows one pane zoomed now: only then does the factor apply. A layout
    // that is not zoomed resets the factor, so that a pane zoomed again starts whole.
    void SetPaneZoomed(bool zoomed);
    bool paneZoomed() const { return paneZoomed_; }

    // Sets the factor (clamped to 1 .. kMax) keeping the picture's point under (x, y) under it.
    void ZoomAround(float factor, double x, double y, int width, int height);
    // `notches` of the wheel (positive magnifies) around (x, y).
    void Wheel(double notches, double x, double y, int width, int height);
    // The picture follows a drag of (dx, dy) view pixels.
    void DragBy(double dx, double dy, int width, int height);
    // Shows the window at (u, v), clamped to the picture.
    void PanTo(float u, float v);

    float factor() const { return zoom_; }
    float u() const { return u_; }
    float v() const { return v_; }
    // The picture is magnified now: the layout zooms a pane and the factor is above 1.
    bool magnified() const { return paneZoomed_ && zoom_ > 1.0f; }
    // What the zoomed pane shows of its picture: all of it unless magnified.
    Window window() const;

  private:
    bool paneZoomed_ = false;
    float zoom_ = 1.0f;
    float u_ = 0.0f;
    float v_ = 0.0f;
};
