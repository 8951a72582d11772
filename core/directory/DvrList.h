// The DVR list part: the saved entries (Userinfo) and how many are in use (usercount). Entries 0
// to usercount - 1 are in use, in list order; the DVR number of an entry is its position.
//
// Threads: the GUI thread changes the list; any thread reads an entry through EntryCopy() (connect
// threads read their entry afresh at each attempt). userinfoLock is held only for a copy.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "core/directory/SaveInfo.h"
#include "core/directory/UserListFile.h"

class DvrList {
  public:
    // The usual list file: ~/userinfo/info.uss, with ~ the HOME of the process.
    static std::string ListFilePath();
    // The file this list is read from and saved to: the usual one unless another was set (at
    // start-up, before the list is read; GUI thread).
    std::string FilePath() const { return filePath_.empty() ? ListFilePath() : filePath_; }
    void SetFilePath(const std::string& path) { filePath_ = path; }

    // Entry `dvr` as it is now; an empty entry outside the table. Any thread.
    SAVE_INFO_STRUCT EntryCopy(int dvr) const;
    int32_t count() const { return usercount.load(); }

    // Appends an entry; its DVR number, or -1 when all 64 are in use.
    int Append(const SAVE_INFO_STRUCT& entry);
    // Replaces entry `dvr` (0 to count - 1); false for another number.
    bool Replace(int dvr, const SAVE_INFO_STRUCT& entry);
    // Writes entry `dvr` and counts it in use, with every entry before it (a saved entry is
    // written in place; the probe and the benchmarks fill the list this way).
    void Store(int dvr, const SAVE_INFO_STRUCT& entry);
    // Removes entry `dvr`: the later entries move down one place, closing the gap.
    void moveUser(int dvr);

    // The entries as the list file holds them, and back (the image must be normalised).
    void CopyInto(UserListImage& image) const;
    void LoadFrom(const UserListImage& image, int used);

  private:
    mutable std::mutex userinfoLock;
    SAVE_INFO_STRUCT Userinfo[kMaxDvrs] = {};  // under userinfoLock
    std::atomic<int32_t> usercount{0};         // written under userinfoLock
    std::string filePath_;
};
