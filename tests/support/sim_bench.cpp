#include "sim_bench.h"

#include "command_bench.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <QtTest>

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
    return childTimer(command, intervalMs);
}

bool BenchRun::finish() {
    bool ok = false;
    run->finishTheCommand(ok);
    return ok;
}

void runToOutcome(DAbstractPlugin& plugin, const QString& command, const QVariantMap& arguments) {
    BenchRun run(plugin, command, arguments);
    QVERIFY(run.execute());
    QTRY_VERIFY(run.outcome());
    QVERIFY2(!run.updates.contains("failed=true"), qPrintable(run.updates.join(' ')));
    run.finish();
}

void keepTimerShort(QTimer* timer, int intervalMs) {
    auto* watch = new QTimer(timer);
    QObject::connect(watch, &QTimer::timeout, timer, [timer, intervalMs] {
        if (timer->isActive() && timer->interval() != intervalMs) {
            timer->start(intervalMs);
        }
    });
    watch->start(1);
}

int countFromEnvironment(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

bool runUntil(const std::function<bool()>& done, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    bool reached = done();
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        reached = done();
        if (reached || deadline.hasExpired()) {
            loop.quit();
        }
    });
    check.start(1);
    if (!reached) {
        loop.exec();
    }
    return reached;
}
