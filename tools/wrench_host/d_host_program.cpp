#include "d_host_program.h"

#include "d_command_help.h"
#include "d_command_runner.h"
#include "d_host_clock.h"
#include "d_host_console.h"
#include "d_host_options.h"
#include "d_host_session.h"
#include "d_json_output.h"
#include "d_line_reporter.h"
#include "d_line_trace.h"
#include "d_result_export.h"
#include "d_result_outputs.h"
#include "d_result_store.h"
#include "d_script_reader.h"
#include "d_signal_watcher.h"

#include <d_abstract_command.h>
#include <d_abstract_plugin.h>
#include <p_driver_serial.h>

#include <QEventLoop>

int DHostProgram::exec(const QStringList& arguments) {
    DHostClock::start();
    DHostOptions options;
    QString error;
    if (!options.parse(arguments, &error)) {
        DHostConsole::message(error + QStringLiteral(" (wrench_host --help)"));
        return UsageError;
    }
    if (options.help || (options.verb == QLatin1String("help") && options.words.isEmpty())) {
        DHostConsole::usage(DHostOptions::usage());
        return Success;
    }
    if (options.version) {
        DHostConsole::usage(DHostOptions::versionLine() + QLatin1Char('\n'));
        return Success;
    }
    if (options.verb == QLatin1String("export")) {
        return exportResults(options);
    }
    DHostSession session(options);
    if (!session.prepare(&error)) {
        DHostConsole::message(error);
        return UsageError;
    }
    if (options.verb == QLatin1String("help")) {
        return printHelp(session, options.words.first());
    }
    QList<Step> steps;
    if (!planSteps(options, session, &steps, &error)) {
        DHostConsole::message(error);
        return UsageError;
    }
    return runSteps(options, &session, steps);
}

int DHostProgram::exportResults(const DHostOptions& options) {
    DResultStore store;
    QString error;
    if (!store.openForReading(options.storePath, &error)) {
        DHostConsole::message(error);
        return UsageError;
    }
    const QString since =
        options.since.isValid() ? DResultStore::timeText(options.since) : QString();
    const auto format = options.csv ? DResultExport::Format::Csv : DResultExport::Format::JsonLines;
    if (!DResultExport::write(store, format, since, &error)) {
        DHostConsole::message(error);
        return RunFailed;
    }
    return Success;
}

int DHostProgram::printHelp(const DHostSession& session, const QString& commandName) {
    const DAbstractCommand* prototype = session.plugin()->commandPrototype(commandName);
    if (!prototype) {
        DHostConsole::message(QStringLiteral("unknown command \"%1\" (wrench_host list shows them)")
                                  .arg(commandName));
        return UsageError;
    }
    DHostConsole::usage(DCommandHelp::text(*prototype, session.plugin()->configuration()));
    return Success;
}

// Every step is checked before the first one runs.
bool DHostProgram::planSteps(const DHostOptions& options, const DHostSession& session,
                             QList<Step>* steps, QString* error) {
    const DAbstractPlugin& plugin = *session.plugin();
    if (options.verb != QLatin1String("script")) {
        Step step;
        if (!DRunRequest::fromVerb(options.verb, options.words, options.count, plugin,
                                   &step.request, error)) {
            return false;
        }
        steps->append(step);
        return true;
    }
    if (options.count > 0) {
        *error = QStringLiteral("--count applies to listen only; in a script, put it on the "
                                "listen line");
        return false;
    }
    const QString path = options.words.first();
    QList<DScriptReader::Line> lines;
    if (!DScriptReader::readFile(path, &lines, error)) {
        *error = QStringLiteral("%1: %2").arg(path, *error);
        return false;
    }
    for (const auto& line : lines) {
        Step step;
        step.lineNumber = line.number;
        if (!DRunRequest::fromScriptLine(line.words, plugin, &step.request, error)) {
            *error = QStringLiteral("%1:%2: %3").arg(path).arg(line.number).arg(*error);
            return false;
        }
        steps->append(step);
    }
    return true;
}

int DHostProgram::runSteps(const DHostOptions& options, DHostSession* session,
                           const QList<Step>& steps) {
    bool needsLine = false;
    for (const Step& step : steps) {
        needsLine = needsLine || step.request.kind != DRunRequest::Kind::List;
    }
    QString error;
    // The store is opened before the line: a store that cannot be used
    // stops the program before the wrench is touched.
    DResultOutputs outputs;
    if (!outputs.open(options, statusSerial(*session, steps), &error)) {
        DHostConsole::message(error);
        return UsageError;
    }
    if (needsLine && !session->bindLine(&error)) {
        DHostConsole::message(error);
        return UsageError;
    }
    if (options.trace && session->driver()) {
        new DLineTrace(session->driver(), session);
    }
    DLineReporter reporter(options.portName, options.reconnectLimitMs, options.quiet);
    if (PDriverSerial* driver = session->driver()) {
        QObject::connect(driver, &PDriverSerial::sigBytesWritten, &reporter,
                         &DLineReporter::onWritten);
        QObject::connect(driver, &PDriverSerial::sigBytesRead, &reporter, &DLineReporter::onRead);
        QObject::connect(driver, &PDriverSerial::sigLineError, &reporter,
                         &DLineReporter::onLineError);
        QObject::connect(driver, &PDriverSerial::sigLineOpened, &reporter,
                         &DLineReporter::onLineOpened);
    }
    DSignalWatcher watcher;
    int status = Success;
    for (const Step& step : steps) {
        if (watcher.wasRequested()) {
            break;
        }
        if (step.request.kind == DRunRequest::Kind::List) {
            printCatalogue(*session);
            continue;
        }
        QString failure;
        if (!runOne(options, session, &watcher, &reporter, outputs.sink(), step.request,
                    &failure)) {
            const QString where =
                step.lineNumber > 0
                    ? QStringLiteral("%1:%2: ").arg(options.words.first()).arg(step.lineNumber)
                    : QString();
            DHostConsole::message(
                QStringLiteral("%1%2: %3").arg(where, step.request.command, failure));
            status = RunFailed;
            break;
        }
    }
    return outputs.finish() ? status : RunFailed;
}

// The wrench the steps talk to: the first one named, else the configured one.
QString DHostProgram::statusSerial(const DHostSession& session, const QList<Step>& steps) {
    for (const Step& step : steps) {
        const QVariant serialId = step.request.arguments.value(QStringLiteral("serialId"));
        if (serialId.isValid()) {
            return serialId.toString();
        }
    }
    return session.plugin()->configurationValue(QStringLiteral("serialId")).toString();
}

bool DHostProgram::runOne(const DHostOptions& options, DHostSession* session,
                          DSignalWatcher* watcher, DLineReporter* reporter, DResultSink* sink,
                          const DRunRequest& request, QString* failure) {
    DCommandRunner runner(session->plugin());
    runner.setWitness(reporter->witness());
    runner.setResultSink(sink);
    QEventLoop loop;
    QObject::connect(&runner, &DCommandRunner::sigStarted, reporter, &DLineReporter::onRunStarted);
    QObject::connect(&runner, &DCommandRunner::sigEnded, reporter, &DLineReporter::onRunEnded);
    QObject::connect(&runner, &DCommandRunner::sigEnded, &loop, &QEventLoop::quit);
    QObject::connect(reporter, &DLineReporter::sigGaveUp, &runner, &DCommandRunner::abandon);
    QObject::connect(watcher, &DSignalWatcher::sigTerminationRequested, &runner,
                     &DCommandRunner::interrupt);
    runner.start(request, timeLimitFor(options, request));
    loop.exec();
    *failure = runner.failure();
    return runner.ok();
}

void DHostProgram::printCatalogue(const DHostSession& session) {
    for (const DAbstractCommand* prototype : session.plugin()->commandPrototypes()) {
        DHostConsole::json(DJsonOutput::catalogueLine(*prototype));
    }
}

int DHostProgram::timeLimitFor(const DHostOptions& options, const DRunRequest& request) {
    if (options.timeLimitMs > 0) {
        return options.timeLimitMs;
    }
    return request.kind == DRunRequest::Kind::Listen ? 0 : DHostOptions::defaultTimeLimitMs;
}
