#include "command_bench.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTimer>

CommandBench::CommandBench(const QString& commandName, const QVariantMap& arguments,
                           const QVariantMap& configuration) {
    plugin.setDriver(&driver);
    plugin.setConfiguration(configuration);
    plugin.initPluginCommands();
    run = plugin.commandPrototype(commandName)->createCommand(arguments);
    command = dynamic_cast<DAbstractCommand*>(run.data());
    QObject::connect(command, &DAbstractCommand::sigResultUpdated,
                     [this](const QString& key, const QVariant& value) {
                         updates.append(key + '=' + value.toString());
                         values.append(value);
                     });
}

bool CommandBench::finish() {
    bool ok = false;
    run->finishTheCommand(ok);
    return ok;
}

QVariant CommandBench::result(const QString& key) const {
    return command->commandResults().value(key);
}

QTimer* CommandBench::timer(int intervalMs) const {
    for (QTimer* candidate : command->findChildren<QTimer*>()) {
        if (candidate->interval() == intervalMs) {
            return candidate;
        }
    }
    return nullptr;
}

void CommandBench::expire(QTimer* timer) {
    QSignalSpy fired(timer, &QTimer::timeout);
    timer->start(1);
    fired.wait(1000);
}

void CommandBench::send(const QList<QByteArray>& chunks) {
    for (const QByteArray& chunk : chunks) {
        driver.sendFrame(chunk);
        drainEvents();
    }
}

void CommandBench::reply(const QVariantMap& reply) {
    driver.sendReply(reply);
    drainEvents();
}

QStringList CommandBench::instructions() const {
    QStringList lines;
    for (const PScriptedDriver::Received& received : driver.received()) {
        QString line = received.instruction + ' ' + QString::number(received.timeout);
        for (auto it = received.arguments.cbegin(); it != received.arguments.cend(); ++it) {
            line += ' ' + it.key() + '=' + it.value().toString();
        }
        lines.append(line);
    }
    return lines;
}

void drainEvents() {
    QCoreApplication::processEvents();
}
