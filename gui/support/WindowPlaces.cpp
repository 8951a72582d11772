#include "gui/support/WindowPlaces.h"

#include <QSettings>
#include <QSplitter>
#include <QWidget>

namespace {

QSettings Settings() {
    return QSettings(QStringLiteral("Quillmarsh"), QStringLiteral("Quillmarsh"));
}

}  // namespace

void RestorePlace(QWidget& window, const QString& name) {
    const QByteArray saved = Settings().value(QStringLiteral("windows/") + name).toByteArray();
    if (!saved.isEmpty()) {
        window.restoreGeometry(saved);
    }
}

void KeepPlace(const QWidget& window, const QString& name) {
    Settings().setValue(QStringLiteral("windows/") + name, window.saveGeometry());
}

void RestoreSplit(QSplitter& splitter, const QString& name) {
    const QByteArray saved = Settings().value(QStringLiteral("splitters/") + name).toByteArray();
    if (!saved.isEmpty()) {
        splitter.restoreState(saved);
    }
}

void KeepSplit(const QSplitter& splitter, const QString& name) {
    Settings().setValue(QStringLiteral("splitters/") + name, splitter.saveState());
}
