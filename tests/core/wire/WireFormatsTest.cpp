#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/support/FixedText.h"
#include "core/wire/StreamSettings.h"
#include "core/wire/WireFormats.h"

namespace {

template <typename T>
std::string Bytes(const T& record) {
    std::string out;
    auto* p = reinterpret_cast<const unsigned char*>(&record);
    char hex[3];
    for (std::size_t i = 0; i < sizeof record; ++i) {
        std::snprintf(hex, sizeof hex, "%02x", p[i]);
        out += hex;
    }
    return out;
}

TEST(WireFormats, CommandRecordIsFiveLittleEndianWords) {
    EXPECT_EQ(Bytes(MakeCommand(NET_PTZ, 1009, -1, 1017)),
              "10000000"
              "f1030000"
              "ffffffff"
              "f9030000"
              "00000000");
}

TEST(WireFormats, FrameHeaderFieldsSitAtTheirOffsets) {
    unsigned char raw[36] = {};
    raw[0] = 0x00, raw[1] = 0x00, raw[2] = 0x30;  // dataLen 0x300000
    raw[20] = 'V';
    raw[24] = 31;
    raw[28] = 1;
    raw[29] = 2;
    raw[32] = 7;
    NET_FRAME_HEADER h;
    std::memcpy(&h, raw, sizeof h);
    EXPECT_EQ(h.dataLen, kMaxFramePayload);
    EXPECT_EQ(h.type, 'V');
    EXPECT_EQ(h.channel, 31);
    EXPECT_EQ(h.videoStandard, 1);
    EXPECT_EQ(h.imageSize, 2);
    EXPECT_EQ(h.frameNo, 7u);
}

TEST(LookupMessage, RequestIsTheRecordFollowedByZeros) {
    NET_REQUEST r{};
    r.cmd = REQ_DVR_IP;
    SetText(r.ip, "DVR123456");
    SetText(r.client, "pc");
    unsigned char buf[kLookupMessageSize];
    std::memset(buf, 0xAB, sizeof buf);
    SetClientRequestToSendDate(buf, r);
    EXPECT_EQ(buf[0], 101);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf) + 4), "DVR123456");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf) + 204), "pc");
    for (std::size_t i = 4 + 9; i < 204; ++i) {
        ASSERT_EQ(buf[i], 0) << i;
    }
    for (std::size_t i = 206; i < kLookupMessageSize; ++i) {
        ASSERT_EQ(buf[i], 0) << i;
    }
}

TEST(LookupMessage, ReplyTextsAreBoundedAndTerminatedWhateverThePeerSent) {
    unsigned char buf[kLookupMessageSize];
    std::memset(buf, 'x', sizeof buf);  // no terminator anywhere
    int32_t port = 5000;
    std::memcpy(buf + 224, &port, 4);
    NET_REQUEST r;
    std::memset(&r, 0x55, sizeof r);
    GetClientRequest(r, buf);
    EXPECT_EQ(TextOf(r.ip).size(), 199u);
    EXPECT_EQ(r.ip[199], '\0');
    EXPECT_EQ(TextOf(r.client), std::string(9, 'x'));
    EXPECT_EQ(TextOf(r.extra), std::string(9, 'x'));
    EXPECT_EQ(r.port1, 5000);
}

TEST(LookupMessage, ReplyFieldsAreReadFromTheirOffsets) {
    NET_REQUEST sent{};
    sent.cmd = DVR_NOT_ONLINE;
    SetText(sent.ip, "10.0.0.9");
    sent.port1 = 6036;
    sent.port2 = 7;
    unsigned char buf[kLookupMessageSize];
    SetClientRequestToSendDate(buf, sent);
    NET_REQUEST got;
    GetClientRequest(got, buf);
    EXPECT_EQ(got.cmd, DVR_NOT_ONLINE);
    EXPECT_EQ(TextOf(got.ip), "10.0.0.9");
    EXPECT_EQ(got.port1, 6036);
    EXPECT_EQ(got.port2, 7);
}

TEST(StreamSettings, FrameRateFollowsTheIndexWithSixteenForAnyOther) {
    const int32_t expected[] = {1, 3, 6, 10, 20, 25};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(StreamFrameRate(i), expected[i]) << i;
    }
    EXPECT_EQ(StreamFrameRate(6), 16);
    EXPECT_EQ(StreamFrameRate(-1), 16);
}

TEST(StreamSettings, BitRateIsTheBaseOverTwentyFiveTimesTheFrameRate) {
    EXPECT_EQ(StreamBitRate(0, 25), 15 * 25);
    EXPECT_EQ(StreamBitRate(1, 25), 20 * 25);
    EXPECT_EQ(StreamBitRate(2, 25), 40 * 25);
    EXPECT_EQ(StreamBitRate(7, 3), 40 * 3);
    EXPECT_EQ(StreamBitRate(0, 1), 15);
}

TEST(FixedText, LongTextIsCutToFitWithItsTerminator) {
    char field[10];
    std::memset(field, 'q', sizeof field);
    SetText(field, "abcdefghijklmnop");
    EXPECT_EQ(std::string(field), "abcdefghi");
    SetText(field, "ab");
    EXPECT_EQ(field[2], '\0');
    EXPECT_EQ(field[9], '\0');
}

TEST(FixedText, Utf8CutNeverSplitsACharacter) {
    char field[6];
    SetText(field, "ab\xC3\xA9\xC3\xA9", /*utf8=*/true);  // "abéé": 6 bytes, 5 fit
    EXPECT_EQ(std::string(field), "ab\xC3\xA9");
}

}  // namespace
