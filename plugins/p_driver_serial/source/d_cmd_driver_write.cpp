#include "d_cmd_driver_write.h"

#include "p_driver_serial.h"

DCmdDriverWrite::DCmdDriverWrite(const QVariantMap& arguments, QObject* parent)
    : DAbstractCommand(QStringLiteral("write"), arguments, parent) {
    setDescription(QStringLiteral("Write bytes to the line"));
    declareAParameter(QStringLiteral("frame"), QStringLiteral("byAr"),
                      QStringLiteral("Bytes to write, unchanged"), QVariant());
    declareAResult(QStringLiteral("cmd_success"), QStringLiteral("bool"),
                   QStringLiteral("Command success status "), false);
}

DCmdDriverWrite::~DCmdDriverWrite() = default;

bool DCmdDriverWrite::commandExecute() {
    if (!DAbstractCommand::commandExecute()) {
        return false;
    }
    auto* driver = qobject_cast<PDriverSerial*>(plugin());
    const QByteArray frame = getParameterValue(QStringLiteral("frame"), QVariant()).toByteArray();
    const bool written = driver && driver->writeToLine(frame);
    commandUpdateResult(QStringLiteral("cmd_success"), written);
    return true;
}

QSharedPointer<ICommand> DCmdDriverWrite::createCommand(const QVariantMap& arguments) {
    return makeRun<DCmdDriverWrite>(arguments);
}
