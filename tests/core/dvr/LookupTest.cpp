// Reaching a DVR known by an identifier through the lookup server.
#include <chrono>

#include "tests/support/ClientFixture.h"
#include "tests/support/FullBacklogListener.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class Lookup : public ClientTest {
  protected:
    Lookup() : address(RandomLoopbackAddress()) {}

    // A DVR on 127.0.0.1 and a lookup server on this test's own address.
    void startPeers(std::vector<std::string> lookupExtra) {
        dvr = std::make_unique<SimProcess>(std::vector<std::string>{"--listen", "127.0.0.1:0",
                                                                    "--account", "admin:1234:2:16",
                                                                    "--log", tmp.file("dvr.log")});
        std::vector<std::string> args{
            "--lookup", address,
            "--log",    tmp.file("lookup.log"),
            "--id",     "DVR123456=127.0.0.1:" + std::to_string(dvr->port())};
        args.insert(args.end(), lookupExtra.begin(), lookupExtra.end());
        lookup = std::make_unique<SimProcess>(args);
        ASSERT_EQ(lookup->lookupPort(), 10089);
    }
    void expectOneBox(const std::string& server, const std::string& text) {
        auto boxes = ui.boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].heading, server);
        EXPECT_EQ(boxes[0].text, text);
        EXPECT_EQ(ui.titleOf(0), "Gate");
        EXPECT_EQ(vc->GetNetCtrlStruct(0).socket.load(), 0);
    }

    std::string address;
    std::unique_ptr<SimProcess> dvr;
    std::unique_ptr<SimProcess> lookup;
};

TEST_F(Lookup, IdentifierIsResolvedByTheLookupServerAndTheDvrLogsIn) {
    startPeers({});
    setEntry(0, address + ":DVR123456");
    EXPECT_EQ(vc->ConnectAndReport(vc->GetNetCtrlStruct(0), 0), status::Connect::Done);
    EXPECT_EQ(vc->GetNetCtrlStruct(0).NetWorking.load(), 1);
    EXPECT_TRUE(ui.boxes().empty());
    EXPECT_EQ(LinesStartingWith(ReadLines(tmp.file("lookup.log")), "LOOKUP "),
              (std::vector<std::string>{"LOOKUP DVR123456"}));
}

TEST_F(Lookup, SixCharactersAfterTheColonAreAnIdentifierFiveAreAPort) {
    startPeers({"--id", "ABC123=127.0.0.1:" + std::to_string(0)});
    setEntry(0, address + ":ABC123");
    vc->ConnectAndReport(vc->GetNetCtrlStruct(0), 0);
    EXPECT_EQ(LinesStartingWith(ReadLines(tmp.file("lookup.log")), "LOOKUP "),
              (std::vector<std::string>{"LOOKUP ABC123"}));
    // Five characters: a port, straight to the DVR, no lookup.
    setEntry(1, "127.0.0.1:" + std::to_string(dvr->port()));
    ASSERT_EQ(std::to_string(dvr->port()).size(), 5u);
    EXPECT_EQ(vc->ConnectAndReport(vc->GetNetCtrlStruct(1), 1), status::Connect::Done);
    EXPECT_EQ(vc->GetNetCtrlStruct(1).NetWorking.load(), 1);
    EXPECT_EQ(LinesStartingWith(ReadLines(tmp.file("lookup.log")), "LOOKUP ").size(), 1u);
}

TEST_F(Lookup, EveryFailedLookupShowsOneBoxOfItsKind) {
    startPeers({"--id", "SLEEPY99=offline", "--id", "BROKEN99=fail", "--id",
                "HIGHPORT=127.0.0.1:70000", "--id", "ZEROPORT=127.0.0.1:0", "--id",
                "GARBAGE1=garbage"});
    struct Case {
        std::string server;
        status::Connect result;
        std::string text;
    };
    const std::string server = "Failure conncecting to server!";
    const Case cases[] = {
        {address + ":SLEEPY99", status::Connect::DvrNotOnline, "DVR is not online!"},
        {address + ":BROKEN99", status::Connect::LookupFailed, server},
        {address + ":UNKNOWN1", status::Connect::LookupFailed, server},
        // A reply port no DVR can be reached on is a failed lookup.
        {address + ":HIGHPORT", status::Connect::LookupFailed, server},
        {address + ":ZEROPORT", status::Connect::LookupFailed, server},
        // An unterminated address text is bounded, and then names no reachable DVR.
        {address + ":GARBAGE1", status::Connect::DvrUnreachable, "Failure conncecting to DVR"},
        {RandomLoopbackAddress() + ":DVR123456", status::Connect::LookupServerUnreachable, server},
        {"no-such-lookup.invalid:DVR123456", status::Connect::LookupServerUnreachable, server},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.server);
        RecordingUi caseUi;
        ViewController controller(caseUi);
        controller.list().Store(0, NewSaveInfo(c.server, "admin", "1234", "Gate"));
        EXPECT_EQ(controller.ConnectAndReport(controller.GetNetCtrlStruct(0), 0), c.result);
        auto boxes = caseUi.boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].heading, c.server);
        EXPECT_EQ(boxes[0].text, c.text);
        EXPECT_EQ(caseUi.titleOf(0), "Gate");
        EXPECT_EQ(controller.GetNetCtrlStruct(0).socket.load(), 0);
    }
}

TEST_F(Lookup, LookupServerThatDoesNotAnswerTheConnectFailsAfterEightSeconds) {
    FullBacklogListener silent(address, 10089);
    setEntry(0, address + ":DVR123456");
    const auto start = Clock::now();
    EXPECT_EQ(vc->ConnectAndReport(vc->GetNetCtrlStruct(0), 0),
              status::Connect::LookupServerUnreachable);
    const double took = SecondsSince(start);
    EXPECT_GE(took, 7.9);
    EXPECT_LT(took, 10.0);
    expectOneBox(address + ":DVR123456", "Failure conncecting to server!");
}

TEST_F(Lookup, LookupServerThatNeverRepliesEndsWithinTheExchangeLimit) {
    startPeers({"--lookup-silent"});
    setEntry(0, address + ":DVR123456");
    const auto start = Clock::now();
    EXPECT_EQ(vc->ConnectAndReport(vc->GetNetCtrlStruct(0), 0), status::Connect::Failed);
    const double took = SecondsSince(start);
    EXPECT_GE(took, 9.9);
    EXPECT_LT(took, 12.0);
    expectOneBox(address + ":DVR123456", "Failure conncecting to server!");
}

TEST(LookupRequest, GetDvrIPFillsTheRequestFromTheReply) {
    RecordingUi ui;
    ViewController vc(ui);
    const std::string address = RandomLoopbackAddress();
    SimProcess lookup({"--lookup", address, "--id", "CAM000042=192.0.2.7:6036"});
    NET_REQUEST r{};
    EXPECT_EQ(vc.GetDvrIP(address, "CAM000042", r), status::Lookup::Found);
    EXPECT_EQ(std::string(r.ip), "192.0.2.7");
    EXPECT_EQ(r.port1, 6036);
}

}  // namespace
