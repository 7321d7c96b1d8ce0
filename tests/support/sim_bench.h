#pragma once

#include <d_abstract_command.h>
#include <d_sim_line.h>
#include <d_sim_wrench.h>
#include <p_device_stahlwille.h>
#include <p_driver_serial.h>

#include <QSharedPointer>
#include <QStringList>
#include <QVariantList>

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

// The listen command restarts its poll timer at 1000 ms after each record;
// this keeps it polling every few milliseconds instead.
void keepPollingFast(QTimer* poll, int intervalMs = 5);
