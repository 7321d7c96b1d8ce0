#pragma once

#include <QtGlobal>

class QByteArray;
class QObject;

// One critical-level line for a driver reply that carries no "frame". The
// source path and line are those of the statement that expands the macro, so
// a technician can find the handler that saw the reply.
void logMissingFrame(const char* file, int line, const char* function, const QObject* logger,
                     const char* message, quint64 instructionId);

// The same line for bytes a command refused: a serial ID that would break a
// frame, a damaged record line. The bytes are quoted, control bytes escaped.
void logRefusedBytes(const char* file, int line, const char* function, const QObject* logger,
                     const char* message, const QByteArray& bytes);

#define WRENCH_LOG_MISSING_FRAME(logger, message, instructionId)                                   \
    logMissingFrame(__FILE__, __LINE__, Q_FUNC_INFO, (logger), (message), (instructionId))

#define WRENCH_LOG_REFUSED(logger, message, bytes)                                                 \
    logRefusedBytes(__FILE__, __LINE__, Q_FUNC_INFO, (logger), (message), (bytes))
