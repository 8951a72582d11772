#include "core/directory/DvrList.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

std::string DvrList::ListFilePath() {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* pw = ::getpwuid(::getuid());
        home = pw ? pw->pw_dir : "/";
    }
    return std::string(home) + "/userinfo/info.uss";
}

SAVE_INFO_STRUCT DvrList::EntryCopy(int dvr) const {
    if (dvr < 0 || dvr >= kMaxDvrs) {
        return SAVE_INFO_STRUCT{};
    }
    std::lock_guard<std::mutex> g(userinfoLock);
    return Userinfo[dvr];
}

int DvrList::Append(const SAVE_INFO_STRUCT& entry) {
    std::lock_guard<std::mutex> g(userinfoLock);
    const int index = usercount.load();
    if (index >= kMaxDvrs) {
        return -1;
    }
    Userinfo[index] = entry;
    usercount.store(index + 1);
    return index;
}

bool DvrList::Replace(int dvr, const SAVE_INFO_STRUCT& entry) {
    std::lock_guard<std::mutex> g(userinfoLock);
    if (dvr < 0 || dvr >= usercount.load()) {
        return false;
    }
    Userinfo[dvr] = entry;
    return true;
}

void DvrList::Store(int dvr, const SAVE_INFO_STRUCT& entry) {
    if (dvr < 0 || dvr >= kMaxDvrs) {
        return;
    }
    std::lock_guard<std::mutex> g(userinfoLock);
    Userinfo[dvr] = entry;
    usercount.store(std::max(usercount.load(), dvr + 1));
}

void DvrList::moveUser(int dvr) {
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

void DvrList::CopyInto(UserListImage& image) const {
    std::lock_guard<std::mutex> g(userinfoLock);
    std::copy(std::begin(Userinfo), std::end(Userinfo), image.entries);
}

void DvrList::LoadFrom(const UserListImage& image, int used) {
    std::lock_guard<std::mutex> g(userinfoLock);
    std::copy(std::begin(image.entries), std::end(image.entries), Userinfo);
    usercount.store(std::clamp(used, 0, kMaxDvrs));
}
