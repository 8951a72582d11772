// The playback window's requests, run off the GUI thread by the playback request runner.
#include "core/ViewController.h"

namespace {
bool ValidDvr(int dvr) {
    return dvr >= 0 && dvr < kMaxDvrs;
}
}  // namespace

void ViewController::RequestTimeMap(int dvr, std::time_t date, const BandSelection& cam) {
    if (!ValidDvr(dvr)) {
        return;
    }
    playbackRequests_->post(RequestRunner::Kind::TimeMap,
                            [this, dvr, date, cam](const std::atomic<bool>& superseded) {
                                SetDiskTimeRect(NetCtrl[dvr], date, cam, &superseded);
                            });
}

void ViewController::RequestPlay(int dvr, int32_t startSecond, uint32_t mask, int32_t sound,
                                 int32_t fast) {
    if (!ValidDvr(dvr)) {
        return;
    }
    playbackRequests_->post(RequestRunner::Kind::Play, [=, this](const std::atomic<bool>&) {
        NetCtrl_Struct& b = NetCtrl[dvr];
        // Without a login there is no live view to stop, and the status must keep saying so.
        if (b.NetWorking.load() == 1) {
            StopNetLocalView(b);
        }
        NetPlayFile(b, startSecond, kDaySeconds, mask, sound, fast);
    });
}

void ViewController::RequestStopPlay(int dvr) {
    if (!ValidDvr(dvr)) {
        return;
    }
    playbackRequests_->post(RequestRunner::Kind::Play, [this, dvr](const std::atomic<bool>&) {
        StopNetPlayFile(NetCtrl[dvr]);
    });
}

bool ViewController::PlaybackRequestsIdle(std::chrono::milliseconds limit) {
    return playbackRequests_->waitIdle(limit);
}
