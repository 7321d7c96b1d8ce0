#include "d_cmd_driver_write.h"

#include "p_driver_serial.h"

DCmdDriverWrite::DCmdDriverWrite(const QVariantMap& arguments, QObject* parent)
    : DAbstractCommand("write", arguments, parent) {
    setDescription("Write bytes to the line");
    declareAParameter("frame", "byAr", "Bytes to write, unchanged", QVariant());
    declareAResult("cmd_success", "bool", "Command success status ", false);
}

DCmdDriverWrite::~DCmdDriverWrite() = default;

bool DCmdDriverWrite::commandExecute() {
    if (!DAbstractCommand::commandExecute()) {
        return false;
    }
    auto* driver = qobject_cast<PDriverSerial*>(plugin());
    const QByteArray frame = getParameterValue("frame", QVariant()).toByteArray();
    const bool written = driver && driver->writeToLine(frame);
    commandUpdateResult("cmd_success", written);
    return true;
}

QSharedPointer<ICommand> DCmdDriverWrite::createCommand(const QVariantMap& arguments) {
    return makeRun<DCmdDriverWrite>(arguments);
}
