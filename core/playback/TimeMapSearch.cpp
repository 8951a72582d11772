// The record time map of a day: searched page by page and handed to the playback window.
#include <algorithm>
#include <memory>

#include "core/ViewController.h"
#include "core/support/Log.h"

namespace {
struct SearchPage {
    RecordListPage entries;
};
}  // namespace

void ViewController::SetPlaybackPort(PlaybackPort* port) {
    playback_.store(port);
}

int32_t ViewController::SetDiskTimeRect(NetCtrl_Struct& b, std::time_t date,
                                        const BandSelection& cam,
                                        const std::atomic<bool>* superseded) {
    const int dvr = b.NetID.load();
    if (dvr < 0 || dvr >= kMaxDvrs) {
        return -1;
    }
    const BandSelection a = DistinctSelection(cam);
    for (int k = 0; k < kPlaybackBands; ++k) {
        m_a[dvr][k].store(a[k]);
    }
    PlaybackPort* port = playback_.load();
    for (int k = 0; k < kPlaybackBands; ++k) {
        const std::string label = BandLabel(a[k]);
        QLog("%s", label.c_str());
        if (port) {
            port->SetChShow(label, k);
        }
    }
    if (port) {
        port->SetChShow(a);
    }

    int32_t key = 0;
    int day = 0;
    if (!LocalDateKey(date, key, day)) {
        return -1;
    }
    TimeMap map{};
    // The page list belongs to this search: searches of other DVRs run on other threads.
    auto page = std::make_unique<SearchPage>();
    const int32_t pages = TimeToSearchRecList(b, key, &page->entries, 0);
    if (pages <= 0) {
        QLog("SetDiskTimeRect  iPage <= 0  %d", pages);
        return -1;
    }
    QLog("SetDiskTimeRect  iPage > 0   %d", pages);
    MarkPage(map, page->entries, a, day);
    const int32_t followed = std::min(pages, kMaxSearchPages);
    for (int32_t p = 1; p < followed; ++p) {
        if (superseded && superseded->load()) {
            return 0;
        }
        if (TimeToSearchRecList(b, key, &page->entries, p) < 0) {
            return -1;
        }
        MarkPage(map, page->entries, a, day);
    }
    if (superseded && superseded->load()) {
        return 0;
    }
    QLog("CreatePicture");
    if (port) {
        port->CreatePicture(map);
    }
    return 1;
}
