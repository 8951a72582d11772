#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/directory/SaveInfo.h"
#include "core/support/FixedText.h"

namespace {

TEST(SaveInfo, NewEntryHasEveryChannelTwentyFiveFpsAndHighQuality) {
    const SAVE_INFO_STRUCT e = NewSaveInfo("10.1.2.3:5000", "admin", "pw", "Gate");
    unsigned char raw[sizeof e];
    std::memcpy(raw, &e, sizeof e);
    EXPECT_EQ(raw[1130], 1);  // isValue
    EXPECT_EQ(raw[1131], 0);
    for (int i = 1132; i < 1136; ++i) {
        EXPECT_EQ(raw[i], 0xFF) << i;  // cam FFFFFFFF
    }
    EXPECT_EQ(raw[1136], 5);  // frame_rate
    EXPECT_EQ(raw[1140], 2);  // qulity
    for (int i = 1144; i < 1160; ++i) {
        EXPECT_EQ(raw[i], 0) << i;  // send_sound, auto_connect, alarm_output, overwrite
    }
    for (int i = 50; i < 60; ++i) {
        EXPECT_EQ(raw[i], 0) << i;  // port
    }
    for (int i = 130; i < 1130; ++i) {
        ASSERT_EQ(raw[i], 0) << i;  // path
    }
    EXPECT_EQ(std::string(reinterpret_cast<char*>(raw)), "10.1.2.3:5000");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(raw) + 60), "admin");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(raw) + 70), "pw");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(raw) + 80), "Gate");
}

TEST(SaveInfo, TextLongerThanItsFieldIsCutWithItsTerminatorAndNeighboursUntouched) {
    const std::string longServer(80, 's');
    const SAVE_INFO_STRUCT e =
        NewSaveInfo(longServer, "user-name-too-long", "password-too-long", std::string(70, 'n'));
    EXPECT_EQ(TextOf(e.server), std::string(49, 's'));
    EXPECT_EQ(e.server[49], '\0');
    EXPECT_EQ(TextOf(e.port), "");
    EXPECT_EQ(TextOf(e.user), "user-name");
    EXPECT_EQ(TextOf(e.pass), "password-");
    EXPECT_EQ(TextOf(e.showName), std::string(49, 'n'));
    EXPECT_EQ(e.path[0], '\0');
}

TEST(SaveInfo, LongDisplayNameIsCutOnACharacterBoundary) {
    std::string name;
    for (int i = 0; i < 30; ++i) {
        name += "\xC3\xBC";  // "ü", two bytes each: 60 bytes
    }
    const SAVE_INFO_STRUCT e = NewSaveInfo("h:1", "u", "p", name);
    EXPECT_EQ(TextOf(e.showName).size(), 48u);  // 24 whole characters; a 49th byte would split one
    EXPECT_EQ(TextOf(e.showName), name.substr(0, 48));
}

}  // namespace
