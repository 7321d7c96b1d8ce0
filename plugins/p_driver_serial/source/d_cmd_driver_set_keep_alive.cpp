#include "d_cmd_driver_set_keep_alive.h"

#include "p_driver_serial.h"

DCmdDriverSetKeepAlive::DCmdDriverSetKeepAlive(const QVariantMap& arguments, QObject* parent)
    : DAbstractCommand("setKeepAliveFonction", arguments, parent) {
    setDescription("Write a frame while the line is idle");
    declareAParameter("frame", "byAr", "Frame written while the line is idle", QVariant());
    declareAParameter("responseFrame", "byAr", "Expected answer, kept as given", QVariant());
    declareAParameter("timeout", "int", "Idle time in ms before each write; <= 0 is off", 0);
    declareAParameter("parallelListening", "bool", "Raw mode flag, kept as given", false);
    declareAResult("cmd_success", "bool", "Command success status ", false);
}

DCmdDriverSetKeepAlive::~DCmdDriverSetKeepAlive() = default;

bool DCmdDriverSetKeepAlive::commandExecute() {
    if (!DAbstractCommand::commandExecute()) {
        return false;
    }
    auto* driver = qobject_cast<PDriverSerial*>(plugin());
    if (driver) {
        driver->setKeepAliveParallelListening(
            getParameterValue("parallelListening", false).toBool());
        driver->setKeepAlive(getParameterValue("frame", QVariant()).toByteArray(),
                             getParameterValue("responseFrame", QVariant()).toByteArray(),
                             getParameterValue("timeout", 0).toInt());
    }
    commandUpdateResult("cmd_success", driver != nullptr);
    return true;
}

QSharedPointer<ICommand> DCmdDriverSetKeepAlive::createCommand(const QVariantMap& arguments) {
    return makeRun<DCmdDriverSetKeepAlive>(arguments);
}
