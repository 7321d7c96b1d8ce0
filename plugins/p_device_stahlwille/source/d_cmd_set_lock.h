#pragma once

#include "d_cmd_lock_base.h"

// "setLock": writes the serial ID followed by "LCK" (lock) or "UCK" (unlock).
class DCmdSetLock : public DCmdLockBase {
    Q_OBJECT

public:
    DCmdSetLock(const QVariantMap& arguments, QObject* parent);
    ~DCmdSetLock() override;

    QSharedPointer<ICommand> createCommand(const QVariantMap& arguments) override;

protected:
    QVariantMap listenArguments() const override;
    QByteArray frameFor(bool lock) const override;
};
