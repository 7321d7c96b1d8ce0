#pragma once

#include <d_abstract_command.h>
#include <d_sim_line.h>
#include <d_sim_wrench.h>
#include <p_device_stahlwille.h>
#include <p_driver_serial.h>

#include <QSharedPointer>
#include <QStringList>
#include <QVariantList>

#include <functional>

class QTimer;

// The plug-in bound to the real driver stand-in, whose line is a simulated
// wrench in the same process. Preset 3 is configured.
struct SimBench {
    DSimWrench wrench;
    DSimLine line{&wrench};
    PDriverSerial driver;
    PDeviceStahlwille plugin;
    int framesWritten = 0;
    int chunksRead = 0;

    explicit SimBench(const QString& faults, quint32 seed = 7);

    static QVariantMap presets();
};

// One run of a command made by its prototype, every result update noted as
// "key=value", and every "eventData" kept whole in `events`.
struct BenchRun {
    QSharedPointer<ICommand> run;
    DAbstractCommand* command = nullptr;
    QStringList updates;
    QVariantList events;

    BenchRun(DAbstractPlugin& plugin, const QString& name, const QVariantMap& arguments);

    bool execute() { return run->commandExecute(); }
    // A "doneOk", "cmd_success" or "failed" that is true has been published.
    bool outcome() const;
    // The run's timer with that interval, or null.
    QTimer* timer(int intervalMs) const;
    // finishTheCommand's answer.
    bool finish();
};

// Runs the command to its outcome, which must be no failure, and finishes it.
void runToOutcome(DAbstractPlugin& plugin, const QString& command, const QVariantMap& arguments);

// Keeps a timer that its owner restarts with its usual interval (the listen
// command's poll timer after each record) running with intervalMs instead,
// whenever it is running.
void keepTimerShort(QTimer* timer, int intervalMs = 5);

// A count from the environment (a positive integer), else fallback: the long
// runs and the runs under valgrind set their own.
int countFromEnvironment(const char* name, int fallback);

// Runs the event loop until done() holds, or timeoutMs have passed; answers
// whether done() held when it stopped. Unlike QTRY_VERIFY, which sleeps
// between its rounds of events, the loop never idles while something is to be
// done, so a long run is not paced by the waiting.
bool runUntil(const std::function<bool()>& done, int timeoutMs);
