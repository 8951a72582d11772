// A controller with a recording window-system port, and helpers to read the simulator's log.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/ViewController.h"
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
    static std::string at(const SimProcess& sim, const std::string& host = "127.0.0.1") {
        return host + ":" + std::to_string(sim.port());
    }

    RecordingUi ui;
    std::unique_ptr<ViewController> vc;
    TempDir tmp;
};

struct LoggedCommand {
    int iCmd, iParam1, iParam2, iParam3, iParam4;
    std::string hex;
};

inline std::vector<LoggedCommand> Commands(const std::vector<std::string>& lines) {
    std::vector<LoggedCommand> out;
    for (const auto& l : LinesStartingWith(lines, "CMD ")) {
        LoggedCommand c{};
        char hex[64] = {};
        if (std::sscanf(l.c_str(), "CMD %d %d %d %d %d %63s", &c.iCmd, &c.iParam1, &c.iParam2,
                        &c.iParam3, &c.iParam4, hex) == 6) {
            c.hex = hex;
            out.push_back(c);
        }
    }
    return out;
}

inline std::vector<int> CommandCodes(const std::vector<std::string>& lines) {
    std::vector<int> codes;
    for (const auto& c : Commands(lines)) {
        codes.push_back(c.iCmd);
    }
    return codes;
}
