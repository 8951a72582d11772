#include "gui/tree/ReconnectSetting.h"

#include <QByteArray>
#include <QSettings>

namespace {

// Server texts hold ':' and may hold '/', which settings keys give a meaning of their own.
QString KeyOf(const std::string& server) {
    const QByteArray bytes(server.data(), static_cast<qsizetype>(server.size()));
    return QStringLiteral("reconnect/") + QString::fromLatin1(bytes.toHex());
}

QSettings Settings() {
    return QSettings(QStringLiteral("Quillmarsh"), QStringLiteral("Quillmarsh"));
}

}  // namespace

bool ReconnectAutomatically(const std::string& server) {
    return Settings().value(KeyOf(server), true).toBool();
}

void SetReconnectAutomatically(const std::string& server, bool on) {
    QSettings settings = Settings();
    if (on) {
        settings.remove(KeyOf(server));  // the default needs no entry
    } else {
        settings.setValue(KeyOf(server), false);
    }
}
