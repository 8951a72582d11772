// The command-line probe, run as a real process against the simulated DVR.
#include "tests/support/ClientFixture.h"

namespace {

using namespace std::chrono_literals;

class Probe : public ::testing::Test {
  protected:
    Probe()
        : sim({"--listen", "127.0.0.1:0", "--account", "admin:1234:2:116", "--account",
               "guest:guest:0:4", "--log", tmp.File("dvr.log")}) {}
    ProcessResult RunProbe(std::vector<std::string> args) {
        args.insert(args.begin(), QUILLMARSH_PROBE);
        return RunProcess(args, 30s);
    }
    std::string Server() const { return "127.0.0.1:" + std::to_string(sim.port()); }

    TempDir tmp;
    SimProcess sim;
};

TEST_F(Probe, PrintsTheUserModeAndChannelsAfterALoginTheOperatorsMessageOrNothing) {
    SimProcess closing({"--listen", "127.0.0.1:0", "--close-on-login"});
    struct Case {
        std::vector<std::string> args;
        std::string out;
        int exitCode;
    };
    const Case cases[] = {
        {{Server(), "admin", "1234"}, "connected user-mode=2 channels=16\n", 0},  // 116 % 100
        {{Server(), "guest", "guest"}, "connected user-mode=0 channels=4\n", 0},
        {{Server(), "admin", "nope"}, "Bad user or password!\n", 1},
        {{"127.0.0.1", "admin", "1234"}, "no ':' in server text\n", 1},
        {{"127.0.0.1:99999", "admin", "1234"}, "Failure conncecting to DVR\n", 1},
        // An attempt that ends without a message.
        {{"127.0.0.1:" + std::to_string(closing.port()), "admin", "1234"}, "failed\n", 1},
        // A malformed command line.
        {{"--cam", "lots", Server(), "admin", "1234"}, "", 2},
        {{Server(), "admin"}, "", 2},
        {{"--cam", "0x1FFFFFFFF", Server(), "admin", "1234"}, "", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const ProcessResult r = RunProbe(c.args);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.exitCode, c.exitCode);
    }
}

TEST_F(Probe, StreamOptionsReachTheDvr) {
    auto r = RunProbe(
        {"--cam", "0x5", "--fps-index", "0", "--quality-index", "0", Server(), "admin", "1234"});
    ASSERT_EQ(r.exitCode, 0);
    auto cmds = Commands(
        WaitForLines(tmp.File("dvr.log"), [](const auto& l) { return Commands(l).size() >= 3; }));
    ASSERT_EQ(cmds.size(), 3u);
    EXPECT_EQ(cmds[1].Words(), (std::vector<int>{15, 15, 1, 0, 0}));  // 384 / 25 kbit/s at 1 fps
    EXPECT_EQ(cmds[2].Words(), (std::vector<int>{11, 0, 0, 5, 0}));
}

}  // namespace
