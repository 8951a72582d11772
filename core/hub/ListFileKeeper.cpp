#include "core/hub/ListFileKeeper.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "core/directory/DvrList.h"
#include "core/layout/ScreenLayout.h"
#include "core/ports/UiPort.h"
#include "core/support/FixedText.h"
#include "core/support/Log.h"

ListFileKeeper::ListFileKeeper(DvrList& list, ScreenLayout& layout, UiPort& ui)
    : list_(list), layout_(layout), ui_(ui) {}

int32_t ListFileKeeper::LoadUserInfoFromFile() {
    const std::string path = list_.FilePath();
    // Loading starts from the tables as they are: what a short file lacks keeps its value.
    auto image = std::make_unique<UserListImage>();
    list_.CopyInto(*image);
    layout_.CopyCodes(image->codes);
    int error = 0;
    if (ReadUserList(path, *image, &error) < 0) {
        QLog("file open error!");
        if (error != ENOENT) {
            // A list that is there but cannot be read is never written over: the operator's
            // DVRs may all be in it.
            listUnreadable_ = true;
            ui_.MessageBox(std::nullopt,
                           "The DVR list " + path + " could not be read (" + std::strerror(error) +
                               "). The list starts empty and no change is saved until the next "
                               "start.");
        }
        return -1;
    }
    const int used = NormaliseUserList(*image);
    list_.LoadFrom(*image, used);
    layout_.LoadCodes(image->codes);
    for (int i = 0; i < used; ++i) {
        ui_.AppendNode(std::string(TextOf(image->entries[i].showName)));
    }
    QLog("%s", path.c_str());
    return 1;
}

int32_t ListFileKeeper::UnloadUserInfoToFile() {
    const std::string path = list_.FilePath();
    if (listUnreadable_) {
        QLog("the DVR list %s was not read: not saved", path.c_str());
        return -1;
    }
    auto image = std::make_unique<UserListImage>();
    list_.CopyInto(*image);
    layout_.CopyCodes(image->codes);
    if (!WriteUserList(path, *image)) {
        QLog("file open error!");
        // The change stays in memory; the operator must know it is not on disk.
        ui_.MessageBox(std::nullopt, "The DVR list could not be saved to " + path + ".");
        return -1;
    }
    QLog("%s", path.c_str());
    return 1;
}
