// The controller: its parts, the forwards to them, and the operations that cross parts.
#include "core/ViewController.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/decode/PixelConversion.h"
#include "core/directory/UserListFile.h"
#include "core/dvr/DvrSlot.h"
#include "core/net/Lookup.h"
#include "core/support/FixedText.h"
#include "core/support/Log.h"

namespace {

const char* const kNoMemoryText = "Not enough memory to show this DVR.";

bool ValidDvr(int dvr) {
    return dvr >= 0 && dvr < kMaxDvrs;
}

// The page list of one map search; large, so it lives on the heap.
struct SearchPage {
    RecordListPage entries;
};

}  // namespace

ViewController::ViewController(UiPort& ui) : ui_(ui) {
    const SlotContext context{ui_, list_, limits, mutex, cancel_, *this};
    for (int d = 0; d < kMaxDvrs; ++d) {
        slots_[d] = std::make_unique<DvrSlot>(d, context);
    }
}

ViewController::~ViewController() {
    StopDvrThreads();
}

DvrSlot& ViewController::Slot(int dvr) {
    return *slots_[std::clamp(dvr, 0, kMaxDvrs - 1)];
}

DvrSlot& ViewController::SlotOf(const NetCtrl_Struct& b) {
    return Slot(b.NetID.load());
}

NetCtrl_Struct& ViewController::GetNetCtrlStruct(int dvr) {
    return Slot(dvr).NetCtrl;
}

void ViewController::SetDisplayPort(DisplayPort* port) {
    display_.store(port);
}

void ViewController::SetPlaybackPort(PlaybackPort* port) {
    playbackPort_.store(port);
}

// ---- Main controller ----

int32_t ViewController::GetCurrentDVR() {
    return ui_.selectedDvr();
}

void ViewController::SetFocusFromTree() {
    focusID.store(GetCurrentDVR());
    m_selfChannelEffectFlag.store(0);
}

bool ViewController::AttemptRunning(int dvr) const {
    return ValidDvr(dvr) && slots_[dvr]->AttemptRunning();
}

int ViewController::ChosenDvrReady() {
    const int d = GetCurrentDVR();
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
    const int d = ChosenDvrReady();
    if (d < 0) {
        return;
    }
    OvertakeQuietAttempt(d);
    Slot(d).NetCtrl.SetView(VIEW_LIVE);
    QLog("ConnectDVR dvrPath=%d", d);
    Slot(d).StartConnectAttempt();
}

void ViewController::NetPlayBack() {
    const int d = ChosenDvrReady();
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
        ui_.setDvrLabel(std::string(TextOf(EntryCopy(d).showName)));
        // Before the new layout's generation: a display thread that sees it sees this view.
        m_selfChannelEffectFlag.store(0);
        SetShowMaxNum(36);
        SetScreenWindow(36);
        AllNetServerAdjust();
        Hide36MoreButton();
    } else {
        ui_.setDvrLabel("ALL DVR");
        SetShowMaxNum(256);
        m_selfChannelEffectFlag.store(1);
        Show36MoreButton();
        // 4 then 36, so that the 36-pane split starts on its first page.
        SetScreenWindow(4);
        SetScreenWindow(36);
        AllNetServerAdjust();
    }
}

NodeIcon ViewController::NodeIconFor(int dvr) const {
    if (!ValidDvr(dvr)) {
        return NodeIcon::Disconnected;
    }
    const NetCtrl_Struct& b = slots_[dvr]->NetCtrl;
    const int32_t status = b.CurNetStatus.load();
    if (status == NET_DISCONNECTED || status == NET_ERROR) {
        return NodeIcon::Disconnected;
    }
    return b.iUsermode.load() == kSuperUserMode ? NodeIcon::SuperUser : NodeIcon::User;
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
    ui_.messageBox(std::nullopt, text);
}

void ViewController::MessageBoxAbout(const SAVE_INFO_STRUCT& entry, const std::string& text) {
    ui_.messageBox(std::string(TextOf(entry.server)), text);
}

void ViewController::ChangeView(int dvr, const std::string& name) {
    ui_.setNodeTitle(dvr, name);
}

void ViewController::showDVRName(int dvr) {
    ui_.setNodeTitle(dvr, std::string(TextOf(EntryCopy(dvr).showName)));
}

// ---- Split-screen layout ----

int32_t ViewController::InitScreenCtrl(int32_t maximum, int32_t split) {
    if (layout_.Init(maximum, split) != 0) {
        return -1;
    }
    GetScreenRect();
    return 0;
}

int32_t ViewController::SetScreenWindow(int32_t split) {
    if (layout_.Select(split) != 0) {
        return -1;
    }
    GetScreenRect();
    return 0;
}

void ViewController::GetScreenRect() {
    DisplayPort* display = display_.load();
    if (!display) {
        return;
    }
    layout_.ComputeRects(display->surfaceBounds());
    display->clearScreen(layout_.Generation());
    for (PaneMark& shown : marksShown_) {
        shown = PaneMark{};  // the clear took them off
    }
}

void ViewController::SurfaceResized() {
    GetScreenRect();
}

std::optional<ViewController::PaneSource> ViewController::SourceOfPane(int pane) const {
    if (pane < 0 || pane >= kPanes) {
        return std::nullopt;
    }
    const int focus = focusID.load();
    if (focus >= 0) {
        if (pane >= kMaxChannels || focus >= list_.count()) {
            return std::nullopt;
        }
        if (slots_[focus]->NetCtrl.ViewOrBack.load() == VIEW_PLAYBACK) {
            // The four playback panes show the chosen channels at the played time.
            const int32_t channel = playback_.BandChannel(focus, pane);
            if (channel < 0) {
                return std::nullopt;
            }
            return PaneSource{focus, channel, playback_.Played(focus)};
        }
        return PaneSource{focus, pane};
    }
    const int32_t code = layout_.SelfChannel(pane);
    const int dvr = code / 100;
    const int channel = code % 100;
    if (code < 0 || dvr >= list_.count() || channel >= kMaxChannels) {
        return std::nullopt;
    }
    return PaneSource{dvr, channel};
}

void ViewController::SetShowMaxNum(int32_t maximum) {
    layout_.SetShowMaxNum(maximum);
}

SCREEN_SHOW_CTRL ViewController::LayoutCopy() const {
    return layout_.LayoutCopy();
}

void ViewController::doSomethingForButton(int32_t split) {
    QLog("doSomethingForButton%d", split);
    SetScreenWindow(split);
    AllNetServerAdjust();
}

void ViewController::NextPage() {
    const int32_t split = LayoutCopy().iShowChanNum;
    if (split > 1) {
        doSomethingForButton(split);  // a press of the split shown turns its page
    }
}

void ViewController::ShowSplitPage(int32_t split, int32_t page) {
    if (layout_.SelectPage(split, page) == 0) {
        GetScreenRect();
        AllNetServerAdjust();
    }
}

void ViewController::PreviousPage() {
    if (layout_.SelectPreviousPage() == 0) {
        GetScreenRect();
        AllNetServerAdjust();
    }
}

bool ViewController::MoveSelection(int dx, int dy) {
    return layout_.MoveSelection(dx, dy);
}

void ViewController::ZoomSelected() {
    if (layout_.ZoomSelected()) {
        GetScreenRect();
        AllNetServerAdjust();
    }
}

void ViewController::DoLeftMouseButton(float x, float y) {
    if (layout_.ZoomAt(x, y)) {
        GetScreenRect();
        AllNetServerAdjust();
    }
    QLog("DoLeftMouseButton");
}

void ViewController::WriteSelfChannel(int pane, int32_t code) {
    layout_.WriteSelfChannel(pane, code);
}

int32_t ViewController::ReadSelfChannelChan(int32_t code) const {
    return layout_.ReadSelfChannelChan(code);
}

int32_t ViewController::GetChangedChannel(int32_t channel, int dvr) const {
    return playback_.GetChangedChannel(channel, dvr);
}

void ViewController::AutoSetDvrDisplay(int dvr, int position) {
    // A negative count from a DVR counts as none; panes past 255 do not exist.
    const int32_t count = std::max(Slot(dvr).NetCtrl.iDvrChannel.load() % 100, 0);
    QLog("AutoSetDvrDisplay=%d %d", count, dvr);
    for (int32_t c = 0; c < count && position + c < kPanes; ++c) {
        WriteSelfChannel(position + c, dvr * 100 + c);
    }
}

void ViewController::AutoSetDisplay() {
    int position = 0;
    for (int d = 0; d < list_.count() && d < kMaxDvrs; ++d) {
        const NetCtrl_Struct& b = Slot(d).NetCtrl;
        const int32_t status = b.CurNetStatus.load();
        if (status != NET_DISCONNECTED && status != NET_ERROR) {
            AutoSetDvrDisplay(d, position);
            position += std::max(b.iDvrChannel.load() % 100, 0);
        }
    }
    // A pane given to another camera shows nothing of the one it had: the surface is cleared
    // and pictures placed under the old assignment are dropped.
    GetScreenRect();
    AllNetServerAdjust();
    UnloadUserInfoToFile();
}

void ViewController::Show36MoreButton() {
    if (DisplayPort* display = display_.load()) {
        display->enableLargeSplits(true);
    }
}

void ViewController::Hide36MoreButton() {
    if (DisplayPort* display = display_.load()) {
        display->enableLargeSplits(false);
    }
}

// ---- Live-view control ----
// The masks are taken from the layout now; the records go out on the DVR's command thread, where a
// newer adjustment replaces one that has not started.

void ViewController::ActiveNetServerAdjust(int dvr) {
    // Single-DVR view: pane i shows channel i, so the shown panes 0 to 31 are the channels.
    const SAVE_INFO_STRUCT entry = EntryCopy(dvr);
    const uint32_t mask = layout_.ShownChannels() & entry.cam;
    DvrSlot& slot = Slot(dvr);
    slot.Post([&slot, mask, audio = entry.send_sound] { slot.AdjustActive(mask, audio); }, true);
}

void ViewController::NotActiveNetServerAdjust(int dvr) {
    DvrSlot& slot = Slot(dvr);
    slot.Post([&slot] { slot.AdjustNotActive(); }, true);
}

void ViewController::AllNetServerAdjust() {
    AdjustDvrs(0, list_.count());
}

void ViewController::AdjustDvrs(int from, int to) {
    const int focus = focusID.load();
    const bool shown = m_selfChannelEffectFlag.load() != 0;
    const uint32_t shownChannels = layout_.ShownChannels();
    const uint32_t* wanted = shown ? layout_.WantedChannels() : nullptr;
    if (shown) {
        QLog("ShowNetServerAdjust");
    }
    for (int d = std::max(from, 0); d < to && d < list_.count() && d < kMaxDvrs; ++d) {
        DvrSlot& slot = Slot(d);
        const SAVE_INFO_STRUCT entry = EntryCopy(d);
        // A DVR in remote playback is left alone by the view's own adjustment.
        const bool playback = slot.NetCtrl.ViewOrBack.load() == VIEW_PLAYBACK;
        const bool active = focus < 0 || focus == d;
        const uint32_t mask = shownChannels & entry.cam;
        const uint32_t want = wanted ? wanted[d] : 0;
        // One job per DVR, so that the records of one change go out together and in order.
        slot.Post(
            [&slot, playback, active, shown, mask, want, cam = entry.cam,
             audio = entry.send_sound] {
                // A DVR in remote playback is left alone by the live view's adjustments, in
                // either view: they would end its playback.
                if (playback) {
                    return;
                }
                if (active) {
                    slot.AdjustActive(mask, audio);
                } else {
                    slot.AdjustNotActive();
                }
                if (shown) {
                    slot.AdjustShown(want & cam, want, audio);
                }
            },
            true);
    }
}

void ViewController::ShowNetServerAdjust() {
    if (m_selfChannelEffectFlag.load() == 0) {
        return;
    }
    QLog("ShowNetServerAdjust");
    const uint32_t(&wanted)[kPanes] = layout_.WantedChannels();
    for (int d = 0; d < list_.count() && d < kMaxDvrs; ++d) {
        DvrSlot& slot = Slot(d);
        if (slot.NetCtrl.ViewOrBack.load() == VIEW_PLAYBACK) {
            continue;  // the live view's adjustment would end its playback
        }
        const SAVE_INFO_STRUCT entry = EntryCopy(d);
        const uint32_t want = wanted[d];
        slot.Post([&slot, mask = want & entry.cam, want,
                   audio = entry.send_sound] { slot.AdjustShown(mask, want, audio); },
                  true);
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

int32_t ViewController::LoadUserInfoFromFile() {
    const std::string path = ListFilePath();
    // Loading starts from the tables as they are: what a short file lacks keeps its value.
    auto image = std::make_unique<UserListImage>();
    list_.CopyInto(*image);
    layout_.CopyCodes(image->codes);
    int error = 0;
    if (ReadUserList(path, *image, &error) < 0) {
        QLog("file open error!");
        if (error != ENOENT) {
            // A list that is there but cannot be read is never written over: the operator's
            // DVRs may all be in it.
            listUnreadable_ = true;
            MessageBox("The DVR list " + path + " could not be read (" + std::strerror(error) +
                       "). The list starts empty and no change is saved until the next start.");
        }
        return -1;
    }
    const int used = NormaliseUserList(*image);
    list_.LoadFrom(*image, used);
    layout_.LoadCodes(image->codes);
    for (int i = 0; i < used; ++i) {
        ui_.appendNode(std::string(TextOf(image->entries[i].showName)));
    }
    QLog("%s", path.c_str());
    return 1;
}

int32_t ViewController::UnloadUserInfoToFile() {
    const std::string path = ListFilePath();
    if (listUnreadable_) {
        QLog("the DVR list %s was not read: not saved", path.c_str());
        return -1;
    }
    auto image = std::make_unique<UserListImage>();
    list_.CopyInto(*image);
    layout_.CopyCodes(image->codes);
    if (!WriteUserList(path, *image)) {
        QLog("file open error!");
        // The change stays in memory; the operator must know it is not on disk.
        MessageBox("The DVR list could not be saved to " + path + ".");
        return -1;
    }
    QLog("%s", path.c_str());
    return 1;
}

int32_t ViewController::AddDVRNode(const std::string& server, const std::string& user,
                                   const std::string& pass, const std::string& showName) {
    if (list_.count() >= kMaxDvrs) {
        MessageBox("The list is full: at most 64 DVRs can be saved.");
        return -1;
    }
    const SAVE_INFO_STRUCT entry = NewSaveInfo(server, user, pass, showName);
    ui_.appendNode(std::string(TextOf(entry.showName)));
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
    if (!ui_.confirm("Delete the server?", which + "Deleted server cannot be restored.")) {
        return;
    }
    ui_.removeNode(i);
    // From here on, attempts under way for these slots belong to DVRs that moved or are gone.
    for (int d = i; d < kMaxDvrs; ++d) {
        slots_[d]->reconnect = DvrSlot::Reconnect{};
        slots_[d]->Renumbered();
    }
    list_.moveUser(i);
    layout_.DvrRemoved(i);
    ui_.clearSelection();
    ui_.reloadTree();
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

// ---- A DVR's slot ----

int32_t ViewController::PrepareDvr(int dvr) {
    if (!ValidDvr(dvr)) {
        return -1;
    }
    // Without a video surface (the probe, a benchmark) the caller takes the pictures itself.
    return Slot(dvr).Prepare(display_.load() != nullptr);
}

int32_t ViewController::initNet(NetCtrl_Struct& b, int dvr) {
    (void)b;
    return ValidDvr(dvr) ? Slot(dvr).initNet() : -1;
}

void ViewController::StartReceiveThread(int dvr) {
    if (ValidDvr(dvr)) {
        Slot(dvr).StartReceiveThread(display_.load() != nullptr);
    }
}

void ViewController::StopDvrThreads() {
    // What the operator's last commands queued (a held PTZ button's release above all: the
    // camera would go on moving) goes out first; a DVR that does not take it is not waited for
    // long.
    CommandsIdle(std::chrono::milliseconds(1000));
    // Every wait for a peer ends now: connects, lookups, login replies, pauses.
    cancel_.raise();
    playback_.stop();  // a waiting request ends at the signal
    for (auto& slot : slots_) {
        slot->Stop();
    }
}

status::Connect ViewController::NetConnect(NetCtrl_Struct& b, int dvr) {
    (void)b;
    return Slot(dvr).NetConnect();
}

status::Connect ViewController::ConnectAndReport(NetCtrl_Struct& b, int dvr) {
    (void)b;
    return Slot(dvr).ConnectAndReport();
}

status::Login ViewController::SetParameter(NetCtrl_Struct& b, int dvr) {
    (void)b;
    return Slot(dvr).SetParameter();
}

status::Lookup ViewController::GetDvrIP(const std::string& lookupHost,
                                        const std::string& identifier, NET_REQUEST& r) {
    return LookupDvr(lookupHost, identifier, r, limits, cancel_.fd());
}

int32_t ViewController::SendData(NetCtrl_Struct& b, const void* data, int len) {
    return SlotOf(b).SendData(data, len);
}

int32_t ViewController::ReadData(NetCtrl_Struct& b, void* data, int len,
                                 std::optional<std::chrono::milliseconds> limit) {
    return SlotOf(b).ReadData(data, len, limit);
}

int32_t ViewController::Disconnect(NetCtrl_Struct& b) {
    return SlotOf(b).Disconnect();
}

int32_t ViewController::CloseSocket(NetCtrl_Struct& b) {
    return SlotOf(b).CloseSocket();
}

void ViewController::SetRecCmd(NetCtrl_Struct& b, int32_t subtype) {
    SlotOf(b).SetRecCmd(subtype);
}

int32_t ViewController::WaitRecCmd(NetCtrl_Struct& b) {
    return SlotOf(b).WaitRecCmd();
}

int32_t ViewController::IsNet_NET_DATA_SEND(const NetCtrl_Struct& b) const {
    return slots_[std::clamp(b.NetID.load(), 0, kMaxDvrs - 1)]->IsNet_NET_DATA_SEND();
}

void ViewController::NetLocalViewPlay(NetCtrl_Struct& b, uint32_t cam, int32_t audio) {
    SlotOf(b).NetLocalViewPlay(cam, audio);
}

void ViewController::StopNetLocalView(NetCtrl_Struct& b) {
    SlotOf(b).StopNetLocalView();
}

void ViewController::CreateNetKeyFrame(NetCtrl_Struct& b) {
    SlotOf(b).CreateNetKeyFrame();
}

// ---- Drawing a picture ----

void ViewController::Present(int dvr, const NET_FRAME_HEADER& h, const uint8_t* pixels,
                             int64_t arrived) {
    DisplayPort* display = display_.load();
    if (!display || !layout_.AVDataFrame.allocated()) {
        return;
    }
    // The layout's generation first: a view change writes the view, the focus and the panes'
    // assignment before it starts a new generation, so what is read after this is at least as
    // new, and a picture placed by an older view than the one it is drawn in is dropped below.
    const uint32_t seen = layout_.Generation();
    const bool allDvrView = m_selfChannelEffectFlag.load() != 0;
    if (dvr != focusID.load() && !allDvrView) {
        return;  // not shown in the single-DVR view of another DVR
    }
    const NetCtrl_Struct& b = Slot(dvr).NetCtrl;
    if (!b.LoggedIn()) {
        return;  // pictures still queued when the session ended: its panes say why they stopped
    }
    const bool playback = b.ViewOrBack.load() == VIEW_PLAYBACK;
    // A picture belongs to the session it came in: a live one still queued when the playback
    // began, or a played one after the session ended, has no pane to go to.
    if (playback != (h.spare == kPlayedPicture)) {
        return;
    }
    if (playback) {
        // Reported whether or not the picture's pane is shown: the window follows the play.
        const auto second = static_cast<int32_t>(h.timeSec % kDaySeconds);
        playback_.SetPlayed(dvr, second);
        if (PlaybackPort* port = playbackPort_.load()) {
            port->SetTimeNow(dvr, second);
        }
    }
    // A played picture belongs in its band of the DVR's own view; the all-DVR view's panes are
    // live cameras, and a recording shown there would pass for one.
    if (playback && allDvrView) {
        return;
    }
    const int32_t channel = h.channel;
    int32_t target = GetChangedChannel(channel, dvr);
    if (target < 0) {
        target = channel;
    }
    int32_t pane = channel;
    if (allDvrView) {
        pane = ReadSelfChannelChan(dvr * 100 + channel);
    }
    // The pane it is drawn in owns the buffer it is written to: marks, the selection's frame and
    // snapshots of that pane read the same picture.
    const int32_t drawnIn = playback ? target : pane;
    if (drawnIn < 0 || drawnIn >= kPanes) {
        return;
    }
    // The rectangle and its layout's generation together: a picture placed before a layout change
    // that has not reached the surface yet is dropped there, not drawn into an old rectangle.
    uint32_t generation = 0;
    const std::optional<PaneRect> rect = layout_.ShownRect(drawnIn, &generation);
    if (!rect || generation != seen) {
        return;
    }
    PaneBuffers::Pane& buffer = layout_.AVDataFrame[drawnIn];
    std::lock_guard<std::mutex> g(buffer.lock);
    DataChange(buffer.pixels, pixels, h.imageSize);
    buffer.sizeFrame = h.imageSize;
    buffer.arrivedAt = arrived;
    ++buffer.version;
    display->renderCurrentFrame(*rect, drawnIn, generation);
}

// ---- Record search and playback ----

int32_t ViewController::GetMachineDiskInfo(NetCtrl_Struct& b) {
    return SlotOf(b).GetMachineDiskInfo();
}

int32_t ViewController::TimeToSearchRecList(NetCtrl_Struct& b, int32_t dateKey,
                                            RecordListPage* list, int32_t page) {
    return SlotOf(b).TimeToSearchRecList(dateKey, list, page);
}

int32_t ViewController::NetPlayFile(NetCtrl_Struct& b, int32_t time1, int32_t time2, uint32_t cam,
                                    int32_t sound, int32_t fast) {
    return SlotOf(b).NetPlayFile(time1, time2, cam, sound, fast);
}

int32_t ViewController::StopNetPlayFile(NetCtrl_Struct& b) {
    return SlotOf(b).StopNetPlayFile();
}

void ViewController::PlaybackSessionUp(int dvr, const SAVE_INFO_STRUCT& entry) {
    NetCtrl_Struct& b = Slot(dvr).NetCtrl;
    RequestRunner* requests = playback_.requests(dvr);
    // The window is open from here on: a map the operator asks for while the disk information
    // is still on its way wins over today's default one below.
    const int mark = requests ? requests->postedCount(RequestRunner::Kind::TimeMap) : 0;
    if (PlaybackPort* port = playbackPort_.load()) {
        const int channels = std::clamp(b.iDvrChannel.load() % 100, 0, kMaxChannels);
        port->Open(dvr, std::string(TextOf(entry.server)), channels);
    }
    ConnectedMacSetInit(b);
    // Today's map goes the way of the window's own searches: it never lands in a window opened
    // for another DVR.
    if (requests) {
        requests->postUnlessPostedSince(
            RequestRunner::Kind::TimeMap,
            TimeMapJob(dvr, std::time(nullptr), BandSelection{1, 0, 0, 0}), mark);
    }
}

int32_t ViewController::ConnectedMacSetInit(NetCtrl_Struct& b) {
    DvrSlot& slot = SlotOf(b);
    if (b.CurNetStatus.load() != NET_CONNECTED) {
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

int32_t ViewController::SetDiskTimeRect(NetCtrl_Struct& b, std::time_t date,
                                        const BandSelection& cam,
                                        const std::atomic<bool>* superseded) {
    DvrSlot& slot = SlotOf(b);
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
    // The page list belongs to this search: searches of other DVRs run on other threads.
    auto page = std::make_unique<SearchPage>();
    const int32_t pages = slot.TimeToSearchRecList(key, &page->entries, 0);
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
        // An unanswered page ends the search: the map shows what arrived.
        if (slot.TimeToSearchRecList(key, &page->entries, p) <= 0) {
            QLog("SetDiskTimeRect  page %d unanswered", p);
            break;
        }
        MarkPage(map, page->entries, a, day);
    }
    if (superseded && superseded->load()) {
        return 0;
    }
    QLog("CreatePicture");
    if (port) {
        port->CreatePicture(dvr, map);
    }
    return 1;
}

RequestRunner::Job ViewController::TimeMapJob(int dvr, std::time_t date, const BandSelection& cam) {
    return [this, dvr, date, cam](const std::atomic<bool>& superseded) {
        SetDiskTimeRect(Slot(dvr).NetCtrl, date, cam, &superseded);
    };
}

void ViewController::RequestTimeMap(int dvr, std::time_t date, const BandSelection& cam) {
    if (RequestRunner* requests = playback_.requests(dvr)) {
        requests->post(RequestRunner::Kind::TimeMap, TimeMapJob(dvr, date, cam));
    }
}

void ViewController::RequestPlay(int dvr, int32_t startSecond, uint32_t mask, int32_t sound,
                                 int32_t fast) {
    if (RequestRunner* requests = playback_.requests(dvr)) {
        requests->post(RequestRunner::Kind::Play, [=, this](const std::atomic<bool>&) {
            DvrSlot& slot = Slot(dvr);
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

void ViewController::RequestStopPlay(int dvr) {
    if (RequestRunner* requests = playback_.requests(dvr)) {
        requests->post(RequestRunner::Kind::Play,
                       [this, dvr](const std::atomic<bool>&) { Slot(dvr).StopNetPlayFile(); });
    }
}

void ViewController::EndPlayback(int dvr) {
    if (!ValidDvr(dvr) || Slot(dvr).NetCtrl.ViewOrBack.load() != VIEW_PLAYBACK) {
        return;
    }
    DvrSlot& slot = Slot(dvr);
    RequestRunner* requests = playback_.requests(dvr);
    if (requests) {
        // A play still queued is dropped: nothing starts playing after the session ended.
        requests->post(RequestRunner::Kind::Play, [](const std::atomic<bool>&) {});
    }
    // Live from now on for the view's adjustments, which the command thread runs after this
    // job: a play request still running ends first (it would set the playback again), then the
    // stop record goes out if the DVR plays, all before the live view is asked for.
    slot.NetCtrl.SetView(VIEW_LIVE);
    slot.Post([&slot, requests] {
        if (requests) {
            requests->waitIdle(std::chrono::seconds(8));
        }
        slot.StopNetPlayFile();
        slot.NetCtrl.SetView(VIEW_LIVE);
    });
    if (focusID.load() == dvr) {
        GetScreenRect();  // the played pictures go with their session
    }
    AdjustDvrs(dvr, dvr + 1);
}

void ViewController::ClearPlayedPanes(int dvr) {
    if (ValidDvr(dvr) && focusID.load() == dvr &&
        Slot(dvr).NetCtrl.ViewOrBack.load() == VIEW_PLAYBACK) {
        GetScreenRect();
    }
}

bool ViewController::PlaybackRequestsIdle(std::chrono::milliseconds limit) {
    return playback_.waitIdle(limit);
}
