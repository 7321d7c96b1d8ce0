#include "d_cmd_set_init_config.h"

#include "d_instruction_timeout.h"
#include "d_serial_id.h"

DCmdSetInitConfig::DCmdSetInitConfig(const QVariantMap& arguments, QObject* parent)
    : DAbstractCommand("setInitConfig", "stopInitConfig", arguments, parent) {
    setDescription("Reset program on the Stahlwille device");
    declareAParameter("serialId", "strg", "The serial ID of the device", QString(""));
    declareAResult("doneOk", "bool", "Command success status ", false);
    declareAResult("failed", "bool", "Command failed status", false);
}

DCmdSetInitConfig::~DCmdSetInitConfig() = default;

bool DCmdSetInitConfig::commandExecute() {
    if (!DAbstractCommand::commandExecute()) {
        return false;
    }
    const auto prefix = DSerialId::framePrefix(getParameterValue("serialId", QVariant()), this);
    if (!prefix) {
        onTimeout();
        return true;
    }
    m_serialPrefix = *prefix;
    addInstruction("driver", "setParallelListening", {{"parallelListening", true}},
                   instructionTimeoutMs, DReplyDelegate());
    addInstruction("driver", "write", {{"frame", QByteArray(m_serialPrefix + "DEL\r")}},
                   instructionTimeoutMs, DReplyDelegate());
    commandUpdateResult("doneOk", true);
    commandUpdateResult("failed", false);
    return true;
}

void DCmdSetInitConfig::finishTheCommand(bool& ok) {
    ok = stopTheInstruction(m_listenInstructionId);
}

// The reset waits for no answer, so no timer calls this; it records a failure
// as the lock commands' answer timer does, and serves a refused serial ID.
void DCmdSetInitConfig::onTimeout() {
    commandUpdateResult("doneOk", false);
    commandUpdateResult("failed", true);
}

QSharedPointer<ICommand> DCmdSetInitConfig::createCommand(const QVariantMap& arguments) {
    return makeRun<DCmdSetInitConfig>(arguments);
}
