#pragma once

#include <QJsonObject>
#include <QString>

// Where the host writes: JSON lines to stdout, messages and the trace to
// stderr. Each line is flushed at once, so that a pipe sees it as it happens.
class DHostConsole {
public:
    // False, with the reason ("cannot write to stdout: No space left on
    // device"), when stdout did not take the line.
    static bool json(const QJsonObject& object, QString* error = nullptr);
    // Why stdout failed, from errno.
    static QString stdoutError();
    // "wrench_host: " and the message, on stderr.
    static void message(const QString& text);
    // The text as it is, on stderr.
    static void raw(const QString& text);
    static void usage(const QString& text);
};
