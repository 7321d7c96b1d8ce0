#include "d_cmd_driver_set_parallel_listening.h"

#include "p_driver_serial.h"

DCmdDriverSetParallelListening::DCmdDriverSetParallelListening(const QVariantMap& arguments,
                                                               QObject* parent)
    : DAbstractCommand("setParallelListening", arguments, parent) {
    setDescription("Switch parallel listening on or off");
    declareAParameter("parallelListening", "bool", "Enable parallel listening", false);
    declareAResult("cmd_success", "bool", "Command success status ", false);
}

DCmdDriverSetParallelListening::~DCmdDriverSetParallelListening() = default;

bool DCmdDriverSetParallelListening::commandExecute() {
    if (!DAbstractCommand::commandExecute()) {
        return false;
    }
    auto* driver = qobject_cast<PDriverSerial*>(plugin());
    if (driver) {
        driver->setParallelListening(getParameterValue("parallelListening", false).toBool());
    }
    commandUpdateResult("cmd_success", driver != nullptr);
    return true;
}

QSharedPointer<ICommand>
DCmdDriverSetParallelListening::createCommand(const QVariantMap& arguments) {
    return makeRun<DCmdDriverSetParallelListening>(arguments);
}
