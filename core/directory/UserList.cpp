// The saved DVR list of the controller: loading, saving, adding, removing and editing entries.
#include <pwd.h>
#include <unistd.h>
#include <cstdlib>

#include "core/ViewController.h"
#include "core/directory/UserListFile.h"
#include "core/support/FixedText.h"
#include "core/support/Log.h"

std::string ViewController::ListFilePath() {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* pw = ::getpwuid(::getuid());
        home = pw ? pw->pw_dir : "/";
    }
    return std::string(home) + "/userinfo/info.uss";
}

std::unique_ptr<UserListImage> ViewController::TablesImage() const {
    auto image = std::make_unique<UserListImage>();
    {
        std::lock_guard<std::mutex> g(userinfoLock);
        std::copy(std::begin(Userinfo), std::end(Userinfo), image->entries);
    }
    for (int p = 0; p < kPanes; ++p) {
        image->codes[p] = m_selfChannel[p].load();
    }
    return image;
}

int32_t ViewController::LoadUserInfoFromFile() {
    const std::string path = ListFilePath();
    std::unique_ptr<UserListImage> image = TablesImage();
    if (ReadUserList(path, *image) < 0) {
        QLog("file open error!");
        return -1;
    }
    const int used = NormaliseUserList(*image);
    {
        std::lock_guard<std::mutex> g(userinfoLock);
        std::copy(std::begin(image->entries), std::end(image->entries), Userinfo);
        usercount.store(used);
    }
    for (int p = 0; p < kPanes; ++p) {
        m_selfChannel[p].store(image->codes[p]);
    }
    for (int i = 0; i < used; ++i) {
        ui_.appendNode(std::string(TextOf(image->entries[i].showName)));
    }
    QLog("%s", path.c_str());
    return 1;
}

int32_t ViewController::UnloadUserInfoToFile() {
    const std::string path = ListFilePath();
    std::unique_ptr<UserListImage> image = TablesImage();
    if (!WriteUserList(path, *image)) {
        QLog("file open error!");
        // The change stays in memory; the operator must know it is not on disk.
        MessageBox("The DVR list could not be saved to " + path + ".");
        return -1;
    }
    QLog("%s", path.c_str());
    return 1;
}

int32_t ViewController::AddDVRNode(const std::string& server, const std::string& user,
                                   const std::string& pass, const std::string& showName) {
    const int index = usercount.load();
    if (index >= kMaxDvrs) {
        MessageBox("The list is full: at most 64 DVRs can be saved.");
        return -1;
    }
    const SAVE_INFO_STRUCT entry = NewSaveInfo(server, user, pass, showName);
    ui_.appendNode(std::string(TextOf(entry.showName)));
    {
        std::lock_guard<std::mutex> g(userinfoLock);
        Userinfo[index] = entry;
        usercount.store(index + 1);
    }
    UnloadUserInfoToFile();
    return 1;
}

void ViewController::moveUser(int dvr) {
    std::lock_guard<std::mutex> g(userinfoLock);
    if (dvr < 0 || dvr >= kMaxDvrs) {
        return;
    }
    for (int j = dvr; j < kMaxDvrs - 1; ++j) {
        Userinfo[j] = Userinfo[j + 1];
    }
    Userinfo[kMaxDvrs - 1] = SAVE_INFO_STRUCT{};
    usercount.store(std::max(0, usercount.load() - 1));
}

void ViewController::DeleteUser() {
    const int i = GetCurrentDVR();
    const int count = usercount.load();
    if (i < 0 || i >= count) {
        return;
    }
    if (!ui_.confirm("Delete the server?", "Deleted server cannot be restored.")) {
        return;
    }
    ui_.removeNode(i);
    {
        // From here on, attempts under way for these slots belong to DVRs that moved or are gone.
        std::lock_guard<std::mutex> g(slotLock_);
        for (int d = i; d < kMaxDvrs; ++d) {
            ++slotGeneration_[d];
            attemptRunning_[d] = false;
        }
    }
    for (int d = i; d < count; ++d) {
        NetCtrl_Struct& b = NetCtrl[d];
        Disconnect(b);
        b.ViewOrBack.store(VIEW_LIVE);
        if (receiveThread_[d].joinable()) {
            b.resetRequested.store(true);
            b.wakeReceiver();
        } else {
            ResetSlot(b, d);
        }
    }
    moveUser(i);
    // Panes keep showing the cameras the operator chose: codes of the deleted DVR become
    // unassigned, codes of the DVRs after it follow their entries down.
    for (auto& code : m_selfChannel) {
        const int32_t v = code.load();
        if (v < 0) {
            continue;
        }
        const int32_t dvr = v / 100;
        if (dvr == i) {
            code.store(-1);
        } else if (dvr > i && dvr < kMaxDvrs) {
            code.store(v - 100);
        }
    }
    ui_.clearSelection();
    ui_.reloadTree();
    // Titles posted by attempts that were under way are overtaken by these.
    for (int d = 0; d < usercount.load(); ++d) {
        showDVRName(d);
    }
    UnloadUserInfoToFile();
}

void ViewController::SavePropertyEntry(int dvr, const SAVE_INFO_STRUCT& edited) {
    if (dvr < 0 || dvr >= usercount.load()) {
        return;
    }
    {
        std::lock_guard<std::mutex> g(userinfoLock);
        Userinfo[dvr] = edited;
    }
    UnloadUserInfoToFile();
    ChangeView(dvr, std::string(TextOf(edited.showName)));
}
