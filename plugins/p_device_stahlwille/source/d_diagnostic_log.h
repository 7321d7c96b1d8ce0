#pragma once

#include <QtGlobal>

class QObject;

// One critical-level line for a driver reply that carries no "frame". The
// source path and line are those of the statement that expands the macro, so
// a technician can find the handler that saw the reply.
void logMissingFrame(const char* file, int line, const char* function, const QObject* logger,
                     const char* message, quint64 instructionId);

#define WRENCH_LOG_MISSING_FRAME(logger, message, instructionId)                                   \
    logMissingFrame(__FILE__, __LINE__, Q_FUNC_INFO, (logger), (message), (instructionId))
