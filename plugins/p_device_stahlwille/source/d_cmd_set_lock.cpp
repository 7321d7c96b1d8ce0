#include "d_cmd_set_lock.h"

DCmdSetLock::DCmdSetLock(const QVariantMap& arguments, QObject* parent)
    : DCmdLockBase("setLock", "stopSetLock", arguments, parent) {
    setDescription("Lock or unlock the Stahlwille device");
    declareAParameter("serialId", "strg", "The serial ID of the device", QString(""));
    declareAParameter("lock", "bool", "True to lock, false to unlock", QVariant());
    declareAResult("doneOk", "bool", "Command success status ", false);
    declareAResult("failed", "bool", "Command failed status", false);
}

DCmdSetLock::~DCmdSetLock() = default;

QVariantMap DCmdSetLock::listenArguments() const {
    return {{"validator", QString("lock")}};
}

QByteArray DCmdSetLock::frameFor(bool lock) const {
    return lock ? "LCK\r" : "UCK\r";
}

QSharedPointer<ICommand> DCmdSetLock::createCommand(const QVariantMap& arguments) {
    return makeRun<DCmdSetLock>(arguments);
}
