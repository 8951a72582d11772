// The hub of the system: owns every per-DVR and per-pane table and is the target of every command.
// The operations are defined in the folder of the subsystem they belong to (connection/, ...);
// this header declares the tables and groups the operations by subsystem.
//
// Threads: the tables are shared by the GUI thread and the DVR threads. Fields written by one
// thread and read by another are atomic or guarded by the lock named beside them.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <thread>
#include <vector>

#include "core/decode/DecoderPool.h"
#include "core/directory/SaveInfo.h"
#include "core/layout/Layout.h"
#include "core/layout/PaneBuffers.h"
#include "core/net/NetCtrl.h"
#include "core/playback/RequestRunner.h"
#include "core/ports/DisplayPort.h"
#include "core/ports/PlaybackPort.h"
#include "core/ports/UiPort.h"
#include "core/support/ByteBuffer.h"
#include "core/wire/WireFormats.h"

class ViewController;
struct UserListImage;

// The start values of a DVR thread, passed by value so that a second connect cannot overwrite
// the values a starting thread has not read yet.
struct ThreadStart {
    int dvr;
    ViewController* controller;
    NetCtrl_Struct* block;
    uint32_t generation = 0;  // the slot's generation when the thread was asked for
};

// Time limits of the connection path.
struct ConnectionLimits {
    std::chrono::milliseconds dvrConnect{10000};      // TCP connect to a DVR
    std::chrono::milliseconds lookupConnect{8000};    // TCP connect to the lookup server
    std::chrono::milliseconds lookupExchange{10000};  // request sent and reply read
    std::chrono::milliseconds loginReply{10000};      // wait for the login reply
    std::chrono::milliseconds loginPause{500};        // pause before reading the login reply
    std::chrono::milliseconds send{3000};             // one SendData call
    std::chrono::milliseconds stopPlayPause{1000};    // pause after NET_STOP_PLAY_FILE
};

class ViewController {
  public:
    explicit ViewController(UiPort& ui);
    ~ViewController();
    ViewController(const ViewController&) = delete;
    ViewController& operator=(const ViewController&) = delete;

    UiPort& ui() { return ui_; }

    // ---- Tables -------------------------------------------------------------------------------
    NetCtrl_Struct NetCtrl[kMaxDvrs];

    // Saved entries. Written on the GUI thread under userinfoLock; other threads read them only
    // through EntryCopy().
    SAVE_INFO_STRUCT Userinfo[kMaxDvrs] = {};
    std::atomic<int32_t> usercount{0};
    mutable std::mutex userinfoLock;
    SAVE_INFO_STRUCT EntryCopy(int dvr) const;

    std::atomic<int32_t> focusID{-1};
    // 1 while the pane assignment table governs the panes (all-DVR view).
    std::atomic<int32_t> m_selfChannelEffectFlag{0};
    // Pane assignment: DVR * 100 + channel per pane, negative for none. Saved with the list.
    std::atomic<int32_t> m_selfChannel[kPanes] = {};
    // Per DVR, the channel + 1 shown in each of the four playback panes, 0 for none.
    std::atomic<int32_t> m_a[kMaxDvrs][4] = {};
    // Per DVR, the channel mask last asked for in live view.
    std::atomic<uint32_t> m_CurShowCam[kMaxDvrs] = {};
    // All-DVR view: per DVR, the channels that shown panes hold. GUI thread only.
    uint32_t m_selfChan[kPanes] = {};
    // The pane picture buffers (allocated by the start-up of the window).
    PaneBuffers AVDataFrame;

    // Per-DVR decoders, and the buffer a bundle member is decoded from (its payload plus the
    // decoder's zero padding). Receive thread of the DVR only, once created.
    Decode_Struct Decoder[kMaxDvrs];
    ByteBuffer AVData2[kMaxDvrs];

    // Next frame number expected per DVR and channel entry; under NetCtrl[dvr].mutex.
    uint32_t frameNumber[kMaxDvrs][40] = {};

    // Filled from information replies by the receive thread, under NetCtrl[dvr].replyLock.
    DVR_MACHINE_INFO Dvrinfo[kMaxDvrs] = {};
    std::atomic<int32_t> m_listPage[kMaxDvrs] = {};
    // Where DVR d's search replies go; set by the searching thread, which owns the list.
    RecordListPage* pFileShow[kMaxDvrs] = {};

    // The process-wide send lock: held around each send system call of every connection.
    std::mutex mutex;

    ConnectionLimits limits;

    // ---- Main controller (app/ViewController.cpp, app/DvrCommands.cpp) -------------------------
    // GUI thread unless stated.
    int32_t GetCurrentDVR();  // the DVR selected in the tree, -1 for none
    int32_t CurrentDVR() const { return focusID.load(); }  // any thread
    void ConnectDVR();                                     // the tree's "connectDVR"
    void DisconnectDVR();                                  // the tree's "DisconnectDVR"
    // The tree's selection changed: single-DVR view of the selected DVR, or the all-DVR view.
    void outlineViewSelectionDidChange();
    // The 1-second status timer: reports each DVR whose working connection failed.
    void animationTimer();
    // The icon a DVR's node shows now.
    enum class NodeIcon { Disconnected, SuperUser, User };
    NodeIcon NodeIconFor(int dvr) const;  // any thread
    // Whether a connection attempt for the DVR is under way.
    bool AttemptRunning(int dvr) const;  // any thread

    // ---- Split-screen layout (display/LayoutOps.cpp) --------------------------------------------
    // GUI thread unless stated. The layout is shared with the display threads under a lock.
    void SetDisplayPort(DisplayPort* port);  // before any DVR thread starts
    int32_t InitScreenCtrl(int32_t maximum, int32_t split);
    int32_t SetScreenWindow(int32_t split);
    void GetScreenRect();                      // rectangles from the surface's bounds, then a clear
    void doSomethingForButton(int32_t split);  // the split buttons 4 .. 256
    void DoLeftMouseButton(float x, float y);  // a click, in surface units
    int32_t showAutoDisplay() const { return m_selfChannelEffectFlag.load(); }
    void AutoSetDisplay();
    void AutoSetDvrDisplay(int dvr, int position);
    void WriteSelfChannel(int pane, int32_t code);
    int32_t ReadSelfChannelChan(int32_t code) const;            // any thread
    int32_t GetChangedChannel(int32_t channel, int dvr) const;  // any thread
    void Show36MoreButton();
    void Hide36MoreButton();
    void SurfaceResized();                // the surface changed size: recompute and clear
    SCREEN_SHOW_CTRL LayoutCopy() const;  // any thread
    void SetShowMaxNum(int32_t maximum);

    // ---- Live-view control (connection/LiveView.cpp)
    // ---------------------------------------------
    void ActiveNetServerAdjust(int dvr);
    void NotActiveNetServerAdjust(int dvr);
    void AllNetServerAdjust();
    void ShowNetServerAdjust();
    int32_t NetSendPtzValue(int32_t operation, int32_t page, int32_t fileID, int32_t dvr);

    // ---- Display thread (decode/DisplayThread.cpp) ----------------------------------------------
    // Takes the DVR's pictures off its queue and draws each into its pane.
    void animationother(int dvr);

    // ---- Saved DVR list (directory/UserList.cpp) ------------------------------------------------
    // ~/userinfo/info.uss, with ~ the HOME of the process.
    static std::string ListFilePath();
    int32_t LoadUserInfoFromFile();  // start-up, while the list is empty
    int32_t UnloadUserInfoToFile();  // a failed save is told to the operator
    // Appends a DVR (and its node) and saves; -1 with a message when all 64 slots are in use.
    int32_t AddDVRNode(const std::string& server, const std::string& user, const std::string& pass,
                       const std::string& showName);
    void moveUser(int dvr);  // closes the gap of a removed entry
    // The delete command: asks, removes the node, disconnects the DVRs whose numbers change,
    // renumbers entries and pane codes, resets their per-slot state, saves.
    void DeleteUser();
    // The property dialog's Save: stores the edited entry, saves, retitles the node.
    void SavePropertyEntry(int dvr, const SAVE_INFO_STRUCT& edited);

    // ---- Connection and login (connection/Connect.cpp, connection/Transfer.cpp) ----------------
    int32_t NetConnect(NetCtrl_Struct& b, int dvr);
    int32_t SetParameter(NetCtrl_Struct& b, int dvr);
    int32_t GetDvrIP(const std::string& lookupHost, const std::string& identifier, NET_REQUEST& r);
    // NetConnect followed by the box for a failed connect (-4) or a server text without ':' (-6):
    // the body of the connect-and-login thread.
    int32_t ConnectAndReport(NetCtrl_Struct& b, int dvr);
    int32_t ConnectAndReport(NetCtrl_Struct& b, int dvr, uint32_t generation);
    int32_t SendData(NetCtrl_Struct& b, const void* data, int len);
    // Reads exactly len bytes; with a limit, fails when they have not arrived by then.
    int32_t ReadData(NetCtrl_Struct& b, void* data, int len,
                     std::optional<std::chrono::milliseconds> limit = std::nullopt);
    int32_t Disconnect(NetCtrl_Struct& b);
    int32_t CloseSocket(NetCtrl_Struct& b);

    // ---- Receive thread and frame intake (connection/ReceiveThread.cpp, FrameIntake.cpp,
    //      InfoReplies.cpp) ------------------------------------------------------------------
    // Creates the block's buffers once; -1 (block left uninitialised) when memory is short.
    int32_t initNet(NetCtrl_Struct& b, int dvr);
    // Starts the DVR's receive thread once, and its display thread when there is a video
    // surface; they run until StopDvrThreads().
    void StartReceiveThread(int dvr);
    // What a DVR slot needs before its first connection: decoders, buffers, receive thread.
    // -1 when the decoders or buffers could not be made; the slot must then not be connected.
    int32_t PrepareDvr(int dvr);
    // Stops and joins every DVR thread; connections are closed. GUI thread, at the end.
    void StopDvrThreads();
    void NetWorkThread(NetCtrl_Struct& b, int dvr);
    int32_t RecvCommand(NetCtrl_Struct& b, NET_COMMAND& cmd);  // reads the block's connection
    int32_t ReadFrameData(NetCtrl_Struct& b);
    int32_t ReadOtherInfo(NetCtrl_Struct& b, const NET_COMMAND& cmd);
    void SetRecCmd(NetCtrl_Struct& b, int32_t subtype);
    int32_t WaitRecCmd(NetCtrl_Struct& b);
    NetCtrl_Struct& GetNetCtrlStruct(int dvr) { return NetCtrl[dvr]; }
    int32_t IsNet_NET_DATA_SEND(const NetCtrl_Struct& b) const;

    // ---- Live-view commands (connection/LiveView.cpp) -------------------------------------------
    void NetLocalViewPlay(NetCtrl_Struct& b, uint32_t cam, int32_t audio);
    void StopNetLocalView(NetCtrl_Struct& b);
    void CreateNetKeyFrame(NetCtrl_Struct& b);

    // ---- Record search and playback commands (connection/PlaybackCommands.cpp) ----------------
    // The requests wait up to about 6 s for the reply (never on the GUI thread, see below); one
    // request per DVR waits at a time, the others queue on the block's request lock.
    void NetPlayBack();  // the tree's "NetPlayBack": a playback session for the chosen DVR
    int32_t GetMachineDiskInfo(NetCtrl_Struct& b);
    // Page `page` of the day `dateKey` into `list`; the day's page count, 0 without an answer.
    int32_t TimeToSearchRecList(NetCtrl_Struct& b, int32_t dateKey, RecordListPage* list,
                                int32_t page);
    // Plays seconds time1 .. time2 of the day for the channels of `cam`; the block's Results.
    int32_t NetPlayFile(NetCtrl_Struct& b, int32_t time1, int32_t time2, uint32_t cam,
                        int32_t sound, int32_t fast);
    int32_t StopNetPlayFile(NetCtrl_Struct& b);
    // Disk information, and the recorded-range text for the playback window.
    int32_t ConnectedMacSetInit(NetCtrl_Struct& b);

    // ---- Record time map (playback/TimeMapSearch.cpp) -------------------------------------------
    void SetPlaybackPort(PlaybackPort* port);  // before any DVR thread starts
    // Searches the day of `date` (local calendar) page by page and hands the map of the four
    // band selections to the playback window: 1 when drawn, -1 when the search gave no page or
    // failed, 0 when `superseded` was raised meanwhile (nothing more is shown).
    int32_t SetDiskTimeRect(NetCtrl_Struct& b, std::time_t date, const BandSelection& cam,
                            const std::atomic<bool>* superseded = nullptr);

    // ---- Playback window requests (playback/PlaybackRequests.cpp) -------------------------------
    // GUI thread. Each returns at once; the request runs on the playback request thread, and a
    // newer request of the same kind replaces one still queued.
    void RequestTimeMap(int dvr, std::time_t date, const BandSelection& cam);
    void RequestPlay(int dvr, int32_t startSecond, uint32_t mask, int32_t sound, int32_t fast);
    void RequestStopPlay(int dvr);
    // Whether the requests have all run; waits up to `limit`.
    bool PlaybackRequestsIdle(std::chrono::milliseconds limit);

    // ---- Message boxes and tree titles (app/ViewController.cpp) ---------------------------------
    void MessageBox(const std::string& text, int dvr);
    void MessageBox(const std::string& text);
    void ChangeView(int dvr, const std::string& name);
    void showDVRName(int dvr);

  private:
    // One connection attempt on a slot, as of the slot's generation when it started. Deleting a
    // DVR moves the later entries down and bumps their slots' generations: an attempt whose
    // generation is no longer current leaves the slot, its title and its entry alone.
    struct Attempt {
        int dvr;
        uint32_t generation;
    };
    bool Current(const Attempt& a) const;
    void AttemptTitle(const Attempt& a, const std::string& title);
    void AttemptBox(const Attempt& a, const SAVE_INFO_STRUCT& entry, const std::string& text);
    bool AttemptAttach(const Attempt& a, NetCtrl_Struct& b, std::unique_ptr<TcpSocket> s);
    int32_t NetConnect(NetCtrl_Struct& b, const Attempt& a);
    int32_t SetParameter(NetCtrl_Struct& b, const Attempt& a, const SAVE_INFO_STRUCT& entry);
    int32_t SetParameter(NetCtrl_Struct& b, int dvr, const SAVE_INFO_STRUCT& entry);
    void StartConnectAttempt(int dvr);
    // The DVR chosen in the tree, prepared for a connection; -1 when there is none to start.
    int ChosenDvrReady();
    // The list and the pane codes as the file holds them (loading starts from it: what a short
    // file lacks keeps its value).
    std::unique_ptr<UserListImage> TablesImage() const;
    // Empties a slot whose DVR number now belongs to another DVR: queue, sequence numbers,
    // decoder state, machine information. Receive thread of the slot (or any thread before the
    // slot's threads exist).
    void ResetSlot(NetCtrl_Struct& b, int dvr);
    // One frame (ordinary, or a bundle member) after its payload was read.
    void IntakeFrame(NetCtrl_Struct& b, int dvr, NET_FRAME_HEADER h, const uint8_t* payload,
                     bool bundleMember, int64_t arrived);
    int32_t ReadBundle(NetCtrl_Struct& b, int dvr, const NET_FRAME_HEADER& bundle, int64_t arrived);
    // One unit from connection `s`, which the receive thread chose.
    int32_t RecvCommand(NetCtrl_Struct& b, std::shared_ptr<TcpSocket> s, NET_COMMAND& cmd);
    int32_t ReadFrom(NetCtrl_Struct& b, const std::shared_ptr<TcpSocket>& s, void* data, int len,
                     std::optional<std::chrono::milliseconds> limit);
    // Reads the rest of the unit the receive thread is reading (b.receiving).
    int32_t ReadReceived(NetCtrl_Struct& b, void* data, int len);
    void WaitForQueueRoom(NetCtrl_Struct& b);

    std::thread receiveThread_[kMaxDvrs];
    std::thread displayThread_[kMaxDvrs];

    // The layout: written on the GUI thread, read by display threads, under layoutLock_.
    mutable std::mutex layoutLock_;
    SCREEN_SHOW_CTRL ShowCtrl = {};
    std::atomic<DisplayPort*> display_{nullptr};
    std::atomic<PlaybackPort*> playback_{nullptr};
    std::unique_ptr<RequestRunner> playbackRequests_;
    // Draws one picture taken off DVR `dvr`'s queue into the pane it belongs in.
    void Present(int dvr, const NET_FRAME_HEADER& h, const uint8_t* pixels, int64_t arrived);

    // Connection attempts: the threads, and per slot whether one runs and the slot generation.
    struct ConnectThread {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    mutable std::mutex slotLock_;
    std::vector<ConnectThread> connectThreads_;  // under slotLock_
    bool attemptRunning_[kMaxDvrs] = {};         // under slotLock_
    uint32_t slotGeneration_[kMaxDvrs] = {};     // under slotLock_

    // Signalled once when the DVR threads must stop: every wait for a peer then ends at once.
    int cancelFd_ = -1;
    void MessageBoxAbout(const SAVE_INFO_STRUCT& entry, const std::string& text);

    UiPort& ui_;
};

// Thread entries: the receive thread, the connect-and-login thread, the display thread.
void oneNetThread(ThreadStart start);
void oneNetThread2(ThreadStart start);
void oneNetThread3(ThreadStart start);
