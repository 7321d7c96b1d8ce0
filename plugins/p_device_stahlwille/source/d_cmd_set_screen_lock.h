#pragma once

#include "d_cmd_lock_base.h"

// "setScreenLock": writes the serial ID followed by "DKS" (lock the screen) or
// "EKS" (unlock it).
class DCmdSetScreenLock : public DCmdLockBase {
    Q_OBJECT

public:
    DCmdSetScreenLock(const QVariantMap& arguments, QObject* parent);
    ~DCmdSetScreenLock() override;

    QSharedPointer<ICommand> createCommand(const QVariantMap& arguments) override;

protected:
    QVariantMap listenArguments() const override;
    QByteArray frameFor(bool lock) const override;
};
