#include "core/directory/SaveInfo.h"

#include "core/support/FixedText.h"

SAVE_INFO_STRUCT NewSaveInfo(std::string_view server, std::string_view user, std::string_view pass,
                             std::string_view showName) {
    SAVE_INFO_STRUCT e{};
    SetText(e.server, server);
    SetText(e.user, user);
    SetText(e.pass, pass);
    SetText(e.showName, showName, /*utf8=*/true);
    e.isValue = 1;
    e.cam = kAllChannels;
    e.frame_rate = kDefaultFrameRateIndex;
    e.qulity = kDefaultQualityIndex;
    return e;
}
