#pragma once

#include <QByteArray>
#include <QStringList>

// The keys that a JSON text gives twice in one object. The parser keeps the
// last one without a word, so a configuration edited by hand can hide a
// value; the check warns of it. The text must be valid JSON.
class DJsonKeyScan {
public:
    // Each key given twice, once, as its path: "serialId", "presets.3.angle".
    static QStringList duplicates(const QByteArray& text);

private:
    struct Level {
        bool isObject = false;
        QString path;
        QStringList keys;
        bool expectsKey = false;
    };

    static int stringEnd(const QByteArray& text, int start);
    static QString decoded(const QByteArray& quoted);
};
