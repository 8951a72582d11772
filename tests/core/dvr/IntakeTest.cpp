// A slot's receive path fed by a DVR played by the test over a socket pair: the same code that
// reads a TCP connection.
#include <cstring>
#include <filesystem>
#include <thread>

#include "core/dvr/DvrSlot.h"
#include "tests/support/ClientFixture.h"
#include "tests/support/H264Clip.h"
#include "tests/support/StreamPeer.h"
#include "tests/support/Wait.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A clip shared by the tests: CIF, key frames at 0 and 40.
const std::vector<AccessUnit>& Clip() {
    static const std::vector<AccessUnit> clip = EncodeClip(352, 288, 60, 40);
    return clip;
}

template <typename T>
std::vector<uint8_t> Bytes(const T& record) {
    const auto* p = reinterpret_cast<const uint8_t*>(&record);
    return std::vector<uint8_t>(p, p + sizeof record);
}

class Intake : public ClientTest {
  protected:
    Intake() : slot(vc->Slot(0)), b(slot.NetCtrl) {
        EXPECT_EQ(slot.initDecode(), 1);
        EXPECT_EQ(slot.initNet(), 1);
        b.ThreadWork.store(1);  // the test thread plays the receive thread
        peer = std::make_unique<StreamPeer>(b);
    }
    // Reads `units` units on the test thread, as the receive thread would.
    void Pump(int units) {
        NET_COMMAND cmd;
        for (int i = 0; i < units; ++i) {
            std::shared_ptr<TcpSocket> s = b.connection();
            ASSERT_TRUE(s) << "unit " << i;
            slot.RecvCommand(*s, s.get(), cmd);
        }
    }
    void SendVideo(int channel, uint32_t frameNo, int clipIndex) {
        peer->Send(FrameUnit(FrameSpec{.channel = channel, .frameNo = frameNo}, Clip()[clipIndex]));
    }
    std::vector<uint32_t> QueuedFrameNumbers() {
        std::vector<uint32_t> numbers;
        std::lock_guard<std::mutex> g(b.queue.mutex);
        for (int i = 0, s = b.queue.m_Bottom.load(); i < b.queue.Numframe.load();
             ++i, s = (s + 1) % 32) {
            NET_FRAME_HEADER h;
            std::memcpy(&h, b.queue.buf[s], sizeof h);
            numbers.push_back(h.frameNo);
        }
        return numbers;
    }

    DvrSlot& slot;
    NetCtrl_Struct& b;
    std::unique_ptr<StreamPeer> peer;
};

TEST_F(Intake, DecodedPicturesAreQueuedWithTheirFoldedGeometryAndSoundSharesTheCount) {
    SendVideo(4, 0, 0);
    peer->Send(FrameUnit(FrameSpec{.channel = 4, .frameNo = 1, .type = 'A'},
                         std::vector<uint8_t>(160, 0xFF)));
    SendVideo(4, 2, 1);
    Pump(3);
    EXPECT_EQ(QueuedFrameNumbers(), (std::vector<uint32_t>{0, 2}));  // sound is never queued
    EXPECT_EQ(b.stats[4].frames.load(), 3u);
    EXPECT_EQ(b.stats[4].decoded.load(), 2u);
    EXPECT_EQ(b.stats[4].dropped.load(), 0u);
    NET_FRAME_HEADER h;
    const uint8_t* pixels = nullptr;
    ASSERT_TRUE(b.queue.PeekOldest(1, 0ms, h, pixels));
    EXPECT_EQ(h.channel, 4);
    EXPECT_EQ(h.imageSize, 2);  // 2 + 3 * 0
    EXPECT_EQ(b.stats[4].sizeFrame.load(), 2);
    EXPECT_EQ(b.NetWorking.load(), 1);
}

TEST_F(Intake, SequenceGapDropsFramesUntilTheMissingNumberOrARestart) {
    // 0, 1, 2 queued; 4 and 5 dropped (3 is expected); 3 queued; then a restart at 0.
    const uint32_t numbers[] = {0, 1, 2, 4, 5, 3};
    for (uint32_t n : numbers) {
        SendVideo(0, n, static_cast<int>(n));
    }
    Pump(6);
    EXPECT_EQ(QueuedFrameNumbers(), (std::vector<uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(b.stats[0].dropped.load(), 2u);
    EXPECT_EQ(slot.ExpectedFrame(0), 4u);
    SendVideo(0, 7, 7);  // still a gap
    SendVideo(0, 0, 0);  // an ordinary frame numbered 0 restarts the count
    SendVideo(0, 1, 1);
    Pump(3);
    EXPECT_EQ(QueuedFrameNumbers(), (std::vector<uint32_t>{0, 1, 2, 3, 0, 1}));
    EXPECT_EQ(slot.ExpectedFrame(0), 2u);
}

TEST_F(Intake, BundleMembersRestartOnlyWithSeqResetAndStartAtMultiplesOfFour) {
    FrameSpec stale{.channel = 2, .frameNo = 9};
    FrameSpec restart{.channel = 2, .frameNo = 0, .seqReset = 1};
    FrameSpec next{.channel = 2, .frameNo = 1};
    peer->Send(BundleUnit({{stale, Clip()[0]}, {restart, Clip()[0]}, {next, Clip()[1]}}));
    // A member numbered 0 without seqReset does not restart the count.
    peer->Send(BundleUnit({{FrameSpec{.channel = 2, .frameNo = 0}, Clip()[0]}}));
    Pump(2);
    EXPECT_EQ(QueuedFrameNumbers(), (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(b.stats[2].dropped.load(), 2u);
    EXPECT_EQ(b.stats[2].frames.load(), 4u);  // a bundle's own header does not count
    EXPECT_EQ(slot.ExpectedFrame(2), 2u);

    // Payloads of 5, 8 and 4 bytes put the members at offsets 0, 44 and 88.
    const std::vector<uint8_t> unit = BundleUnit({
        {FrameSpec{.channel = 5, .type = 'A'}, std::vector<uint8_t>(5, 0xFF)},
        {FrameSpec{.channel = 6, .type = 'A'}, std::vector<uint8_t>(8, 0xFF)},
        {FrameSpec{.channel = 7, .type = 'A'}, std::vector<uint8_t>(4, 0xFF)},
    });
    const std::size_t payloadStart = sizeof(NET_COMMAND) + sizeof(NET_FRAME_HEADER);
    ASSERT_EQ(unit.size(), payloadStart + 88 + 36 + 4);
    EXPECT_EQ(unit[payloadStart + 88 + 24], 7);
    peer->Send(unit);
    Pump(1);
    for (int ch = 5; ch <= 7; ++ch) {
        EXPECT_EQ(slot.ExpectedFrame(ch), 1u) << ch;
    }
    EXPECT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);
}

// Each of these breaks the protocol: the connection ends as lost, what came before it stays.
TEST_F(Intake, MalformedUnitsEndTheConnectionAsLost) {
    struct Case {
        const char* what;
        std::vector<uint8_t> unit;
    };
    std::vector<uint8_t> longMember =
        BundleUnit({{FrameSpec{.channel = 1, .type = 'A'}, {1, 2, 3, 4}}});
    // The member's dataLen, the header's first field: one byte more than the bundle holds.
    longMember[sizeof(NET_COMMAND) + sizeof(NET_FRAME_HEADER)] = 5;
    const Case cases[] = {
        // Three members announced as four: the fourth header would lie past the payload.
        {"member past the payload", BundleUnit({{FrameSpec{.channel = 1}, Clip()[0]},
                                                {FrameSpec{.channel = 1, .frameNo = 1}, Clip()[1]}},
                                               3)},
        {"member longer than the bundle", longMember},
        {"payload over the limit",
         CommandUnit(MakeCommand(NET_FRAME_DATA),
                     Bytes(MakeHeader(FrameSpec{.channel = 6}, kMaxFramePayload + 1)))},
        {"frame type X", FrameUnit(FrameSpec{.type = 'X'}, {1, 2, 3})},
        {"negative record list",
         CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_RECORD_LIST, 1, -92))},
        {"too many disks", CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_DISK, 1025))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        peer = std::make_unique<StreamPeer>(b);
        const int queued = b.queue.Numframe.load();
        peer->Send(c.unit);
        Pump(1);
        EXPECT_EQ(b.CurNetStatus.load(), NET_ERROR);
        EXPECT_EQ(b.socket.load(), 0);
        EXPECT_EQ(b.NetWorking.load(), 0);
        if (std::string(c.what) == "member past the payload") {
            EXPECT_EQ(b.queue.Numframe.load(), queued + 2);  // the members before it were taken
        }
        EXPECT_TRUE(b.TakeReportedLoss());
    }
}

TEST_F(Intake, APayloadOfTheLimitIsReadAndChannelsOutsideTheDecodersTouchNothing) {
    peer->Send(FrameUnit(FrameSpec{.channel = 6, .type = 'A'},
                         std::vector<uint8_t>(kMaxFramePayload, 0x55)));
    for (int channel : {32, 39, 40, -1, 100000}) {
        SendVideo(channel, 0, 0);
    }
    SendVideo(0, 0, 0);
    Pump(7);
    EXPECT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);
    for (int entry = 0; entry < 40; ++entry) {
        EXPECT_EQ(slot.ExpectedFrame(entry), entry == 0 || entry == 6 ? 1u : 0u) << entry;
    }
    EXPECT_EQ(QueuedFrameNumbers(), (std::vector<uint32_t>{0}));
}

TEST_F(Intake, FramesWithoutADecodablePictureAreNeverQueued) {
    SendVideo(0, 0, 5);  // a P frame before any key frame
    std::vector<uint8_t> garbage(3000);
    for (std::size_t i = 0; i < garbage.size(); ++i) {
        garbage[i] = static_cast<uint8_t>(i * 7919 >> 3);
    }
    peer->Send(FrameUnit(FrameSpec{.frameNo = 1}, garbage));
    peer->Send(FrameUnit(FrameSpec{.frameNo = 2}, {}));
    Pump(3);
    EXPECT_EQ(b.queue.Numframe.load(), 0);
    EXPECT_EQ(b.stats[0].decoded.load(), 0u);
    SendVideo(0, 0, 0);  // the key frame brings pictures
    Pump(1);
    EXPECT_EQ(b.queue.Numframe.load(), 1);
}

TEST_F(Intake, FullQueueWaitsAboutASecondThenDropsAndTheChannelRecoversAtTheNextKeyFrame) {
    for (uint32_t i = 0; i < 32; ++i) {
        SendVideo(0, i, static_cast<int>(i));
    }
    Pump(32);
    ASSERT_EQ(b.queue.Numframe.load(), 32);
    SendVideo(0, 32, 32);
    const auto start = Clock::now();
    Pump(1);
    const double waited = SecondsSince(start);
    EXPECT_GE(waited, 0.95);
    EXPECT_LT(waited, 2.5);
    EXPECT_EQ(b.queue.Numframe.load(), 32);
    EXPECT_EQ(b.stats[0].dropped.load(), 1u);
    EXPECT_EQ(slot.ExpectedFrame(0), 33u);  // the count stays in step with the DVR
    auto sent = peer->ReceivedCommands();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back().iCmd, NET_KEY_FRAME);

    for (int i = 0; i < 10; ++i) {
        b.queue.PopOldest();
    }
    // P frames after the drop would decode against a missing picture: skipped until the key frame.
    for (uint32_t i = 33; i < 42; ++i) {
        SendVideo(0, i, static_cast<int>(i));
    }
    Pump(9);
    auto numbers = QueuedFrameNumbers();
    ASSERT_EQ(numbers.size(), 22u + 2u);  // 40 (a key frame) and 41
    EXPECT_EQ(numbers[numbers.size() - 2], 40u);
    EXPECT_EQ(b.stats[0].dropped.load(), 1u + 7u);
}

// A camera with periodic intra refresh sends a single IDR: a channel that lost a picture resumes
// at the next recovery point, and asks for a key frame every 2 s until then.
TEST_F(Intake, AChannelThatDroppedAPictureResumesAtARecoveryPointAndAsksAgainMeanwhile) {
    const auto clip = EncodeClip(352, 288, 60, 10, 0, true);
    const auto keyRequests = [&] {
        int n = 0;
        for (const auto& c : peer->ReceivedCommands()) {
            n += c.iCmd == NET_KEY_FRAME ? 1 : 0;
        }
        return n;
    };
    const auto send = [&](uint32_t i) {
        peer->Send(FrameUnit(FrameSpec{.channel = 0, .frameNo = i}, clip[i]));
        Pump(1);
    };
    for (uint32_t i = 0; i <= 32; ++i) {
        send(i);  // the queue fills: picture 32 is dropped
    }
    ASSERT_TRUE(WaitFor([&] { return keyRequests() == 1; }));
    for (int i = 0; i < 20; ++i) {
        b.queue.PopOldest();
    }
    send(33);
    std::this_thread::sleep_for(2100ms);
    send(34);
    ASSERT_TRUE(WaitFor([&] { return keyRequests() == 2; }));
    for (uint32_t i = 35; i < 60; ++i) {
        send(i);
    }
    EXPECT_EQ(keyRequests(), 2);
    const auto numbers = QueuedFrameNumbers();
    // The round of renewal that starts at 40 makes whole pictures again within its 10 pictures;
    // the decoder keeps the ones before that off the screen.
    ASSERT_GT(numbers.size(), 12u);
    EXPECT_GE(numbers[12], 40u);
    EXPECT_LT(numbers[12], 50u);
    EXPECT_EQ(numbers.size(), 12u + (60u - numbers[12]));
    EXPECT_EQ(b.stats[0].dropped.load(), 1u + 7u);
}

TEST_F(Intake, RepliesFillTheDiskTableAndTheOutcomeOfAPlayRequest) {
    std::vector<uint8_t> disks;
    for (int i = 0; i < 10; ++i) {
        NET_SEND_INFO d{};
        d.start_rec_time = 1000 + i;
        d.end_rec_time = 2000 + i;
        const std::vector<uint8_t> bytes = Bytes(d);
        disks.insert(disks.end(), bytes.begin(), bytes.end());
    }
    slot.SetRecCmd(INFO_DISK);
    peer->Send(CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_DISK, 10), disks));
    // No pages: nothing follows a record list, whatever its length says.
    peer->Send(CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_RECORD_LIST, 0, 92)));
    peer->Send(CommandUnit(MakeCommand(NET_OTHER_INFO, 3)));  // an unknown subtype is ignored
    SendVideo(0, 0, 0);
    Pump(4);
    EXPECT_EQ(b.RecvCmd.load(), 0);
    EXPECT_EQ(slot.MachineInfo().iDiskNum, 8);
    EXPECT_EQ(slot.MachineInfo().stNetDiskInfo[7].end_rec_time, 2007);
    EXPECT_EQ(b.queue.Numframe.load(), 1);  // the frame after the ten records was read as a frame

    b.SetLiveStatus(NET_CONNECTED);
    slot.SetRecCmd(INFO_PLAY_STATE);
    peer->Send(CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_PLAY_STATE, 9)));
    Pump(1);
    EXPECT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);
    EXPECT_EQ(b.RecvCmd.load(), 0);
    peer->Send(CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_PLAY_STATE, 8, 17)));
    Pump(1);
    EXPECT_EQ(b.Results.load(), status::Code(status::Play::NoRecordingAtStart));
    peer->Send(CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_PLAY_STATE, 8, 3)));
    Pump(1);
    EXPECT_EQ(b.Results.load(), status::Code(status::Play::Refused));
}

// The receive thread with four decode lanes (the lanes' own order is DecodePoolTest's): the
// queue still gives the pictures of interleaved channels back in the order their frames came.
TEST_F(Intake, LanesStartWithTheReceiveThreadAndPicturesLeaveTheQueueAsTheirFramesCame) {
    const auto threads = [] {
        const std::filesystem::directory_iterator tasks("/proc/self/task");
        return static_cast<int>(std::distance(begin(tasks), end(tasks)));
    };
    const int before = threads();
    vc->limits.decodeLanes = 4;
    vc->limits.decodeStartsAlone = false;
    slot.StartReceiveThread(false);
    // The receive and command threads, and the lanes.
    EXPECT_TRUE(WaitFor([&] { return threads() == before + 2 + 4; }))
        << threads() - before << " threads started";
    std::vector<std::pair<int, uint32_t>> sent;
    for (uint32_t n = 0; n < 12; ++n) {
        for (int ch = 0; ch < 4; ++ch) {
            SendVideo(ch, n, static_cast<int>(n));
            sent.emplace_back(ch, n);
        }
    }
    std::vector<std::pair<int, uint32_t>> taken;
    while (taken.size() < sent.size()) {
        NET_FRAME_HEADER h;
        const uint8_t* pixels = nullptr;
        ASSERT_TRUE(b.queue.PeekOldest(1, 5s, h, pixels)) << taken.size() << " taken";
        taken.emplace_back(h.channel, h.frameNo);
        b.queue.PopOldest();
    }
    EXPECT_EQ(taken, sent);
}

class ReceiveThread : public Intake {
  protected:
    void SetUp() override { slot.StartReceiveThread(false); }
};

TEST_F(ReceiveThread, ASearchPageGoesToItsRequesterBoundedToOnePage) {
    std::vector<uint8_t> entries(301 * sizeof(GST_FILESHOWINFO));
    for (int i = 0; i < 301; ++i) {
        GST_FILESHOWINFO e{};
        e.fileStartTime = 100 + i;
        std::memcpy(entries.data() + i * sizeof e, &e, sizeof e);
    }
    std::thread dvr([&] {  // the DVR answers the search once it comes
        ASSERT_TRUE(WaitFor([&] { return !peer->ReceivedCommands().empty(); }));
        EXPECT_EQ(peer->ReceivedCommands()[0].iCmd, NET_SEARCH_RECORD);
        peer->Send(CommandUnit(
            MakeCommand(NET_OTHER_INFO, INFO_RECORD_LIST, 2, static_cast<int32_t>(entries.size())),
            entries));
    });
    RecordListPage page = {};
    EXPECT_EQ(slot.TimeToSearchRecList(1250101, &page, 0), 2);
    dvr.join();
    EXPECT_EQ(page[0].fileStartTime, 100);
    EXPECT_EQ(page[299].fileStartTime, 399);
    // The 301st entry was read off: the stream goes on.
    SendVideo(0, 0, 0);
    SendVideo(0, 1, 1);
    NET_FRAME_HEADER h;
    const uint8_t* pixels = nullptr;
    EXPECT_TRUE(b.queue.PeekOldest(2, 3s, h, pixels));
    b.queue.PopOldest();

    // The last page is shorter: nothing of the page before stays behind its entries.
    std::thread last([&] {
        ASSERT_TRUE(WaitFor([&] { return peer->ReceivedCommands().size() >= 2; }));
        peer->Send(CommandUnit(
            MakeCommand(NET_OTHER_INFO, INFO_RECORD_LIST, 2,
                        static_cast<int32_t>(2 * sizeof(GST_FILESHOWINFO))),
            std::vector<uint8_t>(entries.begin(), entries.begin() + 2 * sizeof(GST_FILESHOWINFO))));
    });
    EXPECT_EQ(slot.TimeToSearchRecList(1250101, &page, 1), 2);
    last.join();
    EXPECT_EQ(page[1].fileStartTime, 101);
    EXPECT_EQ(page[2].fileStartTime, 0);
    EXPECT_EQ(page[299].fileStartTime, 0);
}

TEST_F(ReceiveThread, WaitForAReplyEndsAfterSixtyChecks) {
    slot.SetRecCmd(INFO_RECORD_LIST);
    const auto start = Clock::now();
    EXPECT_EQ(slot.WaitRecCmd(), -1);
    const double waited = SecondsSince(start);
    EXPECT_GE(waited, 5.8);
    EXPECT_LT(waited, 7.0);
    EXPECT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);
}

TEST_F(ReceiveThread, ALateReplyToAnotherRequestLeavesTheWaitForItsOwnReply) {
    slot.SetRecCmd(INFO_DISK);
    std::thread dvr([&] {
        // The answer to a search that gave up comes first, the disk information later.
        peer->Send(CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_RECORD_LIST, 0, 0)));
        std::this_thread::sleep_for(300ms);
        NET_SEND_INFO disk{};
        disk.end_rec_time = 5000;
        peer->Send(CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_DISK, 1), Bytes(disk)));
    });
    const auto start = Clock::now();
    EXPECT_EQ(slot.WaitRecCmd(), 1);
    EXPECT_GE(SecondsSince(start), 0.25);
    EXPECT_LT(SecondsSince(start), 1.5);
    dvr.join();
    EXPECT_EQ(slot.MachineInfo().stNetDiskInfo[0].end_rec_time, 5000);
}

// A DVR that closes half way through a frame: the session is lost, and a wait for a reply ends.
TEST_F(ReceiveThread, DvrClosingInTheMiddleOfAFrameEndsInAnError) {
    slot.SetRecCmd(INFO_DISK);
    std::vector<uint8_t> unit = FrameUnit(FrameSpec{}, Clip()[0]);
    unit.resize(unit.size() / 2);
    std::thread dvr([&] {
        std::this_thread::sleep_for(300ms);
        peer->Send(unit);
        peer->Close();
    });
    const auto start = Clock::now();
    EXPECT_EQ(slot.WaitRecCmd(), 1);
    EXPECT_LT(SecondsSince(start), 1.0);
    dvr.join();
    EXPECT_EQ(b.CurNetStatus.load(), NET_ERROR);
    EXPECT_EQ(b.socket.load(), 0);
    EXPECT_EQ(b.queue.Numframe.load(), 0);
}

TEST_F(ReceiveThread, DisconnectWakesTheThreadStalledInAFrameAndItServesTheNextConnection) {
    std::vector<uint8_t> unit = FrameUnit(FrameSpec{}, Clip()[0]);
    unit.resize(unit.size() - 10);  // the DVR stalls before the end of the payload
    peer->Send(unit);
    peer->Flush();
    std::this_thread::sleep_for(200ms);
    slot.Disconnect();
    EXPECT_EQ(b.CurNetStatus.load(), NET_DISCONNECTED);

    auto next = std::make_unique<StreamPeer>(b);
    next->Send(FrameUnit(FrameSpec{}, Clip()[0]));
    next->Send(FrameUnit(FrameSpec{.frameNo = 1}, Clip()[1]));
    NET_FRAME_HEADER h;
    const uint8_t* pixels = nullptr;
    ASSERT_TRUE(b.queue.PeekOldest(2, 3s, h, pixels));
    EXPECT_EQ(h.frameNo, 0u);
}

}  // namespace
