#include "gui/ptz/PtzCommands.h"

#include "core/ViewController.h"

int32_t PtzCommands::GetPtzChan() const {
    const SCREEN_SHOW_CTRL layout = vc_.LayoutCopy();
    int32_t shown = 0;
    int32_t last = -1;
    for (int32_t pane = 0; pane < kLayoutPanes; ++pane) {
        if (layout.m_screenRect[pane].iOnShow != 0) {
            ++shown;
            last = pane;
        }
    }
    return shown == 1 ? last : -1;
}

int32_t PtzCommands::CurrentDVR() const {
    return vc_.CurrentDVR();
}

void PtzCommands::Send(int32_t value, int32_t data, int32_t speed) {
    const int32_t chan = GetPtzChan();
    const int32_t dvr = CurrentDVR();
    if (dvr < 0 && chan < 0) {
        return;  // the all-DVR view has no camera to steer without a zoomed pane
    }
    vc_.NetSendPtzValue(value, chan, Parameter(data, speed), dvr);
}
