#include "log_capture.h"

#include <QDebug>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

namespace {

// The line number of the first line of a source file that contains text, or -1.
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

} // namespace

QList<LogCapture::Entry> LogCapture::s_entries;

LogCapture::LogCapture()
    : m_previous(qInstallMessageHandler(&LogCapture::collect)) {
    s_entries.clear();
}

LogCapture::~LogCapture() {
    qInstallMessageHandler(m_previous);
}

void LogCapture::collect(QtMsgType type, const QMessageLogContext&, const QString& message) {
    s_entries.append({type, message});
}

QString missingFrameLineMismatch(const LogCapture::Entry& entry, const QObject* logger,
                                 const QString& sourcePath, const QString& message,
                                 quint64 instructionId) {
    const int line =
        lineContaining(WRENCH_SOURCE_ROOT "/" + sourcePath, "WRENCH_LOG_MISSING_FRAME(");
    QString expected = "critical ";
    QDebug(&expected) << "\n"
                      << QString("<date>") << ";\t"
                      << "Thread =" << QThread::currentThread() << ";\t"
                      << "This =" << logger << ";\t" << qPrintable(sourcePath) << ";\t" << line
                      << ";\t" << qPrintable(message) << instructionId;
    QString logged = (entry.type == QtCriticalMsg ? "critical " : "other ") + entry.message;
    logged.replace(QRegularExpression(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})"), "<date>");
    expected = expected.trimmed();
    return logged == expected ? QString() : "logged:\n" + logged + "\nexpected:\n" + expected;
}
