// What the widgets reach of the core: the controller's operations, what they may read of it (the
// query), and the pane buffers the video surface draws. The main window attaches it at start-up and
// clears it in one place at the end of the run; from then on every widget finds nothing and does
// nothing.
//
// Threads: GUI thread only.
#pragma once

#include "core/ViewController.h"

class CoreContext {
  public:
    ViewController* controller() const { return controller_; }
    // What widgets read: never the controller's tables. Null once cleared.
    const WallQuery* query() const { return controller_; }
    PaneBuffers* panes() const {
        return controller_ ? &controller_->layout().AVDataFrame : nullptr;
    }

    void Attach(ViewController& controller) { controller_ = &controller; }
    void Clear() { controller_ = nullptr; }

  private:
    ViewController* controller_ = nullptr;
};
