// The digital zoom of a zoomed pane: the wheel around the pointer, the drag, the clamping at the
// picture's edges and the 8x limit.
#include <gtest/gtest.h>

#include <functional>

#include "gui/main/video/DigitalZoom.h"

namespace {

constexpr int kW = 400;  // the view, in its own pixels
constexpr int kH = 300;

TEST(DigitalZoom, WheelDragAndPanStayInsideThePictureBetweenOneAndEightTimes) {
    struct Case {
        const char* what;
        std::function<void(DigitalZoom&)> run;
        float factor;
        float u;
        float v;
    };
    const Case cases[] = {
        {"a notch in at the centre", [](DigitalZoom& z) { z.Wheel(1, 200, 150, kW, kH); }, 1.25f,
         0.1f, 0.1f},
        {"in at the top left keeps it there", [](DigitalZoom& z) { z.Wheel(3, 0, 0, kW, kH); },
         1.953125f, 0, 0},
        {"in at the bottom right keeps it there",
         [](DigitalZoom& z) { z.Wheel(2, kW, kH, kW, kH); }, 1.5625f, 0.36f, 0.36f},
        {"no further than 8x", [](DigitalZoom& z) { z.Wheel(20, 200, 150, kW, kH); }, 8, 0.4375f,
         0.4375f},
        {"out past 1x shows it whole from its corner",
         [](DigitalZoom& z) {
             z.Wheel(4, 300, 250, kW, kH);
             z.Wheel(-9, 100, 30, kW, kH);
         },
         1, 0, 0},
        {"a drag moves the picture with the pointer",
         [](DigitalZoom& z) {
             z.ZoomAround(2, 200, 150, kW, kH);
             z.DragBy(40, -30, kW, kH);
         },
         2, 0.2f, 0.3f},
        {"a drag stops at the picture's edges",
         [](DigitalZoom& z) {
             z.ZoomAround(4, 0, 0, kW, kH);
             z.DragBy(-4000, 4000, kW, kH);
         },
         4, 0.75f, 0},
        {"a pan is clamped to the picture",
         [](DigitalZoom& z) {
             z.ZoomAround(2, 0, 0, kW, kH);
             z.PanTo(-1, 2);
         },
         2, 0, 0.5f},
        {"back to 1x from a corner resets the pan",
         [](DigitalZoom& z) {
             z.ZoomAround(4, kW, kH, kW, kH);
             z.ZoomAround(1, 0, 0, kW, kH);
         },
         1, 0, 0},
        {"a layout that zooms no pane starts the next zoom whole",
         [](DigitalZoom& z) {
             z.ZoomAround(4, kW, kH, kW, kH);
             z.SetPaneZoomed(false);
         },
         1, 0, 0},
    };
    for (const Case& c : cases) {
        DigitalZoom zoom;
        zoom.SetPaneZoomed(true);
        c.run(zoom);
        EXPECT_FLOAT_EQ(zoom.factor(), c.factor) << c.what;
        EXPECT_NEAR(zoom.u(), c.u, 1e-6) << c.what;
        EXPECT_NEAR(zoom.v(), c.v, 1e-6) << c.what;
        // The shader's window: the part shown, all of it unless magnified.
        const DigitalZoom::Window w = zoom.window();
        const bool magnified = zoom.paneZoomed() && c.factor > 1;
        EXPECT_EQ(zoom.magnified(), magnified) << c.what;
        EXPECT_NEAR(w.u, magnified ? c.u : 0, 1e-6) << c.what;
        EXPECT_NEAR(w.width, magnified ? 1 / c.factor : 1, 1e-6) << c.what;
        EXPECT_NEAR(w.height, w.width, 1e-6) << c.what;
    }
}

TEST(DigitalZoom, ThePicturesPointUnderThePointerStaysUnderItWhileZoomingIn) {
    const double pointers[][2] = {{0, 0}, {kW, kH}, {123, 45}, {390, 10}, {7, 288}};
    for (const auto& p : pointers) {
        DigitalZoom zoom;
        zoom.SetPaneZoomed(true);
        const double fx = p[0] / kW;
        const double fy = p[1] / kH;
        for (int notch = 0; notch < 6; ++notch) {
            const double u = zoom.u() + fx / zoom.factor();
            const double v = zoom.v() + fy / zoom.factor();
            zoom.Wheel(1.5, p[0], p[1], kW, kH);
            EXPECT_NEAR(zoom.u() + fx / zoom.factor(), u, 1e-5) << p[0] << "," << p[1];
            EXPECT_NEAR(zoom.v() + fy / zoom.factor(), v, 1e-5) << p[0] << "," << p[1];
        }
    }
}

}  // namespace
