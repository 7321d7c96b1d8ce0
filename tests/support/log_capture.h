#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

class QObject;

// Collects every message logged while it lives, instead of printing it.
class LogCapture {
public:
    struct Entry {
        QtMsgType type;
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

// Empty when entry is, whole, the critical line that logger logs for a reply
// without frame from sourcePath (from the repository root), at any line of it;
// otherwise the line logged and the one expected.
QString missingFrameLineMismatch(const LogCapture::Entry& entry, const QObject* logger,
                                 const QString& sourcePath, const QString& message,
                                 quint64 instructionId);
