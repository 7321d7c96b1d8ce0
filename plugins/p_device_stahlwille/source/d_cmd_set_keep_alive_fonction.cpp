#include "d_cmd_set_keep_alive_fonction.h"

#include "d_instruction_timeout.h"
#include "d_serial_id.h"

DCmdSetKeepAliveFonction::DCmdSetKeepAliveFonction(const QVariantMap& arguments, QObject* parent)
    : DAbstractCommand("setKeepAliveFonction", arguments, parent) {
    setDescription("Set the keep alive function parameters");
    declareAParameter("serialId", "strg", "The serial ID of the device", QString(""));
    declareAParameter("frame", "byAr", "Binary frame to send", QVariant());
    declareAParameter("responseFrame", "byAr", "Expected NACK frame", QVariant());
    declareAParameter("timeout", "int", "Keep alive timeout", 5000);
    declareAParameter("parallelListening", "bool", "Enable raw binary mode", false);
    declareAResult("cmd_success", "bool", "Command success status ", false);
}

DCmdSetKeepAliveFonction::~DCmdSetKeepAliveFonction() = default;

bool DCmdSetKeepAliveFonction::commandExecute() {
    if (!DAbstractCommand::commandExecute()) {
        return false;
    }
    const auto prefix = DSerialId::framePrefix(getParameterValue("serialId", QVariant()), this);
    if (!prefix) {
        commandUpdateResult("cmd_success", false);
        return true;
    }
    m_serialPrefix = *prefix;
    // Only the frame sent to the wrench carries its serial ID; the expected
    // answer is compared by the driver as given.
    const QVariantMap arguments{
        {"frame",
         QByteArray(m_serialPrefix + getParameterValue("frame", QVariant()).toByteArray())},
        {"responseFrame", getParameterValue("responseFrame", QVariant()).toByteArray()},
        {"timeout", getParameterValue("timeout", QVariant()).toInt()},
        {"parallelListening", getParameterValue("parallelListening", QVariant()).toBool()}};
    addInstruction("driver", "setKeepAliveFonction", arguments, instructionTimeoutMs,
                   fastdelegate::MakeDelegate(this, &DCmdSetKeepAliveFonction::cbKeepAliveReply));
    return true;
}

bool DCmdSetKeepAliveFonction::cbKeepAliveReply(quint64, const QVariantMap& reply) {
    return commandUpdateResult("cmd_success", reply.value("cmd_success", false).toBool());
}

QSharedPointer<ICommand> DCmdSetKeepAliveFonction::createCommand(const QVariantMap& arguments) {
    return makeRun<DCmdSetKeepAliveFonction>(arguments);
}
