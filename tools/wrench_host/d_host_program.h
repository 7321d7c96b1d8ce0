#pragma once

#include "d_run_request.h"

#include <QList>
#include <QString>
#include <QStringList>

class DHostOptions;
class DHostSession;
class DLineReporter;
class DResultSink;
class DSignalWatcher;

// wrench_host from its arguments to its exit status: 0 success, 1 a run
// failed, was refused or timed out, or its port stayed away, 2 a usage or
// configuration error.
class DHostProgram {
public:
    enum ExitStatus { Success = 0, RunFailed = 1, UsageError = 2 };

    static int exec(const QStringList& arguments);

private:
    struct Step {
        int lineNumber = 0; // 0: from the command line
        DRunRequest request;
    };

    static bool planSteps(const DHostOptions& options, const DHostSession& session,
                          QList<Step>* steps, QString* error);
    static int runSteps(const DHostOptions& options, DHostSession* session,
                        const QList<Step>& steps);
    static QString statusSerial(const DHostSession& session, const QList<Step>& steps);
    static int exportResults(const DHostOptions& options);
    static int printHelp(const DHostSession& session, const QString& commandName);
    static bool runOne(const DHostOptions& options, DHostSession* session, DSignalWatcher* watcher,
                       DLineReporter* reporter, DResultSink* sink, const DRunRequest& request,
                       QString* failure);
    static void printCatalogue(const DHostSession& session);
    static int timeLimitFor(const DHostOptions& options, const DRunRequest& request);
};
