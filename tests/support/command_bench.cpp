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
    return childTimer(command, intervalMs);
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
            line += ' ' + it.key() + '=' + describeValue(it.value());
        }
        lines.append(line);
    }
    return lines;
}

void drainEvents() {
    QCoreApplication::processEvents();
}

QTimer* childTimer(const QObject* owner, int intervalMs) {
    for (QTimer* candidate : owner->findChildren<QTimer*>()) {
        if (candidate->interval() == intervalMs) {
            return candidate;
        }
    }
    return nullptr;
}

QString describeValue(const QVariant& value) {
    switch (static_cast<QMetaType::Type>(value.userType())) {
    case QMetaType::QVariantMap: {
        QStringList entries;
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            entries.append(it.key() + ':' + describeValue(it.value()));
        }
        return '{' + entries.join(',') + '}';
    }
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', 17);
    case QMetaType::QByteArray: {
        QString text;
        for (const char byte : value.toByteArray()) {
            const auto code = static_cast<unsigned char>(byte);
            text += code >= 0x20 && code < 0x7f && code != '\\'
                        ? QString(QLatin1Char(byte))
                        : QString("\\x%1").arg(code, 2, 16, QLatin1Char('0'));
        }
        return text;
    }
    case QMetaType::UnknownType:
        return "invalid";
    default:
        return QString::fromLatin1(value.typeName()) + '(' + value.toString() + ')';
    }
}
