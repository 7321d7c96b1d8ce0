#include "log_capture.h"

#include <QFile>

QList<LogCapture::Entry> LogCapture::s_entries;

LogCapture::LogCapture()
    : m_previous(qInstallMessageHandler(&LogCapture::collect)) {
    s_entries.clear();
}

LogCapture::~LogCapture() {
    qInstallMessageHandler(m_previous);
}

void LogCapture::collect(QtMsgType type, const QMessageLogContext& context,
                         const QString& message) {
    s_entries.append({type, QString::fromUtf8(context.file), context.line, message});
}

int lineContaining(const QString& sourcePath, const QByteArray& text) {
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QList<QByteArray> lines = source.readAll().split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i].contains(text)) {
            return i + 1;
        }
    }
    return -1;
}
