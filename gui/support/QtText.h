// Texts between the core (bytes in std::string, UTF-8 by convention) and Qt (QString).
#pragma once

#include <QString>
#include <QStringDecoder>

#include <string>
#include <string_view>

// Bytes shown as they are: decoded as UTF-8 when they are UTF-8, otherwise one character per
// byte, so that no byte of a saved field is lost or replaced on screen.
inline QString QStringFromBytes(std::string_view bytes) {
    const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(view);
    if (utf8.hasError()) {
        return QString::fromLatin1(view);
    }
    return text;
}

inline std::string BytesFromQString(const QString& text) {
    return text.toStdString();  // UTF-8
}
