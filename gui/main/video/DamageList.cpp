#include "gui/main/video/DamageList.h"

namespace {

long long Area(const QRect& r) {
    return static_cast<long long>(r.width()) * r.height();
}

}  // namespace

void DamageList::Add(const QRect& rect) {
    if (all_ || rect.isEmpty()) {
        return;
    }
    QRect joined = rect;
    // A merge can make a rectangle that now joins one looked at before: look again until none
    // joins. Each merge removes a rectangle, so this ends.
    for (bool merged = true; merged;) {
        merged = false;
        for (int i = 0; i < count_; ++i) {
            const QRect both = joined.united(rects_[i]);
            const long long apart = Area(joined) + Area(rects_[i]);
            if (Area(both) <= apart + apart / 16) {
                joined = both;
                rects_[i] = rects_[--count_];
                merged = true;
                break;
            }
        }
    }
    if (count_ == kRects) {
        all_ = true;
        return;
    }
    rects_[count_++] = joined;
}
