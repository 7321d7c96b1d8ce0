#pragma once

#include "p_scripted_driver.h"

#include <p_device_stahlwille.h>

#include <QByteArray>
#include <QSharedPointer>
#include <QStringList>
#include <QVariantMap>

class QTimer;

// The plug-in with its catalogue, bound to a scripted driver, and one run of a
// command made by its prototype. Every result update is noted as "key=value"
// (the value as text) and kept whole in `values`.
struct CommandBench {
    PDeviceStahlwille plugin;
    PScriptedDriver driver;
    QSharedPointer<ICommand> run;
    DAbstractCommand* command = nullptr;
    QStringList updates;
    QVariantList values;

    CommandBench(const QString& commandName, const QVariantMap& arguments,
                 const QVariantMap& configuration = {});

    bool execute() { return run->commandExecute(); }
    // finishTheCommand's answer.
    bool finish();
    QVariant result(const QString& key) const;
    // The run's timer with that interval, or null.
    QTimer* timer(int intervalMs) const;
    // Lets the timer expire now and waits until it has.
    void expire(QTimer* timer);

    // Each chunk reaches every standing listener as one numbered reply, and is
    // handled before the next one is sent.
    void send(const QList<QByteArray>& chunks);
    void reply(const QVariantMap& reply);
    QList<QByteArray> written() const { return driver.writtenFrames(); }
    // Every instruction the driver received, as "name timeout key=value...",
    // each value described with its type.
    QStringList instructions() const;
};

// Lets every queued reply arrive.
void drainEvents();

// The owner's timer with that interval, or null.
QTimer* childTimer(const QObject* owner, int intervalMs);

// A value with its type, so that the text "true" and true differ: bytes with
// every byte outside printable ASCII (and the backslash) as \xhh, maps
// spelled out, doubles in full precision, the rest as type(text).
QString describeValue(const QVariant& value);
