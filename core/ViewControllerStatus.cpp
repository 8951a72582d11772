// The controller's status timer: lost connections reported once, lost DVRs connected again by
// themselves, and what each pane says besides its picture (stale, offline, disconnected).
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string_view>

#include "core/ViewController.h"
#include "core/dvr/DvrSlot.h"
#include "core/dvr/ReconnectDelay.h"
#include "core/support/FixedText.h"
#include "core/support/Log.h"
#include "core/wire/StreamSettings.h"

namespace {

using Clock = std::chrono::steady_clock;

// A camera that misses this many frame intervals (and at least the floor) shows as stale.
constexpr int kStaleIntervals = 3;
constexpr auto kStaleFloor = std::chrono::seconds(2);

int64_t Nanos(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

// "HH:MM:SS" on the local clock of the steady-clock moment `at` (ns).
std::string LocalTimeOf(int64_t at, Clock::time_point now) {
    const auto ago = std::chrono::nanoseconds(Nanos(now) - at);
    const std::time_t then = std::chrono::system_clock::to_time_t(
        std::chrono::system_clock::now() -
        std::chrono::duration_cast<std::chrono::system_clock::duration>(ago));
    std::tm t{};
    localtime_r(&then, &t);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

int SecondsUntil(Clock::time_point due, Clock::time_point now) {
    return static_cast<int>(
        std::max<int64_t>(0, std::chrono::ceil<std::chrono::seconds>(due - now).count()));
}

// A refusal that trying again will not change. "Too many users" and "superuser online" may be
// the lost session itself, still counted by a DVR that has not noticed its end.
bool Refused(status::Login login) {
    return login == status::Login::BadUserOrPassword;
}

// No attempt will come; whether the DVR's box is open stays as it is.
void EndReconnect(DvrSlot::Reconnect& rc) {
    const bool boxOpen = rc.boxOpen;
    rc = DvrSlot::Reconnect{};
    rc.boxOpen = boxOpen;
}

// "Dock 3 — reconnecting in 4 s": with several DVRs down each node still says which it is.
std::string Countdown(std::string_view name, int seconds) {
    return std::string(name) + " \u2014 reconnecting in " + std::to_string(seconds) + " s";
}

}  // namespace

void ViewController::animationTimer() {
    const auto now = Clock::now();
    for (int d = 0; d < kMaxDvrs; ++d) {
        // Cleared before the box: timers run inside a modal box, and one loss is one message.
        if (slots_[d]->NetCtrl.TakeReportedLoss()) {
            LossReported(d, now);
        } else {
            FollowReconnect(d, now);
        }
    }
    UpdatePaneMarks(Clock::now());
}

void ViewController::LossReported(int dvr, Clock::time_point now) {
    DvrSlot& slot = Slot(dvr);
    DvrSlot::Reconnect& rc = slot.reconnect;
    rc.lost = true;
    if (slot.NetCtrl.ViewOrBack.load() == VIEW_PLAYBACK) {
        // A playback session is not started again behind the operator's back.
        if (PlaybackPort* port = session_.port()) {
            port->ConnectionLost(dvr);
        }
    } else if (dvr < list_.count() && ui_.ReconnectAutomatically(dvr)) {
        // A session that came back and dropped again soon goes on with the longer waits.
        const bool steady = !rc.upSince || now - *rc.upSince >= limits.reconnectSteady;
        if (!rc.pending && steady) {
            rc.attempts = 0;
        }
        rc.upSince.reset();
        ScheduleReconnect(dvr, now);
    } else {
        rc.upSince.reset();
        rc.attempts = 0;
    }
    ui_.ReloadTree();
    UpdatePaneMarks(now);  // the panes say so at once, not after the box
    // The box opens after this tick: reconnects, marks and other DVRs' losses go on while it
    // waits for the operator. A DVR lost again while its box is open gets no second one.
    if (!rc.boxOpen) {
        rc.boxOpen = true;
        ui_.MessageBoxLater(std::string(TextOf(EntryCopy(dvr).server)), "Net error",
                            [this, dvr, alive = std::weak_ptr<const bool>(alive_)] {
                                if (alive.lock()) {
                                    Slot(dvr).reconnect.boxOpen = false;
                                }
                            });
    }
}

void ViewController::ScheduleReconnect(int dvr, Clock::time_point now) {
    DvrSlot::Reconnect& rc = Slot(dvr).reconnect;
    random_ = random_ * 6364136223846793005ull + 1442695040888963407ull;
    const double spread = static_cast<double>(random_ >> 11) / 9007199254740992.0 * 2.0 - 1.0;
    rc.due = now + ReconnectDelay(rc.attempts, limits.reconnectFirst, limits.reconnectLongest,
                                  limits.reconnectJitter, spread);
    rc.pending = true;
    rc.inFlight = false;
    rc.shownSeconds = -1;
    FollowReconnect(dvr, now);
}

void ViewController::FollowReconnect(int dvr, Clock::time_point now) {
    DvrSlot& slot = Slot(dvr);
    DvrSlot::Reconnect& rc = slot.reconnect;
    if (!rc.pending) {
        return;
    }
    if (rc.inFlight) {
        if (slot.AttemptRunning()) {
            return;
        }
        rc.inFlight = false;
        if (slot.NetCtrl.NetWorking.load() == 1) {
            QLog("DVR %d reconnected after %d attempts", dvr, rc.attempts);
            const int attempts = rc.attempts;
            EndReconnect(rc);
            rc.attempts = attempts;
            rc.upSince = now;
            AdjustDvrs(dvr, dvr + 1);  // the channels the view shows, as before the loss
            return;
        }
        if (Refused(slot.LastLogin())) {
            EndReconnect(rc);  // its box was shown: the operator acts
            rc.lost = true;
            showDVRName(dvr);
            return;
        }
        ScheduleReconnect(dvr, now);
        return;
    }
    if (now >= rc.due) {
        ++rc.attempts;
        rc.inFlight = true;
        rc.shownSeconds = -1;
        slot.NetCtrl.SetView(VIEW_LIVE);
        slot.StartConnectAttempt(/*quiet=*/true);
        return;
    }
    const int seconds = SecondsUntil(rc.due, now);
    if (seconds != rc.shownSeconds) {
        rc.shownSeconds = seconds;
        ChangeView(dvr, Countdown(TextOf(EntryCopy(dvr).showName), seconds));
    }
}

void ViewController::CancelReconnect(int dvr) {
    if (dvr < 0 || dvr >= kMaxDvrs) {
        return;
    }
    DvrSlot& slot = Slot(dvr);
    DvrSlot::Reconnect& rc = slot.reconnect;
    const bool pending = rc.pending;
    if (rc.inFlight) {
        slot.CancelAttempts();
    }
    EndReconnect(rc);
    if (pending) {
        showDVRName(dvr);
    }
}

// ---- Pane marks ----

PaneMark ViewController::MarkFor(int pane, const SCREEN_SHOW_CTRL& layout, Clock::time_point now) {
    if (layout.m_screenRect[pane].iOnShow != 1) {
        return {};
    }
    // The DVR and channel the pane shows.
    int dvr = -1;
    int channel = -1;
    if (m_selfChannelEffectFlag.load() != 0) {
        const int32_t code = layout_.ShownCode(pane);
        if (code >= 0 && code / 100 < list_.count()) {
            dvr = code / 100;
            channel = code % 100;
        }
    } else {
        dvr = focusID.load();
        channel = pane;
    }
    if (dvr < 0 || dvr >= list_.count() || channel < 0 || channel >= kMaxChannels) {
        return {};
    }
    DvrSlot& slot = Slot(dvr);
    const NetCtrl_Struct& b = slot.NetCtrl;
    if (b.ViewOrBack.load() == VIEW_PLAYBACK) {
        if (pane >= kPlaybackBands) {
            return {};
        }
        channel = -1;  // the channel this playback pane plays
        for (int c = 0; c < kMaxChannels; ++c) {
            if (GetChangedChannel(c, dvr) == pane) {
                channel = c;
                break;
            }
        }
        if (channel < 0) {
            return {};
        }
    }
    // A camera the DVR does not have (its count is known from a login) shows nothing of it, so
    // its pane says nothing of the DVR either: not lost, not old.
    const int32_t cameras = b.iDvrChannel.load() % 100;
    if (cameras > 0 && channel >= cameras) {
        return {};
    }
    const SAVE_INFO_STRUCT entry = EntryCopy(dvr);
    const int32_t status = b.CurNetStatus.load();
    if (status == NET_ERROR || slot.reconnect.pending || slot.reconnect.lost) {
        // An attempt under way may wait for a silent DVR's login reply for seconds: it says so.
        const std::string text =
            !slot.reconnect.pending ? "Offline"
            : slot.reconnect.inFlight
                ? "Reconnecting now"
                : "Reconnecting in " + std::to_string(SecondsUntil(slot.reconnect.due, now)) + " s";
        return {PaneMark::Kind::Offline, std::string(TextOf(entry.showName)), text};
    }
    if (status == NET_DISCONNECTED) {
        return {PaneMark::Kind::Cleared, {}, {}};
    }
    // Nor is any camera of a DVR that never told its count: none was going to send.
    if (!slot.Streaming() || (slot.AskedChannels() & (1u << channel)) == 0 || cameras <= 0) {
        return {};
    }
    const int64_t last = b.stats[channel].lastPictureAt.load();
    const int64_t since = std::max(last, slot.AskedSince(channel));
    const auto interval = std::chrono::nanoseconds(1'000'000'000LL * kStaleIntervals /
                                                   std::max(StreamFrameRate(entry.frame_rate), 1));
    const auto threshold = std::max<std::chrono::nanoseconds>(interval, kStaleFloor);
    if (since == 0 || Nanos(now) - since <= threshold.count()) {
        return {};
    }
    return {PaneMark::Kind::Stale, {}, "No video since " + LocalTimeOf(since, now)};
}

void ViewController::UpdatePaneMarks(Clock::time_point now) {
    DisplayPort* display = display_.load();
    if (!display) {
        return;
    }
    const SCREEN_SHOW_CTRL layout = layout_.LayoutCopy();
    for (int p = 0; p < kPanes; ++p) {
        const PaneMark mark = MarkFor(p, layout, now);
        // A mark is handed over again every tick: a late picture may have taken it off.
        if (mark == marksShown_[p] && mark.kind == PaneMark::Kind::None) {
            continue;
        }
        marksShown_[p] = mark;
        display->MarkPane(p, layout.m_screenRect[p].FrameRect, mark);
    }
}
