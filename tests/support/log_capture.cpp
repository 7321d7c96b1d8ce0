#include "log_capture.h"

#include <QDebug>
#include <QRegularExpression>
#include <QThread>

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
    QString expected = "critical ";
    QDebug(&expected) << "\n"
                      << QString("<date>") << ";\t"
                      << "Thread =" << QThread::currentThread() << ";\t"
                      << "This =" << logger << ";\t" << qPrintable(sourcePath) << ";\t"
                      << "<line>"
                      << ";\t" << qPrintable(message) << instructionId;
    QString logged = (entry.type == QtCriticalMsg ? "critical " : "other ") + entry.message;
    logged.replace(QRegularExpression(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})"), "<date>");
    logged.replace(QRegularExpression(";\t \\d+ ;\t"), ";\t <line> ;\t");
    expected = expected.trimmed();
    return logged == expected ? QString() : "logged:\n" + logged + "\nexpected:\n" + expected;
}
