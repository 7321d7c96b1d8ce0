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
        const QString& component = components.at(i);
        bool numeric = !component.isEmpty();
        for (const QChar c : component) {
            numeric = numeric && c >= '0' && c <= '9';
        }
        const uint value = numeric ? component.toUInt(&numeric, 10) : 0;
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
