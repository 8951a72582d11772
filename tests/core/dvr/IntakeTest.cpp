// The receive path fed by a DVR played by the test over a socket pair: the same code that reads
// a TCP connection.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "core/ViewController.h"
#include "core/decode/SizeFrame.h"
#include "tests/support/H264Clip.h"
#include "tests/support/RecordingUi.h"
#include "tests/support/StreamPeer.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A clip shared by the tests: CIF, key frames at 0 and 40.
const std::vector<AccessUnit>& Clip() {
    static const std::vector<AccessUnit> clip = EncodeClip(352, 288, 60, 40);
    return clip;
}

class Intake : public ::testing::Test {
  protected:
    Intake() : vc(std::make_unique<ViewController>(ui)), b(vc->NetCtrl[0]) {
        EXPECT_EQ(initDecode(vc->Decoder[0]), 1);
        EXPECT_EQ(vc->initNet(b, 0), 1);
        b.ThreadWork.store(1);  // the test thread plays the receive thread
        peer = std::make_unique<StreamPeer>(b);
    }
    // Reads `units` units on the test thread, as the receive thread would.
    void pump(int units) {
        NET_COMMAND cmd;
        for (int i = 0; i < units; ++i) {
            ASSERT_EQ(vc->RecvCommand(b, cmd), 1) << "unit " << i;
        }
    }
    void sendVideo(int channel, uint32_t frameNo, int clipIndex) {
        FrameSpec desc;
        desc.channel = channel;
        desc.frameNo = frameNo;
        peer->send(FrameUnit(desc, Clip()[clipIndex]));
    }
    std::vector<uint32_t> queuedFrameNumbers() {
        std::vector<uint32_t> numbers;
        std::lock_guard<std::mutex> g(b.mutex);
        for (int i = 0, s = b.m_Bottom.load(); i < b.Numframe.load(); ++i, s = (s + 1) % 32) {
            NET_FRAME_HEADER h;
            std::memcpy(&h, b.buf[s], sizeof h);
            numbers.push_back(h.frameNo);
        }
        return numbers;
    }

    RecordingUi ui;
    std::unique_ptr<ViewController> vc;
    NetCtrl_Struct& b;
    std::unique_ptr<StreamPeer> peer;
};

TEST_F(Intake, DecodedPicturesAreQueuedWithTheirFoldedGeometry) {
    for (uint32_t i = 0; i < 3; ++i) {
        sendVideo(4, i, static_cast<int>(i));
    }
    pump(3);
    EXPECT_EQ(b.Numframe.load(), 3);
    EXPECT_EQ(b.stats[4].decoded.load(), 3u);
    NET_FRAME_HEADER h;
    const uint8_t* pixels = nullptr;
    ASSERT_TRUE(b.peekOldest(1, 0ms, h, pixels));
    EXPECT_EQ(h.frameNo, 0u);
    EXPECT_EQ(h.channel, 4);
    EXPECT_EQ(h.type, 'V');
    EXPECT_EQ(h.imageSize, 2);  // 2 + 3 * 0
    EXPECT_EQ(b.stats[4].sizeFrame.load(), 2);
    EXPECT_EQ(b.NetWorking.load(), 1);
}

TEST_F(Intake, SequenceGapDropsFramesUntilTheMissingNumberOrARestart) {
    // 0, 1, 2 queued; 4 and 5 dropped (3 is expected); 3 queued; then a restart at 0.
    const uint32_t numbers[] = {0, 1, 2, 4, 5, 3};
    const int clipIndex[] = {0, 1, 2, 4, 5, 3};
    for (int i = 0; i < 6; ++i) {
        sendVideo(0, numbers[i], clipIndex[i]);
    }
    pump(6);
    EXPECT_EQ(queuedFrameNumbers(), (std::vector<uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(b.stats[0].dropped.load(), 2u);
    EXPECT_EQ(b.stats[0].frames.load(), 6u);
    EXPECT_EQ(vc->frameNumber[0][0], 4u);
    sendVideo(0, 7, 7);  // still a gap
    sendVideo(0, 0, 0);  // an ordinary frame numbered 0 restarts the count
    sendVideo(0, 1, 1);
    pump(3);
    EXPECT_EQ(queuedFrameNumbers(), (std::vector<uint32_t>{0, 1, 2, 3, 0, 1}));
    EXPECT_EQ(vc->frameNumber[0][0], 2u);
}

TEST_F(Intake, BundleMemberWithSeqResetRestartsTheCountThere) {
    FrameSpec stale{.channel = 2, .frameNo = 9};
    FrameSpec restart{.channel = 2, .frameNo = 0, .seqReset = 1};
    FrameSpec next{.channel = 2, .frameNo = 1};
    peer->send(BundleUnit({{stale, Clip()[0]}, {restart, Clip()[0]}, {next, Clip()[1]}}));
    pump(1);
    EXPECT_EQ(queuedFrameNumbers(), (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(b.stats[2].dropped.load(), 1u);
    EXPECT_EQ(b.stats[2].frames.load(), 3u);  // the bundle's own header does not count
    EXPECT_EQ(vc->frameNumber[0][2], 2u);
    // A member numbered 0 without seqReset does not restart the count.
    FrameSpec zero{.channel = 2, .frameNo = 0};
    peer->send(BundleUnit({{zero, Clip()[0]}}));
    pump(1);
    EXPECT_EQ(b.Numframe.load(), 2);
    EXPECT_EQ(vc->frameNumber[0][2], 2u);
}

TEST_F(Intake, BundleMembersStartAtMultiplesOfFour) {
    // Payloads of 5, 8 and 4 bytes put the members at offsets 0, 44 and 88.
    std::vector<std::pair<FrameSpec, std::vector<uint8_t>>> members = {
        {FrameSpec{.channel = 1, .type = 'A'}, std::vector<uint8_t>(5, 0xFF)},
        {FrameSpec{.channel = 2, .type = 'A'}, std::vector<uint8_t>(8, 0xFF)},
        {FrameSpec{.channel = 3, .type = 'A'}, std::vector<uint8_t>(4, 0xFF)},
    };
    const std::vector<uint8_t> unit = BundleUnit(members);
    const std::size_t payloadStart = sizeof(NET_COMMAND) + sizeof(NET_FRAME_HEADER);
    ASSERT_EQ(unit.size(), payloadStart + 88 + 36 + 4);
    EXPECT_EQ(unit[payloadStart + 44 + 20], 'A');
    EXPECT_EQ(unit[payloadStart + 88 + 24], 3);
    peer->send(unit);
    FrameSpec after{.channel = 0};
    peer->send(FrameUnit(after, Clip()[0]));
    pump(2);
    for (int ch = 1; ch <= 3; ++ch) {
        EXPECT_EQ(vc->frameNumber[0][ch], 1u) << ch;
        EXPECT_EQ(b.stats[ch].frames.load(), 1u) << ch;
    }
    EXPECT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);
    EXPECT_EQ(queuedFrameNumbers(), (std::vector<uint32_t>{0}));  // audio is never queued
}

TEST_F(Intake, BundleMemberReachingPastThePayloadClosesTheConnection) {
    // Three members announced as four: the fourth header would lie past the payload.
    peer->send(BundleUnit({{FrameSpec{.channel = 1}, Clip()[0]},
                           {FrameSpec{.channel = 1, .frameNo = 1}, Clip()[1]},
                           {FrameSpec{.channel = 1, .frameNo = 2}, Clip()[2]}},
                          4));
    pump(1);
    EXPECT_EQ(b.CurNetStatus.load(), NET_ERROR);
    EXPECT_EQ(b.socket.load(), 0);
    EXPECT_EQ(b.Numframe.load(), 3);  // the members before it were taken

    // A member whose length runs past the bundle.
    StreamPeer again(b);
    std::vector<uint8_t> unit = BundleUnit({{FrameSpec{.channel = 1, .type = 'A'}, {1, 2, 3, 4}}});
    NET_FRAME_HEADER member;
    const std::size_t at = sizeof(NET_COMMAND) + sizeof(NET_FRAME_HEADER);
    std::memcpy(&member, unit.data() + at, sizeof member);
    member.dataLen = 5;  // one byte more than the bundle holds
    std::memcpy(unit.data() + at, &member, sizeof member);
    again.send(unit);
    pump(1);
    EXPECT_EQ(b.CurNetStatus.load(), NET_ERROR);
    EXPECT_EQ(vc->frameNumber[0][1], 3u);  // untouched by the bad member
}

TEST_F(Intake, PayloadOfTheLimitIsReadOneByteMoreIsAProtocolError) {
    FrameSpec sound{.channel = 6, .type = 'A'};
    peer->send(FrameUnit(sound, std::vector<uint8_t>(kMaxFramePayload, 0x55)));
    pump(1);
    EXPECT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);
    EXPECT_EQ(vc->frameNumber[0][6], 1u);

    const NET_FRAME_HEADER tooLong =
        MakeHeader(FrameSpec{.channel = 6, .frameNo = 1}, kMaxFramePayload + 1);
    peer->send(CommandUnit(MakeCommand(NET_FRAME_DATA)));
    peer->send(&tooLong, sizeof tooLong);
    pump(1);
    EXPECT_EQ(b.CurNetStatus.load(), NET_ERROR);
    EXPECT_EQ(b.NetWorking.load(), 0);
    EXPECT_EQ(vc->frameNumber[0][6], 1u);
}

TEST_F(Intake, FrameTypeOtherThanVideoOrSoundIsAProtocolError) {
    peer->send(FrameUnit(FrameSpec{.type = 'X'}, {1, 2, 3}));
    pump(1);
    EXPECT_EQ(b.CurNetStatus.load(), NET_ERROR);
    EXPECT_EQ(b.socket.load(), 0);
}

TEST_F(Intake, ChannelOutsideTheDecodersIsDroppedWithoutTouchingAnyTable) {
    for (int channel : {32, 39, 40, -1, 100000}) {
        sendVideo(channel, 0, 0);
    }
    sendVideo(0, 0, 0);
    pump(6);
    for (int entry = 0; entry < 40; ++entry) {
        EXPECT_EQ(vc->frameNumber[0][entry], entry == 0 ? 1u : 0u) << entry;
    }
    EXPECT_EQ(queuedFrameNumbers(), (std::vector<uint32_t>{0}));
    EXPECT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);
}

TEST_F(Intake, SoundSharesThePictureCountAndIsNeverQueued) {
    sendVideo(0, 0, 0);
    peer->send(FrameUnit(FrameSpec{.frameNo = 1, .type = 'A'}, std::vector<uint8_t>(160, 0xFF)));
    sendVideo(0, 2, 1);
    peer->send(FrameUnit(FrameSpec{.frameNo = 3, .type = 'A'}, std::vector<uint8_t>(160, 0xFF)));
    sendVideo(0, 4, 2);
    pump(5);
    EXPECT_EQ(queuedFrameNumbers(), (std::vector<uint32_t>{0, 2, 4}));
    EXPECT_EQ(b.stats[0].dropped.load(), 0u);
    EXPECT_EQ(b.stats[0].frames.load(), 5u);
    EXPECT_EQ(b.stats[0].decoded.load(), 3u);
}

TEST_F(Intake, FramesWithoutADecodablePictureAreNeverQueued) {
    sendVideo(0, 0, 5);  // a P frame before any key frame
    std::vector<uint8_t> garbage(3000);
    for (std::size_t i = 0; i < garbage.size(); ++i) {
        garbage[i] = static_cast<uint8_t>(i * 7919 >> 3);
    }
    peer->send(FrameUnit(FrameSpec{.frameNo = 1}, garbage));
    peer->send(FrameUnit(FrameSpec{.frameNo = 2}, {}));
    pump(3);
    EXPECT_EQ(b.Numframe.load(), 0);
    EXPECT_EQ(b.stats[0].decoded.load(), 0u);
    sendVideo(0, 0, 0);  // the key frame brings pictures
    pump(1);
    EXPECT_EQ(b.Numframe.load(), 1);
    EXPECT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);
}

TEST_F(Intake, FullQueueWaitsAboutASecondThenDropsAndTheChannelRecoversAtTheNextKeyFrame) {
    for (uint32_t i = 0; i < 32; ++i) {
        sendVideo(0, i, static_cast<int>(i));
    }
    pump(32);
    ASSERT_EQ(b.Numframe.load(), 32);
    sendVideo(0, 32, 32);
    const auto start = Clock::now();
    pump(1);
    const double waited = SecondsSince(start);
    EXPECT_GE(waited, 0.95);
    EXPECT_LT(waited, 2.5);
    EXPECT_EQ(b.Numframe.load(), 32);
    EXPECT_EQ(b.stats[0].dropped.load(), 1u);
    EXPECT_EQ(vc->frameNumber[0][0], 33u);  // the count stays in step with the DVR
    // The client asked the DVR for a key frame.
    auto sent = peer->receivedCommands();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back().iCmd, NET_KEY_FRAME);

    for (int i = 0; i < 10; ++i) {
        b.popOldest();
    }
    // P frames after the drop would decode against a missing picture: skipped until the key frame.
    for (uint32_t i = 33; i < 42; ++i) {
        sendVideo(0, i, static_cast<int>(i));
    }
    pump(9);
    EXPECT_EQ(b.Numframe.load(), 22 + 2);  // 40 (a key frame) and 41
    auto numbers = queuedFrameNumbers();
    EXPECT_EQ(numbers[numbers.size() - 2], 40u);
    EXPECT_EQ(numbers.back(), 41u);
    EXPECT_EQ(b.stats[0].dropped.load(), 1u + 7u);
}

class Replies : public Intake {};

TEST_F(Replies, DiskInformationKeepsEightRecordsAndStaysInStep) {
    std::vector<uint8_t> disks;
    for (int i = 0; i < 10; ++i) {
        NET_SEND_INFO d{};
        d.start_rec_time = 1000 + i;
        d.end_rec_time = 2000 + i;
        const auto* p = reinterpret_cast<const uint8_t*>(&d);
        disks.insert(disks.end(), p, p + sizeof d);
    }
    vc->SetRecCmd(b, INFO_DISK);
    peer->send(CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_DISK, 10), disks));
    sendVideo(0, 0, 0);
    pump(2);
    EXPECT_EQ(b.RecvCmd.load(), 0);
    EXPECT_EQ(vc->Dvrinfo[0].iDiskNum, 8);
    EXPECT_EQ(vc->Dvrinfo[0].stNetDiskInfo[0].start_rec_time, 1000);
    EXPECT_EQ(vc->Dvrinfo[0].stNetDiskInfo[7].end_rec_time, 2007);
    EXPECT_EQ(b.Numframe.load(), 1);  // the frame after the ten records was read as a frame
}

TEST_F(Replies, RecordListPageIsWrittenToItsDestinationAndBoundedToOnePage) {
    RecordListPage page = {};
    vc->pFileShow[0] = &page;
    std::vector<uint8_t> entries(301 * sizeof(GST_FILESHOWINFO));
    for (int i = 0; i < 301; ++i) {
        GST_FILESHOWINFO e{};
        e.iCam = 1 << (i % 4);
        e.fileStartTime = 100 + i;
        std::memcpy(entries.data() + i * sizeof e, &e, sizeof e);
    }
    vc->SetRecCmd(b, INFO_RECORD_LIST);
    peer->send(CommandUnit(
        MakeCommand(NET_OTHER_INFO, INFO_RECORD_LIST, 2, static_cast<int32_t>(entries.size())),
        entries));
    sendVideo(0, 0, 0);
    pump(2);
    EXPECT_EQ(vc->m_listPage[0].load(), 2);
    EXPECT_EQ(b.RecvCmd.load(), 0);
    EXPECT_EQ(page[0].fileStartTime, 100);
    EXPECT_EQ(page[299].fileStartTime, 399);
    EXPECT_EQ(b.Numframe.load(), 1);  // the 301st entry was read off and dropped
}

TEST_F(Replies, RecordListWithoutDestinationOrPagesIsReadOffAndDropped) {
    vc->pFileShow[0] = nullptr;
    peer->send(CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_RECORD_LIST, 1, 92),
                           std::vector<uint8_t>(92, 0x11)));
    // No pages: nothing follows, whatever the length says.
    peer->send(CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_RECORD_LIST, 0, 92)));
    sendVideo(0, 0, 0);
    pump(3);
    EXPECT_EQ(vc->m_listPage[0].load(), 0);
    EXPECT_EQ(b.Numframe.load(), 1);
    EXPECT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);
}

TEST_F(Replies, NegativeRecordListLengthIsAProtocolError) {
    peer->send(CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_RECORD_LIST, 1, -92)));
    pump(1);
    EXPECT_EQ(b.CurNetStatus.load(), NET_ERROR);
}

TEST_F(Replies, PlayStateStartsPlaybackOrGivesTheRefusalReason) {
    vc->SetRecCmd(b, INFO_PLAY_STATE);
    b.CurNetStatus.store(NET_CONNECTED);
    peer->send(CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_PLAY_STATE, 9)));
    pump(1);
    EXPECT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);
    EXPECT_EQ(b.RecvCmd.load(), 0);
    peer->send(CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_PLAY_STATE, 8, 17)));
    pump(1);
    EXPECT_EQ(b.Results.load(), -1012);
    peer->send(CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_PLAY_STATE, 8, 3)));
    pump(1);
    EXPECT_EQ(b.Results.load(), -1011);
}

class ReceiveThread : public Intake {
  protected:
    void SetUp() override { vc->StartReceiveThread(0); }
};

TEST_F(ReceiveThread, WaitForAReplyEndsAfterSixtyChecksAndIgnoresUnknownSubtypes) {
    vc->SetRecCmd(b, INFO_RECORD_LIST);
    peer->send(CommandUnit(MakeCommand(NET_OTHER_INFO, 3)));  // not what is awaited
    const auto start = Clock::now();
    EXPECT_EQ(vc->WaitRecCmd(b), -1);
    const double waited = SecondsSince(start);
    EXPECT_GE(waited, 5.8);
    EXPECT_LT(waited, 7.0);
    EXPECT_EQ(b.CurNetStatus.load(), NET_DATA_SEND);
}

TEST_F(ReceiveThread, ALateReplyToAnotherRequestLeavesTheWaitForItsOwnReply) {
    vc->SetRecCmd(b, INFO_DISK);
    std::thread dvr([&] {
        // The answer to a search that gave up comes first, the disk information later.
        peer->send(CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_RECORD_LIST, 0, 0)));
        std::this_thread::sleep_for(300ms);
        NET_SEND_INFO disk{};
        disk.end_rec_time = 5000;
        const auto* p = reinterpret_cast<const uint8_t*>(&disk);
        peer->send(CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_DISK, 1),
                               std::vector<uint8_t>(p, p + sizeof disk)));
    });
    const auto start = Clock::now();
    EXPECT_EQ(vc->WaitRecCmd(b), 1);
    EXPECT_GE(SecondsSince(start), 0.25);
    dvr.join();
    std::lock_guard<std::mutex> g(b.replyLock);
    EXPECT_EQ(vc->Dvrinfo[0].iDiskNum, 1);
    EXPECT_EQ(vc->Dvrinfo[0].stNetDiskInfo[0].end_rec_time, 5000);
}

TEST_F(ReceiveThread, WaitEndsWhenTheReplyArrivesOrTheConnectionBreaks) {
    vc->SetRecCmd(b, INFO_DISK);
    std::thread late([&] {
        std::this_thread::sleep_for(300ms);
        peer->send(CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_DISK, 0)));
    });
    auto start = Clock::now();
    EXPECT_EQ(vc->WaitRecCmd(b), 1);
    EXPECT_LT(SecondsSince(start), 1.0);
    late.join();

    vc->SetRecCmd(b, INFO_DISK);
    std::thread breaker([&] {
        std::this_thread::sleep_for(300ms);
        peer->close();
    });
    start = Clock::now();
    EXPECT_EQ(vc->WaitRecCmd(b), 1);
    EXPECT_LT(SecondsSince(start), 1.0);
    breaker.join();
    EXPECT_EQ(b.CurNetStatus.load(), NET_ERROR);
}

TEST_F(ReceiveThread, DvrClosingInTheMiddleOfAFrameEndsInAnError) {
    std::vector<uint8_t> unit = FrameUnit(FrameSpec{}, Clip()[0]);
    unit.resize(unit.size() / 2);
    peer->send(unit);
    peer->close();
    const auto start = Clock::now();
    while (b.CurNetStatus.load() != NET_ERROR && SecondsSince(start) < 5) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(b.CurNetStatus.load(), NET_ERROR);
    EXPECT_EQ(b.socket.load(), 0);
    EXPECT_EQ(b.Numframe.load(), 0);
}

TEST_F(ReceiveThread, DisconnectWakesTheThreadStalledInAFrameAndItServesTheNextConnection) {
    std::vector<uint8_t> unit = FrameUnit(FrameSpec{}, Clip()[0]);
    unit.resize(unit.size() - 10);  // the DVR stalls before the end of the payload
    peer->send(unit);
    peer->flush();
    std::this_thread::sleep_for(200ms);
    vc->Disconnect(b);
    EXPECT_EQ(b.CurNetStatus.load(), NET_DISCONNECTED);

    auto next = std::make_unique<StreamPeer>(b);
    FrameSpec desc;
    next->send(FrameUnit(desc, Clip()[0]));
    desc.frameNo = 1;
    next->send(FrameUnit(desc, Clip()[1]));
    NET_FRAME_HEADER h;
    const uint8_t* pixels = nullptr;
    ASSERT_TRUE(b.peekOldest(2, 3s, h, pixels));
    EXPECT_EQ(h.frameNo, 0u);
}

}  // namespace
