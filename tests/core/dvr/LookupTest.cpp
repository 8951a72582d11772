// Reaching a DVR known by an identifier through the lookup server.
#include "tests/support/ClientFixture.h"
#include "tests/support/FullBacklogListener.h"
#include "tests/support/Wait.h"

namespace {

using Clock = std::chrono::steady_clock;

class Lookup : public ClientTest {
  protected:
    Lookup() : address(RandomLoopbackAddress()) {}

    // A DVR on 127.0.0.1 and a lookup server on this test's own address.
    void StartPeers(std::vector<std::string> lookupExtra) {
        dvr = std::make_unique<SimProcess>(
            std::vector<std::string>{"--listen", "127.0.0.1:0", "--account", "admin:1234:2:16",
                                     "--account", "guest:guest:1:16"});
        std::vector<std::string> args{
            "--lookup", address,
            "--log",    tmp.File("lookup.log"),
            "--id",     "DVR123456=127.0.0.1:" + std::to_string(dvr->port())};
        args.insert(args.end(), lookupExtra.begin(), lookupExtra.end());
        lookup = std::make_unique<SimProcess>(args);
        ASSERT_EQ(lookup->lookupPort(), 10089);
    }
    std::vector<std::string> Lookups() {
        return LinesStartingWith(ReadLines(tmp.File("lookup.log")), "LOOKUP ");
    }
    // An identifier the lookup server does not answer for within `least` to `most` seconds.
    void ExpectAnUnansweredLookup(status::Connect result, double least, double most) {
        const auto start = Clock::now();
        EXPECT_EQ(AttemptWithOneBox(address + ":DVR123456", "Failure conncecting to server!"),
                  result);
        EXPECT_GE(SecondsSince(start), least);
        EXPECT_LT(SecondsSince(start), most);
    }

    std::string address;
    std::unique_ptr<SimProcess> dvr;
    std::unique_ptr<SimProcess> lookup;
};

TEST_F(Lookup, AnIdentifierOfSixOrMoreCharactersIsResolvedByTheLookupServerFiveAreAPort) {
    StartPeers({"--id", "ABC123=127.0.0.1:0"});
    SetEntry(0, address + ":DVR123456");
    EXPECT_EQ(vc->ConnectAndReport(Block(0), 0), status::Connect::Done);
    EXPECT_EQ(Block(0).NetWorking.load(), 1);
    EXPECT_TRUE(ui.boxes().empty());
    EXPECT_EQ(Lookups(), (std::vector<std::string>{"LOOKUP DVR123456"}));
    SetEntry(1, address + ":ABC123");
    vc->ConnectAndReport(Block(1), 1);
    EXPECT_EQ(Lookups(), (std::vector<std::string>{"LOOKUP DVR123456", "LOOKUP ABC123"}));
    // Five characters: a port, straight to the DVR, no lookup.
    SetEntry(2, "127.0.0.1:" + std::to_string(dvr->port()), "guest", "guest");
    ASSERT_EQ(std::to_string(dvr->port()).size(), 5u);
    EXPECT_EQ(vc->ConnectAndReport(Block(2), 2), status::Connect::Done);
    EXPECT_EQ(Block(2).NetWorking.load(), 1);
    EXPECT_EQ(Lookups().size(), 2u);

    NET_REQUEST r{};  // the lookup step alone fills the request from the reply
    EXPECT_EQ(vc->GetDvrIP(address, "DVR123456", r), status::Lookup::Found);
    EXPECT_EQ(std::string(r.ip), "127.0.0.1");
    EXPECT_EQ(r.port1, dvr->port());
}

TEST_F(Lookup, EveryFailedLookupShowsOneBoxOfItsKind) {
    StartPeers({"--id", "SLEEPY99=offline", "--id", "BROKEN99=fail", "--id",
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
        EXPECT_EQ(AttemptWithOneBox(c.server, c.text), c.result);
    }
}

TEST_F(Lookup, LookupServerThatDoesNotAnswerTheConnectFailsAfterEightSeconds) {
    FullBacklogListener silent(address, 10089);
    ExpectAnUnansweredLookup(status::Connect::LookupServerUnreachable, 7.9, 10.0);
}

TEST_F(Lookup, LookupServerThatNeverRepliesEndsWithinTheExchangeLimit) {
    StartPeers({"--lookup-silent"});
    ExpectAnUnansweredLookup(status::Connect::Failed, 9.9, 12.0);
}

}  // namespace
