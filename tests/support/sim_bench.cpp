#include "sim_bench.h"

#include <QTimer>

namespace {

DSimFaults faultsFrom(const QString& list) {
    DSimFaults faults;
    QString error;
    if (!DSimFaults::fromList(list, &faults, &error)) {
        qFatal("bad fault list: %s", qPrintable(error));
    }
    return faults;
}

} // namespace

SimBench::SimBench(const QString& faults, quint32 seed)
    : wrench("W1", faultsFrom(faults), seed) {
    QObject::connect(&driver, &PDriverSerial::sigBytesWritten, [this] { ++framesWritten; });
    QObject::connect(&driver, &PDriverSerial::sigBytesRead, [this] { ++chunksRead; });
    driver.initPluginCommands();
    driver.setLineDevice(&line);
    QString error;
    if (!driver.openLine(&error)) {
        qFatal("the simulated line does not open: %s", qPrintable(error));
    }
    plugin.setConfiguration({{"presets", presets()}});
    plugin.initPluginCommands();
    plugin.setDriver(&driver);
}

QVariantMap SimBench::presets() {
    return {{"3", QVariantMap{{"angle", 30},
                              {"targetTorque", 12.5},
                              {"startTorque", 5},
                              {"angleTol", 2.5},
                              {"torqueTol", 0.5}}}};
}

BenchRun::BenchRun(DAbstractPlugin& plugin, const QString& name, const QVariantMap& arguments) {
    run = plugin.commandPrototype(name)->createCommand(arguments);
    command = dynamic_cast<DAbstractCommand*>(run.data());
    QObject::connect(command, &DAbstractCommand::sigResultUpdated,
                     [this](const QString& key, const QVariant& value) {
                         if (key == "eventData") {
                             events.append(value);
                         } else {
                             updates.append(key + '=' + value.toString());
                         }
                     });
}

bool BenchRun::outcome() const {
    return updates.contains("doneOk=true") || updates.contains("cmd_success=true") ||
           updates.contains("failed=true");
}

QTimer* BenchRun::timer(int intervalMs) const {
    for (QTimer* candidate : command->findChildren<QTimer*>()) {
        if (candidate->interval() == intervalMs) {
            return candidate;
        }
    }
    return nullptr;
}

bool BenchRun::finish() {
    bool ok = false;
    run->finishTheCommand(ok);
    return ok;
}

void keepPollingFast(QTimer* poll, int intervalMs) {
    auto* watch = new QTimer(poll);
    QObject::connect(watch, &QTimer::timeout, poll, [poll, intervalMs] {
        if (poll->isActive() && poll->interval() != intervalMs) {
            poll->start(intervalMs);
        }
    });
    watch->start(1);
}
