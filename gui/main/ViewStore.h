// Named views: a split, its page, the DVR shown alone (or the all-DVR view) and the pane
// assignment, saved under a name the operator gives. They are kept in their own settings file in
// the user's configuration folder (Quillmarsh/Views.conf), never in the DVR list, and follow a
// DVR's delete and renumbering as the pane codes do.
//
// Threads: GUI thread.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

struct SavedView {
    QString name;
    int split = 36;
    int page = 0;                // from 0
    int dvr = -1;                // the DVR shown alone, -1 for the all-DVR view
    std::vector<int32_t> codes;  // the pane codes, one per pane
};

class ViewStore {
  public:
    ViewStore();  // reads the saved views

    QStringList names() const;  // in the order they were saved
    std::optional<SavedView> Find(const QString& name) const;
    // Saves `view`, replacing a view of the same name.
    void Put(const SavedView& view);
    bool Rename(const QString& from, const QString& to);  // false for a name taken or unknown
    void Remove(const QString& name);
    // DVR `dvr` left the list: its views show the all-DVR view, its codes are unassigned, and
    // later DVRs' numbers move down.
    void DvrRemoved(int dvr);

  private:
    void Save() const;
    QList<SavedView> views_;
};
