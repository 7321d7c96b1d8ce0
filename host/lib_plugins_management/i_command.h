#pragma once

#include "i_messenger.h"

#include <QSharedPointer>
#include <QString>
#include <QVariantMap>

// The face that the order engine sees of a command: a prototype that publishes
// its signature and makes runs, or one run of it.
class ICommand {
public:
    virtual ~ICommand() = default;

    virtual void linkWithItsOrder(quint64 orderId) = 0;
    virtual QString commandName() const = 0;
    virtual QString stopCommandName() const = 0;
    virtual quint64 getOrderId() const = 0;
    virtual quint64 getParameterOrderId() const = 0;
    virtual bool isRecurrent() const = 0;
    virtual bool isValid() const = 0;
    virtual QString description() const = 0;
    virtual QVariantMap fullDescription() const = 0;
    virtual QVariantMap commandArguments() const = 0;
    virtual bool commandExecute() = 0;
    virtual bool setReply(const QVariantMap& reply) = 0;
    virtual void finishTheCommand(bool& ok) = 0;
    virtual quint64 addInstruction(const QString& target, const QString& instruction,
                                   const QVariantMap& arguments, int timeout,
                                   DReplyDelegate callback) = 0;
    virtual QSharedPointer<ICommand> createCommand(const QVariantMap& arguments) = 0;
};
