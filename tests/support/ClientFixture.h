// A controller with a recording window-system port, and helpers to read the simulator's log.
#pragma once

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <memory>
#include <string>
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
    void setEntry(int dvr, const std::string& server, const std::string& user = "admin",
                  const std::string& pass = "1234", const std::string& name = "Gate",
                  uint32_t cam = kAllChannels) {
        SAVE_INFO_STRUCT entry = NewSaveInfo(server, user, pass, name);
        entry.cam = cam;
        vc->list().Store(dvr, entry);
    }
    NetCtrl_Struct& block(int dvr) { return vc->GetNetCtrlStruct(dvr); }
    // The client's port of DVR `dvr`'s connection, -1 without one.
    int clientPort(int dvr) {
        std::shared_ptr<TcpSocket> s = block(dvr).connection();
        sockaddr_in addr{};
        socklen_t len = sizeof addr;
        if (!s || ::getsockname(s->fd(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            return -1;
        }
        return ntohs(addr.sin_port);
    }
    static std::string at(const SimProcess& sim, const std::string& host = "127.0.0.1") {
        return host + ":" + std::to_string(sim.port());
    }
    // The operator selects DVR `dvr` in the tree (-1: none, the all-DVR view).
    void select(int dvr) {
        ui.select(dvr);
        vc->outlineViewSelectionDidChange();
    }

    RecordingUi ui;
    std::unique_ptr<ViewController> vc;
    TempDir tmp;
};

// The same, drawing into a recording video area split as the window starts.
class DisplayTest : public ClientTest {
  protected:
    DisplayTest() {
        vc->SetDisplayPort(&display);
        EXPECT_TRUE(vc->layout().AVDataFrame.allocate());
        vc->InitScreenCtrl(36, 36);
    }
    // The display threads draw into `display`: they stop before it goes.
    ~DisplayTest() override { vc->StopDvrThreads(); }

    RecordingDisplay display;
};

// A command record as the simulator logged it.
struct LoggedCommand {
    int iCmd, iParam1, iParam2, iParam3, iParam4;
    std::vector<int> words() const { return {iCmd, iParam1, iParam2, iParam3, iParam4}; }
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
