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

// Connecting.StreamSetUpCarriesTheBitRateAndFrameRateOfEveryIndex checks on the wire every index
// the property dialog offers; these are the ones it does not.
TEST(StreamSettings, IndexesBeyondTheTablesGiveSixteenFpsAndTheHighQualitysBitRate) {
    EXPECT_EQ(StreamFrameRate(-1), 16);
    EXPECT_EQ(StreamFrameRate(6), 16);
    EXPECT_EQ(StreamBitRate(7, 3), 120);
    EXPECT_EQ(StreamBitRate(-1, 25), 1000);
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
