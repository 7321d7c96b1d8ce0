#include "d_diagnostic_log.h"

#include <utilities.h>

#include <QByteArray>
#include <QDebug>
#include <QMessageLogger>
#include <QObject>
#include <QThread>

namespace {

QDebug diagnosticLine(const char* file, int line, const char* function, const QObject* logger,
                      const char* message) {
    QDebug stream = QMessageLogger(file, line, function).critical();
    stream << "\n"
           << getDate() << ";\t"
           << "Thread =" << QThread::currentThread() << ";\t"
           << "This =" << logger << ";\t" << file << ";\t" << line << ";\t" << message;
    return stream;
}

} // namespace

void logMissingFrame(const char* file, int line, const char* function, const QObject* logger,
                     const char* message, quint64 instructionId) {
    diagnosticLine(file, line, function, logger, message) << instructionId;
}

void logRefusedBytes(const char* file, int line, const char* function, const QObject* logger,
                     const char* message, const QByteArray& bytes) {
    diagnosticLine(file, line, function, logger, message) << bytes;
}
