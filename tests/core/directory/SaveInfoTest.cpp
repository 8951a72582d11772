#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "core/directory/SaveInfo.h"

namespace {

// A new entry holds its texts, cut to their fields with room for the terminator, is in use with
// every channel, 25 fps and high quality, and every other byte is zero.
TEST(SaveInfo, NewEntryHoldsItsTextsCutToTheirFieldsTheDefaultsAndZeros) {
    std::string umlauts;
    for (int i = 0; i < 30; ++i) {
        umlauts += "\xC3\xBC";  // "ü", two bytes each
    }
    // Server, user, password and display name given, then what the entry keeps of each.
    const std::array<std::string, 8> cases[] = {
        {"10.1.2.3:5000", "admin", "pw", "Gate", "10.1.2.3:5000", "admin", "pw", "Gate"},
        {std::string(80, 's'), "user-name-too-long", "password-too-long", std::string(70, 'n'),
         std::string(49, 's'), "user-name", "password-", std::string(49, 'n')},
        // The display name is cut on a character boundary: a 49th byte would split one.
        {"h:1", "u", "p", umlauts, "h:1", "u", "p", umlauts.substr(0, 48)}};
    for (const auto& [server, user, pass, name, keptServer, keptUser, keptPass, keptName] : cases) {
        SCOPED_TRACE(name);
        SAVE_INFO_STRUCT expected{};
        std::memcpy(expected.server, keptServer.data(), keptServer.size());
        std::memcpy(expected.user, keptUser.data(), keptUser.size());
        std::memcpy(expected.pass, keptPass.data(), keptPass.size());
        std::memcpy(expected.showName, keptName.data(), keptName.size());
        expected.isValue = 1;
        expected.cam = 0xFFFFFFFFu;
        expected.frame_rate = 5;
        expected.qulity = 2;
        const SAVE_INFO_STRUCT e = NewSaveInfo(server, user, pass, name);
        EXPECT_EQ(std::memcmp(&e, &expected, sizeof e), 0);
    }
}

}  // namespace
