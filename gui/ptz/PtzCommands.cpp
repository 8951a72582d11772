#include "gui/ptz/PtzCommands.h"

#include "gui/support/CoreContext.h"

int32_t PtzCommands::GetPtzChan() const {
    ViewController* vc = context_.controller();
    if (!vc) {
        return -1;
    }
    const SCREEN_SHOW_CTRL layout = vc->LayoutCopy();
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
    ViewController* vc = context_.controller();
    return vc ? vc->CurrentDVR() : -1;
}

void PtzCommands::Send(int32_t value, int32_t data, int32_t speed) {
    ViewController* vc = context_.controller();
    if (!vc) {
        return;
    }
    const int32_t chan = GetPtzChan();
    const int32_t dvr = CurrentDVR();
    if (dvr < 0 && chan < 0) {
        return;  // the all-DVR view has no camera to steer without a zoomed pane
    }
    vc->NetSendPtzValue(value, chan, Parameter(data, speed), dvr);
}
