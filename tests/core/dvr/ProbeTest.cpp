// The command-line probe, run as a real process against the simulated DVR.
#include "tests/support/ClientFixture.h"

namespace {

using namespace std::chrono_literals;

class Probe : public ::testing::Test {
  protected:
    Probe()
        : sim({"--listen", "127.0.0.1:0", "--account", "admin:1234:2:116", "--account",
               "guest:guest:0:4", "--log", tmp.file("dvr.log")}) {}
    ProcessResult probe(std::vector<std::string> args) {
        args.insert(args.begin(), QUILLMARSH_PROBE);
        return RunProcess(args, 30s);
    }
    std::string server() const { return "127.0.0.1:" + std::to_string(sim.port()); }

    TempDir tmp;
    SimProcess sim;
};

TEST_F(Probe, PrintsTheUserModeAndChannelCountAfterALogin) {
    auto r = probe({server(), "admin", "1234"});
    EXPECT_EQ(r.out, "connected user-mode=2 channels=16\n");  // 116 modulo 100
    EXPECT_EQ(r.exitCode, 0);
    r = probe({server(), "guest", "guest"});
    EXPECT_EQ(r.out, "connected user-mode=0 channels=4\n");
    EXPECT_EQ(r.exitCode, 0);
}

TEST_F(Probe, PrintsTheOperatorsMessageWhenTheAttemptFails) {
    auto r = probe({server(), "admin", "nope"});
    EXPECT_EQ(r.out, "Bad user or password!\n");
    EXPECT_EQ(r.exitCode, 1);
    r = probe({"127.0.0.1", "admin", "1234"});
    EXPECT_EQ(r.out, "no ':' in server text\n");
    EXPECT_EQ(r.exitCode, 1);
    r = probe({"127.0.0.1:99999", "admin", "1234"});
    EXPECT_EQ(r.out, "Failure conncecting to DVR\n");
    EXPECT_EQ(r.exitCode, 1);
    // An attempt that ends without a message.
    SimProcess closing({"--listen", "127.0.0.1:0", "--close-on-login"});
    r = probe({"127.0.0.1:" + std::to_string(closing.port()), "admin", "1234"});
    EXPECT_EQ(r.out, "failed\n");
    EXPECT_EQ(r.exitCode, 1);
}

TEST_F(Probe, StreamOptionsReachTheDvr) {
    auto r = probe(
        {"--cam", "0x5", "--fps-index", "0", "--quality-index", "0", server(), "admin", "1234"});
    ASSERT_EQ(r.exitCode, 0);
    auto cmds = Commands(
        WaitForLines(tmp.file("dvr.log"), [](const auto& l) { return Commands(l).size() >= 3; }));
    ASSERT_EQ(cmds.size(), 3u);
    EXPECT_EQ(cmds[1].hex,
              "0f000000"
              "0f000000"
              "01000000"
              "00000000"
              "00000000");
    EXPECT_EQ(cmds[2].hex,
              "0b000000"
              "00000000"
              "00000000"
              "05000000"
              "00000000");
}

TEST_F(Probe, RejectsAMalformedCommandLine) {
    EXPECT_EQ(probe({"--cam", "lots", server(), "admin", "1234"}).exitCode, 2);
    EXPECT_EQ(probe({server(), "admin"}).exitCode, 2);
    EXPECT_EQ(probe({"--cam", "0x1FFFFFFFF", server(), "admin", "1234"}).exitCode, 2);
}

}  // namespace
