#include "core/hub/PlaybackSession.h"

#include <algorithm>
#include <memory>
#include <string>

#include "core/dvr/DvrSlot.h"
#include "core/playback/DayEvents.h"
#include "core/support/FixedText.h"
#include "core/support/Log.h"

namespace {

// The page list of one map search; large, so it lives on the heap.
struct SearchPage {
    RecordListPage entries;
};

}  // namespace

PlaybackSession::PlaybackSession(std::function<DvrSlot&(int)> slot) : slot_(std::move(slot)) {}

void PlaybackSession::Up(int dvr, const SAVE_INFO_STRUCT& entry) {
    DvrSlot& slot = slot_(dvr);
    RequestRunner* requests = playback_.requests(dvr);
    // The window is open from here on: a map the operator asks for while the disk information
    // is still on its way wins over today's default one below.
    const int mark = requests ? requests->postedCount(RequestRunner::Kind::TimeMap) : 0;
    if (PlaybackPort* port = playbackPort_.load()) {
        const int channels = std::clamp(slot.NetCtrl.iDvrChannel.load() % 100, 0, kMaxChannels);
        port->Open(dvr, std::string(TextOf(entry.server)), channels);
    }
    ConnectedMacSetInit(slot);
    // Today's map goes the way of the window's own searches: it never lands in a window opened
    // for another DVR.
    if (requests) {
        requests->PostUnlessPostedSince(
            RequestRunner::Kind::TimeMap,
            TimeMapJob(dvr, std::time(nullptr), BandSelection{1, 0, 0, 0}), mark);
    }
}

int32_t PlaybackSession::ConnectedMacSetInit(DvrSlot& slot) {
    if (slot.NetCtrl.CurNetStatus.load() != NET_CONNECTED) {
        return 1;
    }
    slot.GetMachineDiskInfo();
    const DVR_MACHINE_INFO info = slot.MachineInfo();
    if (info.iDiskNum == 0) {
        QLog("Dvrinfo[ptr->NetID].iDiskNum == 0 ");
    }
    const RecordedRange range = DiskRange(info);
    const std::string text = RecordedRangeText(range);
    if (PlaybackPort* port = playbackPort_.load()) {
        port->SetValidTime(slot.dvr(), text);
    }
    QLog("start_rec_time=%d,end_rec_time=%d", range.start, range.end);
    return 1;
}

int32_t PlaybackSession::SetDiskTimeRect(DvrSlot& slot, std::time_t date, const BandSelection& cam,
                                         const std::atomic<bool>* superseded) {
    const int dvr = slot.dvr();
    const BandSelection a = DistinctSelection(cam);
    playback_.SetBands(dvr, a);
    PlaybackPort* port = playbackPort_.load();
    for (int k = 0; k < kPlaybackBands; ++k) {
        const std::string label = BandLabel(a[static_cast<std::size_t>(k)]);
        QLog("%s", label.c_str());
        if (port) {
            port->SetChShow(dvr, label, k);
        }
    }
    if (port) {
        port->SetChShow(dvr, a);
    }

    int32_t key = 0;
    int day = 0;
    if (!LocalDateKey(date, key, day)) {
        return -1;
    }
    TimeMap map{};
    DayEvents events;
    // The page list belongs to this search: searches of other DVRs run on other threads.
    auto page = std::make_unique<SearchPage>();
    const int32_t pages = slot.TimeToSearchRecList(key, &page->entries, 0);
    if (pages <= 0) {
        QLog("SetDiskTimeRect  iPage <= 0  %d", pages);
        return -1;
    }
    QLog("SetDiskTimeRect  iPage > 0   %d", pages);
    MarkPage(map, page->entries, a, day);
    MarkEvents(events, page->entries, a, day);
    const int32_t followed = std::min(pages, kMaxSearchPages);
    for (int32_t p = 1; p < followed; ++p) {
        if (superseded && superseded->load()) {
            return 0;
        }
        // An unanswered page ends the search: the map shows what arrived.
        if (slot.TimeToSearchRecList(key, &page->entries, p) <= 0) {
            QLog("SetDiskTimeRect  page %d unanswered", p);
            break;
        }
        MarkPage(map, page->entries, a, day);
        MarkEvents(events, page->entries, a, day);
    }
    if (superseded && superseded->load()) {
        return 0;
    }
    QLog("CreatePicture");
    if (port) {
        port->ShowEvents(dvr, events);
        port->CreatePicture(dvr, map);
    }
    return 1;
}

RequestRunner::Job PlaybackSession::TimeMapJob(int dvr, std::time_t date,
                                               const BandSelection& cam) {
    return [this, dvr, date, cam](const std::atomic<bool>& superseded) {
        SetDiskTimeRect(slot_(dvr), date, cam, &superseded);
    };
}

void PlaybackSession::RequestTimeMap(int dvr, std::time_t date, const BandSelection& cam) {
    if (RequestRunner* requests = playback_.requests(dvr)) {
        requests->Post(RequestRunner::Kind::TimeMap, TimeMapJob(dvr, date, cam));
    }
}

void PlaybackSession::RequestPlay(int dvr, int32_t startSecond, uint32_t mask, int32_t sound,
                                  int32_t fast) {
    if (RequestRunner* requests = playback_.requests(dvr)) {
        requests->Post(RequestRunner::Kind::Play, [=, this](const std::atomic<bool>&) {
            DvrSlot& slot = slot_(dvr);
            const bool wasPlaying = slot.IsNet_NET_DATA_SEND() == 1;
            // Without a login there is no live view to stop, and the status must keep saying so.
            if (slot.NetCtrl.NetWorking.load() == 1) {
                slot.StopNetLocalView();
            }
            // This request's answer, not what an earlier refusal left.
            slot.NetCtrl.Results.store(0);
            const int32_t result = slot.NetPlayFile(startSecond, kDaySeconds, mask, sound, fast);
            if (result == status::Code(status::Play::Refused) ||
                result == status::Code(status::Play::NoRecordingAtStart)) {
                // What played before would go on under a picker that reads another time.
                if (wasPlaying) {
                    slot.StopEarlierPlay();
                }
                if (PlaybackPort* port = playbackPort_.load()) {
                    port->PlayRefused(dvr, startSecond, result);
                }
            }
        });
    }
}

void PlaybackSession::RequestStopPlay(int dvr) {
    if (RequestRunner* requests = playback_.requests(dvr)) {
        requests->Post(RequestRunner::Kind::Play,
                       [this, dvr](const std::atomic<bool>&) { slot_(dvr).StopNetPlayFile(); });
    }
}

bool PlaybackSession::End(int dvr) {
    if (dvr < 0 || dvr >= kMaxDvrs || slot_(dvr).NetCtrl.ViewOrBack.load() != VIEW_PLAYBACK) {
        return false;
    }
    DvrSlot& slot = slot_(dvr);
    RequestRunner* requests = playback_.requests(dvr);
    if (requests) {
        // A play still queued is dropped: nothing starts playing after the session ended.
        requests->Post(RequestRunner::Kind::Play, [](const std::atomic<bool>&) {});
    }
    // Live from now on for the view's adjustments, which the command thread runs after this
    // job: a play request still running ends first (it would set the playback again), then the
    // stop record goes out if the DVR plays, all before the live view is asked for.
    slot.NetCtrl.SetView(VIEW_LIVE);
    slot.Post([&slot, requests] {
        if (requests) {
            requests->WaitIdle(std::chrono::seconds(8));
        }
        slot.StopNetPlayFile();
        slot.NetCtrl.SetView(VIEW_LIVE);
    });
    return true;
}
