#include "gui/main/video/DigitalZoom.h"

#include <algorithm>
#include <cmath>

void DigitalZoom::SetPaneZoomed(bool zoomed) {
    paneZoomed_ = zoomed;
    if (!zoomed) {
        zoom_ = 1.0f;
        u_ = v_ = 0.0f;
    }
}

void DigitalZoom::ZoomAround(float factor, double x, double y, int width, int height) {
    const float next = std::clamp(factor, 1.0f, kMax);
    // The picture's point under the pointer stays under it.
    const float fx = static_cast<float>(x / std::max(width, 1));
    const float fy = static_cast<float>(y / std::max(height, 1));
    const float u = u_ + fx / zoom_;
    const float v = v_ + fy / zoom_;
    zoom_ = next;
    PanTo(u - fx / zoom_, v - fy / zoom_);
}

void DigitalZoom::Wheel(double notches, double x, double y, int width, int height) {
    ZoomAround(static_cast<float>(zoom_ * std::pow(kNotch, notches)), x, y, width, height);
}

void DigitalZoom::DragBy(double dx, double dy, int width, int height) {
    PanTo(u_ - static_cast<float>(dx / width) / zoom_,
          v_ - static_cast<float>(dy / height) / zoom_);
}

void DigitalZoom::PanTo(float u, float v) {
    const float most = 1.0f - 1.0f / zoom_;
    u_ = std::clamp(u, 0.0f, most);
    v_ = std::clamp(v, 0.0f, most);
}

DigitalZoom::Window DigitalZoom::window() const {
    return magnified() ? Window{u_, v_, 1 / zoom_, 1 / zoom_} : Window{0, 0, 1, 1};
}
