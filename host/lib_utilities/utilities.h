#pragma once

#include <QChar>
#include <QString>
#include <QtGlobal>

// A dotted version text ("1.0", "2.3.1") as one number: up to four components
// of 16 bits each, the first one in the top bits, missing ones 0. ok (if given)
// is false, and the result 0, when a component is empty, not a decimal number,
// above 65535, or when there are more than four.
quint64 versionFromString(const QString& text, bool* ok = nullptr, QChar separator = '.');

// The current local date and time for log lines, "yyyy-MM-dd hh:mm:ss.zzz".
QString getDate();
