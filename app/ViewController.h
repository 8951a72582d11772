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
#include <mutex>
#include <optional>
#include <string>

#include "app/UiPort.h"
#include "connection/NetCtrl.h"
#include "connection/WireFormats.h"
#include "directory/SaveInfo.h"

class ViewController;

// The start values of a DVR thread, passed by value so that a second connect cannot overwrite
// the values a starting thread has not read yet.
struct ThreadStart {
    int dvr;
    ViewController* controller;
    NetCtrl_Struct* block;
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

    // The process-wide send lock: held around each send system call of every connection.
    std::mutex mutex;

    ConnectionLimits limits;

    // ---- Connection and login (connection/Connect.cpp, connection/Transfer.cpp) ----------------
    int32_t NetConnect(NetCtrl_Struct& b, int dvr);
    int32_t SetParameter(NetCtrl_Struct& b, int dvr);
    int32_t GetDvrIP(const std::string& lookupHost, const std::string& identifier, NET_REQUEST& r);
    // NetConnect followed by the box for a failed connect (-4) or a server text without ':' (-6):
    // the body of the connect-and-login thread.
    int32_t ConnectAndReport(NetCtrl_Struct& b, int dvr);
    int32_t SendData(NetCtrl_Struct& b, const void* data, int len);
    // Reads exactly len bytes; with a limit, fails when they have not arrived by then.
    int32_t ReadData(NetCtrl_Struct& b, void* data, int len,
                     std::optional<std::chrono::milliseconds> limit = std::nullopt);
    int32_t Disconnect(NetCtrl_Struct& b);
    int32_t CloseSocket(NetCtrl_Struct& b);

    // ---- Live-view commands (connection/LiveView.cpp) -------------------------------------------
    void NetLocalViewPlay(NetCtrl_Struct& b, uint32_t cam, int32_t audio);
    void StopNetLocalView(NetCtrl_Struct& b);
    void CreateNetKeyFrame(NetCtrl_Struct& b);

    // ---- Playback commands (connection/PlaybackCommands.cpp) ------------------------------------
    int32_t StopNetPlayFile(NetCtrl_Struct& b);

    // ---- Message boxes and tree titles (app/ViewController.cpp) ---------------------------------
    void MessageBox(const std::string& text, int dvr);
    void MessageBox(const std::string& text);
    void ChangeView(int dvr, const std::string& name);
    void showDVRName(int dvr);

  private:
    int32_t SetParameter(NetCtrl_Struct& b, int dvr, const SAVE_INFO_STRUCT& entry);
    void MessageBoxAbout(const SAVE_INFO_STRUCT& entry, const std::string& text);

    UiPort& ui_;
};

// Thread entry of the connect-and-login thread.
void oneNetThread2(ThreadStart start);
