// The hub of the system and the target of every command. It is made of parts, each of which owns
// its tables and says in its own header which lock guards what:
//   - 64 DVR slots (core/dvr/DvrSlot.h): control block, decoders, sequence table, replies and the
//     DVR's threads; the connection path, the receive path and the DVR commands;
//   - the DVR list (core/directory/DvrList.h): the saved entries, and the list file that keeps
//     them (core/hub/ListFileKeeper.h);
//   - the screen layout (core/layout/ScreenLayout.h): the split, the pane assignment, the pane
//     buffers; what a layout asks of each DVR is decided by core/layout/LiveViewPlanner.h;
//   - the playback session (core/hub/PlaybackSession.h): the playback panes' channels, the
//     request threads, the searches, play and stop.
// Most operations below forward to one part. Those that cross parts are written here: connecting,
// deleting and the live-view adjustments in core/ViewController.cpp, the view's changes and
// drawing a picture in core/ViewControllerView.cpp, the status timer in
// core/ViewControllerStatus.cpp; the forwards to a slot or the session in
// core/ViewControllerSlots.cpp. Widgets read it through WallQuery (core/ports/WallQuery.h).
//
// Threads. The GUI thread calls every operation unless its group or comment says otherwise; none
// of them waits for a DVR (what is sent goes through the DVR's command thread or the playback
// request thread). "Any thread" operations only read. "Worker" operations block for a DVR (a send
// up to 3 s, a request about 6 s) and are for connect, receive, command or request threads, tests
// and tools. The ports are called from any thread (see core/ports).
//
// DVR numbers. Every operation that takes a DVR number or a control block expects one of this
// controller's 64 (0 to 63); Slot() refuses another with std::out_of_range. Numbers that come
// from the list file or a DVR are bounded before they name a slot.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/directory/DvrList.h"
#include "core/dvr/SlotEvents.h"
#include "core/hub/ListFileKeeper.h"
#include "core/hub/PlaybackSession.h"
#include "core/layout/LiveViewPlanner.h"
#include "core/layout/ScreenLayout.h"
#include "core/net/ConnectionLimits.h"
#include "core/net/NetCtrl.h"
#include "core/ports/DisplayPort.h"
#include "core/ports/UiPort.h"
#include "core/ports/WallQuery.h"
#include "core/support/CancelSignal.h"
#include "core/wire/ResultCodes.h"

class DecodePool;
class DvrSlot;

class ViewController final : public WallQuery, private SlotEvents {
  public:
    explicit ViewController(UiPort& ui);
    ~ViewController() override;  // stops the DVR threads
    ViewController(const ViewController&) = delete;
    ViewController& operator=(const ViewController&) = delete;

    // ---- Parts and ports -----------------------------------------------------------------------
    UiPort& ui() { return ui_; }
    DvrList& list() { return list_; }
    const DvrList& list() const { return list_; }
    ScreenLayout& layout() { return layout_; }
    const ScreenLayout& layout() const { return layout_; }
    DvrSlot& Slot(int dvr);  // 0 to 63; std::out_of_range for another number
    // Both ports are set before any DVR thread starts and cleared after they stopped.
    void SetDisplayPort(DisplayPort* port);
    void SetPlaybackPort(PlaybackPort* port) { session_.SetPort(port); }
    // Time limits of the connection path; set before connecting.
    ConnectionLimits limits;

    // ---- What widgets read (WallQuery; any thread but SourceOfPane) ----------------------------
    SCREEN_SHOW_CTRL LayoutCopy() const override { return layout_.LayoutCopy(); }
    int32_t SelectedPane() const override { return layout_.SelectedPane(); }
    std::optional<PaneRect> ShownRect(int pane) const override { return layout_.ShownRect(pane); }
    int32_t SelfChannel(int pane) const override { return layout_.SelfChannel(pane); }
    int32_t CurrentDVR() const override { return focusID.load(); }
    int32_t showAutoDisplay() const override { return m_selfChannelEffectFlag.load(); }
    std::optional<PaneSource> SourceOfPane(int pane) const override;  // GUI thread
    int32_t DvrCount() const override { return list_.count(); }
    SAVE_INFO_STRUCT EntryCopy(int dvr) const override { return list_.EntryCopy(dvr); }
    NodeIcon NodeIconFor(int dvr) const override;
    bool AttemptRunning(int dvr) const override;
    bool PlayingBack(int dvr) const override;
    ChannelFigures Figures(int dvr, int channel) const override;

    // ---- Main controller -----------------------------------------------------------------------
    int32_t GetCurrentDVR();  // the DVR selected in the tree, -1 for none
    // Start-up: the current DVR from the tree's selection, the single-DVR view's flag.
    void SetFocusFromTree();
    void ConnectDVR();  // the tree's "connectDVR"
    // The same for DVR `dvr` of the list, whatever the tree selects (the start options).
    void ConnectDVR(int dvr);
    void DisconnectDVR();  // the tree's "DisconnectDVR"
    // The tree's selection changed: single-DVR view of the selected DVR, or the all-DVR view.
    void outlineViewSelectionDidChange();
    // The 1-second status timer: reports each DVR whose working connection failed, once.
    void animationTimer();
    // Whether every DVR's command thread has sent what it was given; waits up to `limit`.
    bool CommandsIdle(std::chrono::milliseconds limit);

    // ---- Message boxes and tree titles ---------------------------------------------------------
    // A box waits for the operator (any thread; the GUI thread runs it).
    void MessageBox(const std::string& text, int dvr);
    void MessageBox(const std::string& text);
    void ChangeView(int dvr, const std::string& name);  // any thread
    void showDVRName(int dvr);                          // any thread

    // ---- Split-screen layout -------------------------------------------------------------------
    int32_t InitScreenCtrl(int32_t maximum, int32_t split);
    int32_t SetScreenWindow(int32_t split);
    void GetScreenRect();                      // rectangles from the surface's bounds, then a clear
    void doSomethingForButton(int32_t split);  // the split buttons 4 .. 256
    // The next and the previous page of the split shown (both wrap); nothing while zoomed.
    void NextPage();
    void PreviousPage();
    // Shows split `split` on page `page` (from 0) and asks the DVRs for what it shows.
    void ShowSplitPage(int32_t split, int32_t page);
    void DoLeftMouseButton(float x, float y);  // a click, in surface units
    // The keyboard's pane selection: arrows move it within the page, Enter zooms or unzooms it.
    bool MoveSelection(int dx, int dy);
    void ZoomSelected();
    void AutoSetDisplay();
    void AutoSetDvrDisplay(int dvr, int position);
    void WriteSelfChannel(int pane, int32_t code);
    int32_t ReadSelfChannelChan(int32_t code) const;            // any thread
    int32_t GetChangedChannel(int32_t channel, int dvr) const;  // any thread
    void Show36MoreButton();
    void Hide36MoreButton();
    void SurfaceResized();  // the surface changed size: recompute and clear
    void SetShowMaxNum(int32_t maximum);

    // ---- Live-view control: what the DVRs are asked for follows the layout -------------------
    // Each hands the DVR's records to its command thread and returns at once.
    void ActiveNetServerAdjust(int dvr);
    void NotActiveNetServerAdjust(int dvr);
    void AllNetServerAdjust();
    void ShowNetServerAdjust();
    // A change of the view made of several (a saved view recalled, the start options) asks each
    // DVR once: the adjustments that AllNetServerAdjust and the view's changes make between the
    // hold and its release are made at the release, from the view as it is then. Holds nest.
    void HoldAdjustments();
    void ReleaseAdjustments();
    int32_t NetSendPtzValue(int32_t operation, int32_t page, int32_t fileID, int32_t dvr);

    // ---- Saved DVR list ----
    std::string ListFilePath() const { return list_.FilePath(); }
    int32_t LoadUserInfoFromFile() { return listFile_.LoadUserInfoFromFile(); }  // start-up
    int32_t UnloadUserInfoToFile() { return listFile_.UnloadUserInfoToFile(); }
    // Appends a DVR (and its node) and saves; -1 with a message when all 64 slots are in use.
    int32_t AddDVRNode(const std::string& server, const std::string& user, const std::string& pass,
                       const std::string& showName);
    void moveUser(int dvr) { list_.moveUser(dvr); }
    // The delete command: asks, removes the node, disconnects the DVRs whose numbers change,
    // renumbers entries and pane codes, resets their slots, saves.
    void DeleteUser();
    // The property dialog's Save: stores the edited entry, saves, retitles the node.
    void SavePropertyEntry(int dvr, const SAVE_INFO_STRUCT& edited);

    // ---- A DVR's slot: connection, receive path, commands (forwards; workers unless stated) -----
    // An operation given a block and a DVR number works on the block's slot; the number must be
    // the block's (std::invalid_argument otherwise).
    NetCtrl_Struct& GetNetCtrlStruct(int dvr);  // any thread
    // What a DVR slot needs before its first connection: decoders, buffers, threads. -1 when
    // they could not be made (or for no DVR number); the slot must then not be connected.
    int32_t PrepareDvr(int dvr);
    int32_t initNet(NetCtrl_Struct& b, int dvr);
    void StartReceiveThread(int dvr);
    // Stops and joins every DVR thread; connections are closed. GUI thread, at the end.
    void StopDvrThreads();
    status::Connect NetConnect(NetCtrl_Struct& b, int dvr);
    status::Connect ConnectAndReport(NetCtrl_Struct& b, int dvr);
    status::Login SetParameter(NetCtrl_Struct& b, int dvr);
    status::Lookup GetDvrIP(const std::string& lookupHost, const std::string& identifier,
                            NET_REQUEST& r);
    int32_t SendData(NetCtrl_Struct& b, const void* data, int len);
    int32_t ReadData(NetCtrl_Struct& b, void* data, int len,
                     std::optional<std::chrono::milliseconds> limit = std::nullopt);
    int32_t Disconnect(NetCtrl_Struct& b);   // any thread
    int32_t CloseSocket(NetCtrl_Struct& b);  // any thread
    void SetRecCmd(NetCtrl_Struct& b, int32_t subtype);
    int32_t WaitRecCmd(NetCtrl_Struct& b);
    int32_t IsNet_NET_DATA_SEND(const NetCtrl_Struct& b) const;  // any thread
    void NetLocalViewPlay(NetCtrl_Struct& b, uint32_t cam, int32_t audio);
    void StopNetLocalView(NetCtrl_Struct& b);
    void CreateNetKeyFrame(NetCtrl_Struct& b);

    // ---- Record search and playback (core/hub/PlaybackSession.h) ----
    void NetPlayBack();  // the tree's "NetPlayBack": a playback session for the chosen DVR
    int32_t GetMachineDiskInfo(NetCtrl_Struct& b);
    int32_t TimeToSearchRecList(NetCtrl_Struct& b, int32_t dateKey, RecordListPage* list,
                                int32_t page);
    int32_t NetPlayFile(NetCtrl_Struct& b, int32_t time1, int32_t time2, uint32_t cam,
                        int32_t sound, int32_t fast);
    int32_t StopNetPlayFile(NetCtrl_Struct& b);
    // Disk information, and the recorded-range text for the playback window. Worker.
    int32_t ConnectedMacSetInit(NetCtrl_Struct& b);
    // Searches the day of `date` (local calendar) page by page and hands the map of the four
    // band selections to the playback window: 1 when drawn, -1 when the search gave no page or
    // failed, 0 when `superseded` was raised meanwhile (nothing more is shown). Worker.
    int32_t SetDiskTimeRect(NetCtrl_Struct& b, std::time_t date, const BandSelection& cam,
                            const std::atomic<bool>* superseded = nullptr);
    // The playback window's requests: each returns at once and runs on the playback request
    // thread; a newer request of the same kind replaces one still queued.
    void RequestTimeMap(int dvr, std::time_t date, const BandSelection& cam);
    void RequestPlay(int dvr, int32_t startSecond, uint32_t mask, int32_t sound, int32_t fast);
    void RequestStopPlay(int dvr);
    // The operator left DVR `dvr`'s playback session (its window closed, or another DVR's
    // playback began): a running play is stopped and the DVR returns to the live view of what
    // the main window shows, on the session it has. Nothing when it is not in playback.
    void EndPlayback(int dvr);
    // The played pictures of DVR `dvr`'s session leave the surface (a refused play shows none).
    void ClearPlayedPanes(int dvr);
    // Whether the requests have all run; waits up to `limit`.
    bool PlaybackRequestsIdle(std::chrono::milliseconds limit);

  private:
    // The live view as it is now, and the DVRs of the list as an adjustment sees them.
    LiveViewPlanner Planner() const;
    std::vector<LiveViewPlanner::Dvr> PlannerDvrs() const;
    // The live-view adjustment of DVRs from .. to - 1, as AllNetServerAdjust makes it.
    void AdjustDvrs(int from, int to);
    // Hands one DVR's step to its command thread, replacing an adjustment not yet started.
    void PostStep(const LiveViewStep& step);

    // ---- The status timer's work (core/ViewControllerStatus.cpp) ----
    // A loss the timer found: the reconnect (or the playback window told), then one box.
    void LossReported(int dvr, std::chrono::steady_clock::time_point now);
    void ScheduleReconnect(int dvr, std::chrono::steady_clock::time_point now);
    // Starts a due attempt, follows the one that runs, counts down in the node's title.
    void FollowReconnect(int dvr, std::chrono::steady_clock::time_point now);
    // Ends an automatic reconnect (the operator took over); the node gets its name back.
    void CancelReconnect(int dvr);
    // The mark each shown pane needs now, handed to the display where it changed.
    void UpdatePaneMarks(std::chrono::steady_clock::time_point now);
    PaneMark MarkFor(int pane, const SCREEN_SHOW_CTRL& layout,
                     std::chrono::steady_clock::time_point now);

    // SlotEvents: a DVR's display thread draws a picture; a playback session came up.
    void Present(int dvr, const NET_FRAME_HEADER& h, const uint8_t* pixels,
                 int64_t arrived) override;
    void PlaybackSessionUp(int dvr, const SAVE_INFO_STRUCT& entry) override;

    static bool ValidDvr(int dvr) { return dvr >= 0 && dvr < kMaxDvrs; }
    const DvrSlot& Slot(int dvr) const;
    // The slot of block `b`; for the forwards that name a DVR too, checked to be that DVR's.
    DvrSlot& SlotOf(const NetCtrl_Struct& b);
    DvrSlot& SlotOf(const NetCtrl_Struct& b, int dvr);
    // DVR `dvr` (the one chosen in the tree), prepared for a connection; -1 when there is none
    // to start.
    int DvrReady(int dvr);
    // The operator's connect or playback: the automatic reconnect ends, its attempt is overtaken.
    void OvertakeQuietAttempt(int dvr);
    void MessageBoxAbout(const SAVE_INFO_STRUCT& entry, const std::string& text);

    UiPort& ui_;
    // The process-wide send lock: held around each send system call of every connection.
    std::mutex mutex;
    // Raised once when the DVR threads must stop: every wait for a peer then ends at once.
    CancelSignal cancel_;

    DvrList list_;
    ScreenLayout layout_;
    ListFileKeeper listFile_{list_, layout_, ui_};
    PlaybackSession session_{[this](int dvr) -> DvrSlot& { return Slot(dvr); }};
    // Before the slots: it outlives every slot that submits to it.
    std::unique_ptr<DecodePool> decodePool_;
    std::unique_ptr<DvrSlot> slots_[kMaxDvrs];

    // The view mode: the current DVR (-1 all-DVR view) and whether the pane assignment governs
    // the panes. Written on the GUI thread, read by display threads.
    std::atomic<int32_t> focusID{-1};
    std::atomic<int32_t> m_selfChannelEffectFlag{0};

    std::atomic<DisplayPort*> display_{nullptr};

    // The adjustments held back (HoldAdjustments): how many holds stand, and bit d for each DVR
    // d one was asked for meanwhile. GUI thread.
    int adjustHolds_ = 0;
    uint64_t heldDvrs_ = 0;

    // The marks last handed to the display, per pane; GUI thread. A layout change empties the
    // surface, and with it these.
    PaneMark marksShown_[kPanes];
    uint64_t random_ = 0x9E3779B97F4A7C15ull;  // the reconnect waits' spread; GUI thread
    // Expires with the controller: a box still open at its end must not reach back into it.
    std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
};
