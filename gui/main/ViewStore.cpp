#include "gui/main/ViewStore.h"

#include <QSettings>

#include "core/layout/ScreenLayout.h"
#include "core/support/Limits.h"

namespace {

QSettings ViewSettings() {
    return QSettings(QStringLiteral("Quillmarsh"), QStringLiteral("Views"));
}

}  // namespace

ViewStore::ViewStore() {
    QSettings s = ViewSettings();
    const int n = s.beginReadArray(QStringLiteral("views"));
    for (int i = 0; i < n; ++i) {
        s.setArrayIndex(i);
        SavedView v;
        v.name = s.value(QStringLiteral("name")).toString();
        v.split = s.value(QStringLiteral("split"), 36).toInt();
        v.page = std::max(s.value(QStringLiteral("page"), 0).toInt(), 0);
        v.dvr = std::clamp(s.value(QStringLiteral("dvr"), -1).toInt(), -1, kMaxDvrs - 1);
        // A file edited by hand may hold anything: codes past the table are dropped.
        const QStringList codes = s.value(QStringLiteral("codes")).toString().split(u',');
        for (const QString& c : codes) {
            if (static_cast<int>(v.codes.size()) < kPanes) {
                v.codes.push_back(c.toInt());
            }
        }
        v.codes.resize(kPanes, -1);
        if (!v.name.isEmpty() && !Find(v.name)) {
            views_.append(v);
        }
    }
    s.endArray();
}

QStringList ViewStore::names() const {
    QStringList out;
    for (const SavedView& v : views_) {
        out << v.name;
    }
    return out;
}

std::optional<SavedView> ViewStore::Find(const QString& name) const {
    for (const SavedView& v : views_) {
        if (v.name == name) {
            return v;
        }
    }
    return std::nullopt;
}

void ViewStore::Put(const SavedView& view) {
    for (SavedView& v : views_) {
        if (v.name == view.name) {
            v = view;
            Save();
            return;
        }
    }
    views_.append(view);
    Save();
}

bool ViewStore::Rename(const QString& from, const QString& to) {
    if (to.isEmpty() || Find(to)) {
        return false;
    }
    for (SavedView& v : views_) {
        if (v.name == from) {
            v.name = to;
            Save();
            return true;
        }
    }
    return false;
}

void ViewStore::Remove(const QString& name) {
    views_.removeIf([&](const SavedView& v) { return v.name == name; });
    Save();
}

void ViewStore::DvrRemoved(int dvr) {
    for (SavedView& v : views_) {
        if (v.dvr == dvr) {
            v.dvr = -1;
        } else if (v.dvr > dvr) {
            --v.dvr;
        }
        for (int32_t& code : v.codes) {
            code = CodeAfterDvrRemoved(code, dvr);
        }
    }
    Save();
}

void ViewStore::Save() const {
    QSettings s = ViewSettings();
    s.remove(QStringLiteral("views"));
    s.beginWriteArray(QStringLiteral("views"), static_cast<int>(views_.size()));
    for (int i = 0; i < views_.size(); ++i) {
        const SavedView& v = views_[i];
        s.setArrayIndex(i);
        s.setValue(QStringLiteral("name"), v.name);
        s.setValue(QStringLiteral("split"), v.split);
        s.setValue(QStringLiteral("page"), v.page);
        s.setValue(QStringLiteral("dvr"), v.dvr);
        QStringList codes;
        for (int32_t c : v.codes) {
            codes << QString::number(c);
        }
        s.setValue(QStringLiteral("codes"), codes.join(u','));
    }
    s.endArray();
}
