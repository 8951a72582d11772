// A controller with a recording window-system port, and helpers to read the simulator's log.
#pragma once

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "core/ViewController.h"
#include "core/net/TcpSocket.h"
#include "tests/support/RecordingDisplay.h"
#include "tests/support/RecordingUi.h"
#include "tests/support/SimProcess.h"

class ClientTest : public ::testing::Test {
  protected:
    ClientTest() : vc(std::make_unique<ViewController>(ui)) {}

    // Saves entry `dvr` as a new entry would be saved.
    void SetEntry(int dvr, const std::string& server, const std::string& user = "admin",
                  const std::string& pass = "1234", const std::string& name = "Gate",
                  uint32_t cam = kAllChannels) {
        SAVE_INFO_STRUCT entry = NewSaveInfo(server, user, pass, name);
        entry.cam = cam;
        vc->list().Store(dvr, entry);
    }
    NetCtrl_Struct& Block(int dvr) { return vc->GetNetCtrlStruct(dvr); }
    // The client's port of DVR `dvr`'s connection, -1 without one.
    int ClientPort(int dvr) {
        std::shared_ptr<TcpSocket> s = Block(dvr).connection();
        sockaddr_in addr{};
        socklen_t len = sizeof addr;
        if (!s || ::getsockname(s->fd(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            return -1;
        }
        return ntohs(addr.sin_port);
    }
    static std::string At(const SimProcess& sim, const std::string& host = "127.0.0.1") {
        return host + ":" + std::to_string(sim.port());
    }
    // The operator selects DVR `dvr` in the tree (-1: none, the all-DVR view).
    void Select(int dvr) {
        ui.Select(dvr);
        vc->outlineViewSelectionDidChange();
    }

    RecordingUi ui;
    std::unique_ptr<ViewController> vc;
    TempDir tmp;
};

// A block's connection as its transitions leave it: status, working flag and socket.
inline std::tuple<int, int, int> ConnectionOf(const NetCtrl_Struct& b) {
    return {b.CurNetStatus.load(), b.NetWorking.load(), b.socket.load()};
}
inline const std::tuple<int, int, int> kNoConnection{NET_DISCONNECTED, 0, 0};

// An attempt of DVR 0, saved with `server`, on a controller of its own: the attempt's result,
// once it showed one box, headed by the server text and saying `text`, gave the node its name
// back and left no connection.
inline status::Connect AttemptWithOneBox(const std::string& server, const std::string& text) {
    RecordingUi ui;
    ViewController vc(ui);
    vc.list().Store(0, NewSaveInfo(server, "admin", "1234", "Gate"));
    const status::Connect result = vc.ConnectAndReport(vc.GetNetCtrlStruct(0), 0);
    const auto boxes = ui.boxes();
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes.empty() ? "" : boxes[0].heading.value_or("-") + ": " + boxes[0].text,
              server + ": " + text);
    EXPECT_EQ(ui.TitleOf(0), "Gate");  // not left at "connecting"
    EXPECT_EQ(ConnectionOf(vc.GetNetCtrlStruct(0)), kNoConnection);
    return result;
}

// The same, drawing into a recording video area split as the window starts.
class DisplayTest : public ClientTest {
  protected:
    DisplayTest() {
        vc->SetDisplayPort(&display);
        EXPECT_TRUE(vc->layout().AVDataFrame.Allocate());
        vc->InitScreenCtrl(36, 36);
    }
    // The display threads draw into `display`: they stop before it goes.
    ~DisplayTest() override { vc->StopDvrThreads(); }

    RecordingDisplay display;
};

// A command record as the simulator logged it.
struct LoggedCommand {
    int iCmd, iParam1, iParam2, iParam3, iParam4;
    std::vector<int> Words() const { return {iCmd, iParam1, iParam2, iParam3, iParam4}; }
};

inline std::vector<LoggedCommand> Commands(const std::vector<std::string>& lines) {
    std::vector<LoggedCommand> out;
    for (const auto& l : LinesStartingWith(lines, "CMD ")) {
        LoggedCommand c{};
        if (std::sscanf(l.c_str(), "CMD %d %d %d %d %d", &c.iCmd, &c.iParam1, &c.iParam2,
                        &c.iParam3, &c.iParam4) == 5) {
            out.push_back(c);
        }
    }
    return out;
}

inline std::vector<int> CommandCodes(const std::vector<LoggedCommand>& commands) {
    std::vector<int> codes;
    for (const auto& c : commands) {
        codes.push_back(c.iCmd);
    }
    return codes;
}

inline std::vector<int> CommandCodes(const std::vector<std::string>& lines) {
    return CommandCodes(Commands(lines));
}
