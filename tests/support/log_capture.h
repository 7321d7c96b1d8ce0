#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// Collects every message logged while it lives, instead of printing it.
class LogCapture {
public:
    struct Entry {
        QtMsgType type;
        QString file;
        int line;
        QString message;
    };

    LogCapture();
    ~LogCapture();

    QList<Entry> entries() const { return s_entries; }

private:
    static void collect(QtMsgType type, const QMessageLogContext& context, const QString& message);

    static QList<Entry> s_entries;
    QtMessageHandler m_previous;
};

// The line number of the first line of a source file that contains text, or -1.
int lineContaining(const QString& sourcePath, const QByteArray& text);
