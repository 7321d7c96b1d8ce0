#include "d_diagnostic_log.h"

#include <utilities.h>

#include <QDebug>
#include <QMessageLogger>
#include <QObject>
#include <QThread>

void logMissingFrame(const char* file, int line, const char* function, const QObject* logger,
                     const char* message, quint64 instructionId) {
    QMessageLogger(file, line, function).critical()
        << "\n"
        << getDate() << ";\t"
        << "Thread =" << QThread::currentThread() << ";\t"
        << "This =" << logger << ";\t" << file << ";\t" << line << ";\t" << message
        << instructionId;
}
