#include "utilities.h"

#include <QDateTime>
#include <QStringList>

quint64 versionFromString(const QString& text, bool* ok, QChar separator) {
    constexpr int maxComponents = 4;
    constexpr int bitsPerComponent = 16;
    const QStringList components = text.split(separator);
    bool valid = !text.isEmpty() && components.size() <= maxComponents;
    quint64 version = 0;
    for (int i = 0; valid && i < components.size(); ++i) {
        bool numeric = false;
        const uint value = components.at(i).toUInt(&numeric, 10);
        valid = numeric && value <= 0xFFFF;
        version |= quint64(value) << (bitsPerComponent * (maxComponents - 1 - i));
    }
    if (ok) {
        *ok = valid;
    }
    return valid ? version : 0;
}

QString getDate() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
}
