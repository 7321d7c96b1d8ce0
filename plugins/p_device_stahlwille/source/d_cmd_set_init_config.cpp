#include "d_cmd_set_init_config.h"

#include "d_instruction_timeout.h"

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
    m_serialPrefix = getParameterValue("serialId", QVariant()).toString().toUtf8();
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

QSharedPointer<ICommand> DCmdSetInitConfig::createCommand(const QVariantMap& arguments) {
    return makeRun<DCmdSetInitConfig>(arguments);
}
