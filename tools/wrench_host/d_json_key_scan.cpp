#include "d_json_key_scan.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QList>

QStringList DJsonKeyScan::duplicates(const QByteArray& text) {
    QStringList found;
    QList<Level> levels;
    QString lastKey;
    for (int i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '"') {
            const int end = stringEnd(text, i);
            if (!levels.isEmpty() && levels.last().expectsKey) {
                Level& level = levels.last();
                lastKey = decoded(text.mid(i, end - i + 1));
                const QString path =
                    level.path.isEmpty() ? lastKey : level.path + QLatin1Char('.') + lastKey;
                if (level.keys.contains(lastKey) && !found.contains(path)) {
                    found.append(path);
                }
                level.keys.append(lastKey);
                level.expectsKey = false;
            }
            i = end;
        } else if (c == '{' || c == '[') {
            QString path;
            if (!levels.isEmpty()) {
                const Level& parent = levels.last();
                const QString step = parent.isObject ? lastKey : QStringLiteral("[]");
                path = parent.path.isEmpty() ? step : parent.path + QLatin1Char('.') + step;
            }
            levels.append({c == '{', path, {}, c == '{'});
        } else if ((c == '}' || c == ']') && !levels.isEmpty()) {
            levels.removeLast();
        } else if (c == ',' && !levels.isEmpty() && levels.last().isObject) {
            levels.last().expectsKey = true;
        }
    }
    return found;
}

// The index of the quote that closes the string opening at start.
int DJsonKeyScan::stringEnd(const QByteArray& text, int start) {
    for (int i = start + 1; i < text.size(); ++i) {
        if (text.at(i) == '\\') {
            ++i;
        } else if (text.at(i) == '"') {
            return i;
        }
    }
    return text.size();
}

QString DJsonKeyScan::decoded(const QByteArray& quoted) {
    return QJsonDocument::fromJson('[' + quoted + ']').array().at(0).toString();
}
