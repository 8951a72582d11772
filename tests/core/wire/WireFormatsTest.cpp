// The lookup message, the stream settings of a saved entry and the fixed-width text fields.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>

#include "core/support/FixedText.h"
#include "core/wire/StreamSettings.h"
#include "core/wire/WireFormats.h"

namespace {

TEST(LookupMessage, RequestIsTheRecordFollowedByZerosAndReadsBackAsSent) {
    NET_REQUEST sent{};
    sent.cmd = REQ_DVR_IP;
    SetText(sent.ip, "DVR123456");
    SetText(sent.client, "pc");
    sent.port1 = 6036;
    sent.port2 = 7;
    unsigned char buf[kLookupMessageSize];
    std::memset(buf, 0xAB, sizeof buf);
    SetClientRequestToSendDate(buf, sent);
    EXPECT_EQ(std::memcmp(buf, &sent, sizeof sent), 0);
    EXPECT_TRUE(std::all_of(buf + sizeof sent, std::end(buf), [](auto b) { return b == 0; }));
    NET_REQUEST got;
    std::memset(&got, 0x55, sizeof got);
    GetClientRequest(got, buf);
    EXPECT_EQ(std::memcmp(&got, &sent, sizeof got), 0);
}

TEST(LookupMessage, ReplyTextsAreBoundedAndTerminatedWhateverThePeerSent) {
    unsigned char buf[kLookupMessageSize];
    std::memset(buf, 'x', sizeof buf);  // no terminator anywhere
    NET_REQUEST r;
    GetClientRequest(r, buf);
    EXPECT_EQ(TextOf(r.ip), std::string(199, 'x'));
    EXPECT_EQ(TextOf(r.client), std::string(9, 'x'));
    EXPECT_EQ(TextOf(r.extra), std::string(9, 'x'));
}

// The property dialog's indexes and those beyond the tables (16 fps, the high quality's bit rate).
TEST(StreamSettings, EachIndexGivesItsFrameRateAndTheBitRateOfItsQualityAtThatRate) {
    const int32_t fps[] = {16, 1, 3, 6, 10, 20, 25, 16};  // indexes -1 to 6
    for (int32_t index = -1; index <= 6; ++index) {
        EXPECT_EQ(StreamFrameRate(index), fps[index + 1]) << index;
    }
    // Quality index, frames per second, kbit/s: 384, 512 or 1024 at 25 fps, in proportion.
    const int32_t rates[][3] = {{0, 1, 15},  {0, 25, 375}, {1, 6, 120}, {1, 20, 400},
                                {2, 3, 120}, {2, 16, 640}, {7, 3, 120}, {-1, 25, 1000}};
    for (const auto& [quality, rate, kbits] : rates) {
        EXPECT_EQ(StreamBitRate(quality, rate), kbits) << quality << " at " << rate;
    }
}

TEST(FixedText, TextIsCutToLeaveItsTerminatorAndTheRestOfTheFieldIsZeroed) {
    // Text, whether it is UTF-8, and what a 10-byte field keeps of it.
    const std::tuple<const char*, bool, const char*> cases[] = {
        {"abcdefghijklmnop", false, "abcdefghi"},
        {"ab", false, "ab"},
        {"abcdefg\xE2\x82\xAC", false, "abcdefg\xE2\x82"},  // "€" cut in the middle ...
        {"abcdefg\xE2\x82\xAC", true, "abcdefg"},           // ... or left out whole
        {"abcdef\xE2\x82\xAC", true, "abcdef\xE2\x82\xAC"}};
    for (const auto& [text, utf8, kept] : cases) {
        char field[10];
        std::memset(field, 'q', sizeof field);
        SetText(field, text, utf8);
        char expected[10] = {};
        std::memcpy(expected, kept, std::strlen(kept));
        EXPECT_EQ(std::string(field, 10), std::string(expected, 10)) << text;
    }
}

}  // namespace
