#include "core/directory/UserListFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

template <std::size_t N>
void Terminate(char (&field)[N]) {
    if (::memchr(field, '\0', N) == nullptr) {
        field[N - 1] = '\0';
    }
}

bool WriteAll(int fd, const void* data, std::size_t n) {
    auto* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) {
            continue;
        }
        if (w <= 0) {
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

}  // namespace

long ReadUserList(const std::string& path, UserListImage& image, int* error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (error) {
            *error = errno;
        }
        return -1;
    }
    // Read into a copy: a read that fails half way leaves the tables as they were.
    auto copy = std::make_unique<UserListImage>(image);
    const std::size_t n = std::fread(copy.get(), 1, sizeof *copy, f);
    const bool failed = std::ferror(f) != 0;
    const int readError = errno;
    std::fclose(f);
    if (failed) {
        if (error) {
            *error = readError;
        }
        return -1;
    }
    image = *copy;
    return static_cast<long>(n);
}

int NormaliseUserList(UserListImage& image) {
    SAVE_INFO_STRUCT used[kMaxDvrs];
    SAVE_INFO_STRUCT freeSlots[kMaxDvrs];
    int usedCount = 0;
    int freeCount = 0;
    for (auto& e : image.entries) {
        if (e.isValue == 1) {
            Terminate(e.server);
            Terminate(e.port);
            Terminate(e.user);
            Terminate(e.pass);
            Terminate(e.showName);
            Terminate(e.path);
            used[usedCount++] = e;
        } else {
            freeSlots[freeCount++] = e;
        }
    }
    std::memcpy(image.entries, used,
                sizeof(SAVE_INFO_STRUCT) * static_cast<std::size_t>(usedCount));
    std::memcpy(image.entries + usedCount, freeSlots,
                sizeof(SAVE_INFO_STRUCT) * static_cast<std::size_t>(freeCount));
    return usedCount;
}

bool WriteUserList(const std::string& path, const UserListImage& image) {
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    std::string temp = dir + "/.info.uss.XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        return false;
    }
    const bool ok =
        ::fchmod(fd, 0600) == 0 && WriteAll(fd, &image, sizeof image) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}
