#include "d_cmd_driver_close_connection.h"

#include "p_driver_serial.h"

DCmdDriverCloseConnection::DCmdDriverCloseConnection(const QVariantMap& arguments, QObject* parent)
    : DAbstractCommand("closeConnection", arguments, parent) {
    setDescription("Close the line");
    declareAResult("cmd_success", "bool", "Command success status ", false);
}

DCmdDriverCloseConnection::~DCmdDriverCloseConnection() = default;

bool DCmdDriverCloseConnection::commandExecute() {
    if (!DAbstractCommand::commandExecute()) {
        return false;
    }
    auto* driver = qobject_cast<PDriverSerial*>(plugin());
    if (driver) {
        driver->closeLine();
    }
    commandUpdateResult("cmd_success", driver != nullptr);
    return true;
}

QSharedPointer<ICommand> DCmdDriverCloseConnection::createCommand(const QVariantMap& arguments) {
    return makeRun<DCmdDriverCloseConnection>(arguments);
}
