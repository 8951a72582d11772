// Five hundred connects and disconnects on four DVRs: descriptors and threads come back to their
// steady numbers (the threads of a DVR slot are fixed; an attempt's thread ends with it).
#include <dirent.h>

#include <chrono>
#include <thread>

#include "tests/support/ClientFixture.h"
#include "tests/support/RecordingDisplay.h"
#include "tests/support/Wait.h"

namespace {

using namespace std::chrono_literals;

int Entries(const char* dir) {
    int n = 0;
    if (DIR* d = ::opendir(dir)) {
        while (const dirent* e = ::readdir(d)) {
            n += e->d_name[0] != '.';
        }
        ::closedir(d);
    }
    return n;
}

class Storm : public ClientTest {
  protected:
    Storm() {
        vc->SetDisplayPort(&display);
        vc->limits.loginPause = 0ms;  // the storm is about resources, not the DVR's manners
    }
    ~Storm() override { vc->StopDvrThreads(); }

    // One round: every DVR connected through the operator's command, then disconnected.
    void round() {
        for (int d = 0; d < 4; ++d) {
            ui.select(d);
            vc->ConnectDVR();
        }
        ASSERT_TRUE(WaitFor([&] {
            for (int d = 0; d < 4; ++d) {
                if (vc->GetNetCtrlStruct(d).NetWorking.load() != 1 || vc->AttemptRunning(d)) {
                    return false;
                }
            }
            return true;
        })) << (ui.boxes().empty() ? "" : ui.boxes()[0].text);
        for (int d = 0; d < 4; ++d) {
            ui.select(d);
            vc->DisconnectDVR();
        }
    }

    RecordingDisplay display;
};

TEST_F(Storm, FiveHundredConnectsLeaveNoDescriptorOrThreadBehind) {
    std::vector<std::unique_ptr<SimProcess>> dvrs;
    for (int d = 0; d < 4; ++d) {
        dvrs.push_back(std::make_unique<SimProcess>(std::vector<std::string>{
            "--listen", "127.0.0.1:0", "--account", "admin:1234:1:2", "--max-users", "64"}));
        setEntry(d, at(*dvrs.back()), "admin", "1234", "DVR" + std::to_string(d));
        ui.appendNode("DVR" + std::to_string(d));
    }
    round();  // the slots' threads and buffers exist from here on
    std::this_thread::sleep_for(200ms);
    const int fds = Entries("/proc/self/fd");
    const int threads = Entries("/proc/self/task");
    for (int r = 1; r < 125; ++r) {
        round();
        if (HasFatalFailure()) {
            return;
        }
    }
    EXPECT_TRUE(WaitFor([&] { return Entries("/proc/self/task") <= threads; }, 5s))
        << Entries("/proc/self/task") << " threads, " << threads << " after the first round";
    EXPECT_TRUE(WaitFor([&] { return Entries("/proc/self/fd") <= fds; }, 5s))
        << Entries("/proc/self/fd") << " descriptors, " << fds << " after the first round";
    EXPECT_TRUE(ui.boxes().empty());
}

}  // namespace
