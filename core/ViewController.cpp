// The controller: its parts, the operations that cross them (connecting, the view's changes and
// the live-view adjustments that follow them, the list's changes, the end of a playback session).
#include "core/ViewController.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

#include "core/decode/DecodePool.h"
#include "core/dvr/DvrSlot.h"
#include "core/support/FixedText.h"
#include "core/support/Log.h"

namespace {

const char* const kNoMemoryText = "Not enough memory to show this DVR.";

}  // namespace

ViewController::ViewController(UiPort& ui) : ui_(ui), decodePool_(std::make_unique<DecodePool>()) {
    const SlotContext context{ui_, list_, limits, mutex, cancel_, *this, *decodePool_};
    for (int d = 0; d < kMaxDvrs; ++d) {
        slots_[d] = std::make_unique<DvrSlot>(d, context);
    }
}

ViewController::~ViewController() {
    StopDvrThreads();
}

DvrSlot& ViewController::Slot(int dvr) {
    return const_cast<DvrSlot&>(std::as_const(*this).Slot(dvr));
}

const DvrSlot& ViewController::Slot(int dvr) const {
    // A number outside the table is a caller's fault: quietly taking another DVR's slot would
    // send its commands to the wrong DVR.
    if (!ValidDvr(dvr)) {
        throw std::out_of_range("no DVR slot " + std::to_string(dvr));
    }
    return *slots_[dvr];
}

void ViewController::SetDisplayPort(DisplayPort* port) {
    display_.store(port);
}

// ---- Main controller ----

int32_t ViewController::GetCurrentDVR() {
    return ui_.SelectedDvr();
}

void ViewController::SetFocusFromTree() {
    focusID.store(GetCurrentDVR());
    m_selfChannelEffectFlag.store(0);
}

int ViewController::DvrReady(int d) {
    if (d < 0 || d >= list_.count() || (ValidDvr(d) && Slot(d).OperatorAttemptRunning())) {
        return -1;  // nothing chosen, or the operator's attempt for it is under way already
    }
    if (PrepareDvr(d) != 1) {
        MessageBox(kNoMemoryText, d);
        return -1;
    }
    return d;
}

void ViewController::ConnectDVR() {
    ConnectDVR(GetCurrentDVR());
}

void ViewController::ConnectDVR(int dvr) {
    const int d = DvrReady(dvr);
    if (d < 0) {
        return;
    }
    OvertakeQuietAttempt(d);
    Slot(d).NetCtrl.SetView(VIEW_LIVE);
    QLog("ConnectDVR dvrPath=%d", d);
    Slot(d).StartConnectAttempt();
}

void ViewController::NetPlayBack() {
    const int d = DvrReady(GetCurrentDVR());
    if (d < 0) {
        return;
    }
    // One playback window: the session it showed ends before another DVR's begins.
    for (int other = 0; other < kMaxDvrs; ++other) {
        if (other != d) {
            EndPlayback(other);
        }
    }
    DvrSlot& slot = Slot(d);
    if (slot.NetCtrl.ViewOrBack.load() != VIEW_PLAYBACK) {
        // Only a logged-in DVR has a live view to stop; the status of one that is not must stay.
        if (slot.NetCtrl.NetWorking.load() == 1) {
            slot.Post([&slot] { slot.StopNetLocalView(); });
        }
        // The four playback panes are the first page's, whatever split and page show now.
        layout_.SelectFirstPage(4);
        GetScreenRect();
    }
    OvertakeQuietAttempt(d);
    slot.NetCtrl.SetView(VIEW_PLAYBACK);
    QLog("NetPlayBack dvrPath=%d", d);
    slot.StartConnectAttempt();
}

void ViewController::OvertakeQuietAttempt(int dvr) {
    CancelReconnect(dvr);
    // What still runs is a reconnect's quiet attempt (the operator's own would have stopped the
    // command): the operator's attempt starts now rather than after its limits.
    if (Slot(dvr).AttemptRunning()) {
        Slot(dvr).CancelAttempts();
    }
}

void ViewController::DisconnectDVR() {
    const int d = GetCurrentDVR();
    if (ValidDvr(d)) {
        CancelReconnect(d);
        Slot(d).Disconnect();
    }
}

void ViewController::outlineViewSelectionDidChange() {
    const int d = GetCurrentDVR();
    focusID.store(d);
    if (d >= 0) {
        ui_.SetDvrLabel(std::string(TextOf(EntryCopy(d).showName)));
        // Before the new layout's generation: a display thread that sees it sees this view.
        m_selfChannelEffectFlag.store(0);
        SetShowMaxNum(36);
        SetScreenWindow(36);
        AllNetServerAdjust();
        Hide36MoreButton();
    } else {
        ui_.SetDvrLabel("ALL DVR");
        SetShowMaxNum(256);
        m_selfChannelEffectFlag.store(1);
        Show36MoreButton();
        // 4 then 36, so that the 36-pane split starts on its first page.
        SetScreenWindow(4);
        SetScreenWindow(36);
        AllNetServerAdjust();
    }
}

bool ViewController::CommandsIdle(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (auto& slot : slots_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (!slot->CommandsIdle(std::max(left, std::chrono::milliseconds(0)))) {
            return false;
        }
    }
    return true;
}

// ---- Message boxes and tree titles -------------------------------------------------------------

void ViewController::MessageBox(const std::string& text, int dvr) {
    MessageBoxAbout(EntryCopy(dvr), text);
}

void ViewController::MessageBox(const std::string& text) {
    ui_.MessageBox(std::nullopt, text);
}

void ViewController::MessageBoxAbout(const SAVE_INFO_STRUCT& entry, const std::string& text) {
    ui_.MessageBox(std::string(TextOf(entry.server)), text);
}

void ViewController::ChangeView(int dvr, const std::string& name) {
    ui_.SetNodeTitle(dvr, name);
}

void ViewController::showDVRName(int dvr) {
    ui_.SetNodeTitle(dvr, std::string(TextOf(EntryCopy(dvr).showName)));
}

// ---- Live-view control ----
// The masks are taken from the layout now; the records go out on the DVR's command thread, where a
// newer adjustment replaces one that has not started.

LiveViewPlanner ViewController::Planner() const {
    int32_t codes[kPanes];
    layout_.CopyCodes(codes);
    return LiveViewPlanner(layout_.LayoutCopy(), codes, focusID.load(),
                           m_selfChannelEffectFlag.load() != 0);
}

std::vector<LiveViewPlanner::Dvr> ViewController::PlannerDvrs() const {
    std::vector<LiveViewPlanner::Dvr> dvrs;
    for (int d = 0; d < list_.count() && d < kMaxDvrs; ++d) {
        const SAVE_INFO_STRUCT entry = EntryCopy(d);
        dvrs.push_back({entry.cam, entry.send_sound, PlayingBack(d)});
    }
    return dvrs;
}

void ViewController::PostStep(const LiveViewStep& step) {
    DvrSlot& slot = Slot(step.dvr);
    // One job per DVR, so that the records of one change go out together and in order.
    slot.Post(
        [&slot, step] {
            if (step.single == LiveViewStep::Single::Active) {
                slot.AdjustActive(step.activeMask, step.audio);
            } else if (step.single == LiveViewStep::Single::NotActive) {
                slot.AdjustNotActive();
            }
            if (step.shown) {
                slot.AdjustShown(step.shownMask, step.wanted, step.audio);
            }
        },
        true);
}

void ViewController::ActiveNetServerAdjust(int dvr) {
    // Single-DVR view: pane i shows channel i, so the shown panes 0 to 31 are the channels.
    const SAVE_INFO_STRUCT entry = EntryCopy(dvr);
    PostStep(Planner().Active(dvr, {entry.cam, entry.send_sound, false}));
}

void ViewController::NotActiveNetServerAdjust(int dvr) {
    LiveViewStep step;
    step.dvr = dvr;
    step.single = LiveViewStep::Single::NotActive;
    PostStep(step);
}

void ViewController::AllNetServerAdjust() {
    AdjustDvrs(0, list_.count());
}

void ViewController::AdjustDvrs(int from, int to) {
    if (adjustHolds_ > 0) {
        for (int d = std::max(from, 0); d < std::min(to, kMaxDvrs); ++d) {
            heldDvrs_ |= uint64_t{1} << d;
        }
        return;
    }
    if (m_selfChannelEffectFlag.load() != 0) {
        QLog("ShowNetServerAdjust");
    }
    for (const LiveViewStep& step : Planner().Adjust(PlannerDvrs(), from, to)) {
        PostStep(step);
    }
}

void ViewController::HoldAdjustments() {
    ++adjustHolds_;
}

void ViewController::ReleaseAdjustments() {
    if (adjustHolds_ == 0 || --adjustHolds_ > 0) {
        return;
    }
    const uint64_t held = std::exchange(heldDvrs_, 0);
    if (held == 0) {
        return;
    }
    if (m_selfChannelEffectFlag.load() != 0) {
        QLog("ShowNetServerAdjust");
    }
    for (const LiveViewStep& step : Planner().Adjust(PlannerDvrs(), 0, kMaxDvrs)) {
        if ((held >> step.dvr & 1) != 0) {
            PostStep(step);
        }
    }
}

void ViewController::ShowNetServerAdjust() {
    if (m_selfChannelEffectFlag.load() == 0) {
        return;
    }
    QLog("ShowNetServerAdjust");
    for (const LiveViewStep& step : Planner().AdjustShown(PlannerDvrs())) {
        PostStep(step);
    }
}

int32_t ViewController::NetSendPtzValue(int32_t operation, int32_t page, int32_t fileID,
                                        int32_t dvr) {
    NET_COMMAND c = MakeCommand(NET_PTZ, operation, page, fileID);
    QLog("  %d    %d    %d     %d  ", operation, page, fileID, dvr);
    int target = dvr;
    if (dvr < 0) {
        // All-DVR view: `page` is a pane, and the pane's assignment names the DVR and channel. A
        // pane outside the table, or one without an assignment, sends nothing.
        const int32_t code = layout_.SelfChannel(page);
        if (code < 0 || code / 100 >= kMaxDvrs || code / 100 >= list_.count()) {
            return 1;
        }
        c.iParam2 = code % 100;
        target = code / 100;
    }
    if (target < kMaxDvrs) {
        DvrSlot& slot = Slot(target);
        slot.Post([&slot, c] { slot.SendData(&c, sizeof c); });
    }
    return 1;
}

// ---- Saved DVR list ----

int32_t ViewController::AddDVRNode(const std::string& server, const std::string& user,
                                   const std::string& pass, const std::string& showName) {
    if (list_.count() >= kMaxDvrs) {
        MessageBox("The list is full: at most 64 DVRs can be saved.");
        return -1;
    }
    const SAVE_INFO_STRUCT entry = NewSaveInfo(server, user, pass, showName);
    ui_.AppendNode(std::string(TextOf(entry.showName)));
    list_.Append(entry);
    UnloadUserInfoToFile();
    return 1;
}

void ViewController::DeleteUser() {
    const int i = GetCurrentDVR();
    const int count = list_.count();
    if (i < 0 || i >= count) {
        return;
    }
    // The box names the DVR that goes: a right click elsewhere in the tree selects nothing.
    const SAVE_INFO_STRUCT entry = EntryCopy(i);
    const std::string which =
        std::string(TextOf(entry.showName)) + " (" + std::string(TextOf(entry.server)) + ")\n";
    if (!ui_.Confirm("Delete the server?", which + "Deleted server cannot be restored.")) {
        return;
    }
    ui_.RemoveNode(i);
    // From here on, attempts under way for these slots belong to DVRs that moved or are gone.
    for (int d = i; d < kMaxDvrs; ++d) {
        slots_[d]->reconnect = DvrSlot::Reconnect{};
        slots_[d]->Renumbered();
    }
    list_.moveUser(i);
    layout_.DvrRemoved(i);
    ui_.ClearSelection();
    ui_.ReloadTree();
    // Titles posted by attempts that were under way are overtaken by these.
    for (int d = 0; d < list_.count(); ++d) {
        showDVRName(d);
    }
    UnloadUserInfoToFile();
}

void ViewController::SavePropertyEntry(int dvr, const SAVE_INFO_STRUCT& edited) {
    if (!list_.Replace(dvr, edited)) {
        return;
    }
    CancelReconnect(dvr);
    UnloadUserInfoToFile();
    ChangeView(dvr, std::string(TextOf(edited.showName)));
}

// ---- The end of a playback session ----

void ViewController::EndPlayback(int dvr) {
    if (!session_.End(dvr)) {
        return;
    }
    if (focusID.load() == dvr) {
        GetScreenRect();  // the played pictures go with their session
    }
    AdjustDvrs(dvr, dvr + 1);
}

void ViewController::ClearPlayedPanes(int dvr) {
    if (ValidDvr(dvr) && focusID.load() == dvr && PlayingBack(dvr)) {
        GetScreenRect();
    }
}
