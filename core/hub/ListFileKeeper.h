// The saved DVR list on disk: read into the list and the pane assignment at start-up, written
// back after each change. A file that is there but cannot be read is never written over (the
// operator's DVRs may all be in it); a failed save is told to the operator.
//
// Threads: GUI thread only. It holds the list, the layout and the UI port it was made with, which
// outlive it.
#pragma once

#include <cstdint>

class DvrList;
class ScreenLayout;
class UiPort;

class ListFileKeeper {
  public:
    ListFileKeeper(DvrList& list, ScreenLayout& layout, UiPort& ui);

    // Start-up, while the list is empty: the entries and pane codes, a node per entry. 1, or -1
    // when the file could not be read (a missing file says nothing).
    int32_t LoadUserInfoFromFile();
    // 1, or -1 when nothing was written.
    int32_t UnloadUserInfoToFile();

  private:
    DvrList& list_;
    ScreenLayout& layout_;
    UiPort& ui_;
    bool listUnreadable_ = false;  // the list file was there but unreadable: never written over
};
