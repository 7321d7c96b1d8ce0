#include "d_cmd_set_screen_lock.h"

DCmdSetScreenLock::DCmdSetScreenLock(const QVariantMap& arguments, QObject* parent)
    : DCmdLockBase("setScreenLock", arguments, parent) {
    setDescription("Lock or unlock the Stahlwille device screen");
    declareAParameter("serialId", "strg", "The serial ID of the device", QString(""));
    declareAParameter("lock", "bool", "True to lock (DKS), false to unlock (EKS)", QVariant());
    declareAResult("doneOk", "bool", "Command success status ", false);
    declareAResult("failed", "bool", "Command failed status", false);
}

DCmdSetScreenLock::~DCmdSetScreenLock() = default;

QVariantMap DCmdSetScreenLock::listenArguments() const {
    return {{"subscription", true}, {"validator", QString("screenLock")}};
}

QByteArray DCmdSetScreenLock::frameFor(bool lock) const {
    return lock ? "DKS\r" : "EKS\r";
}

QSharedPointer<ICommand> DCmdSetScreenLock::createCommand(const QVariantMap& arguments) {
    return makeRun<DCmdSetScreenLock>(arguments);
}
