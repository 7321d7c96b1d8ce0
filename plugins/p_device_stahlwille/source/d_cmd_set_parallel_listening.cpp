#include "d_cmd_set_parallel_listening.h"

#include "d_instruction_timeout.h"

DCmdSetParallelListening::DCmdSetParallelListening(const QVariantMap& arguments, QObject* parent)
    : DAbstractCommand("setParallelListening", arguments, parent) {
    setDescription("Enable or disable parallel listening mode");
    declareAParameter("serialId", "strg", "The serial ID of the device", QString(""));
    declareAParameter("parallelListening", "bool", "Enable parallel listening", false);
    declareAResult("cmd_success", "bool", "Command success status ", false);
}

DCmdSetParallelListening::~DCmdSetParallelListening() = default;

bool DCmdSetParallelListening::commandExecute() {
    if (!DAbstractCommand::commandExecute()) {
        return false;
    }
    const bool parallelListening = getParameterValue("parallelListening", QVariant()).toBool();
    addInstruction(
        "driver", "setParallelListening", {{"parallelListening", parallelListening}},
        instructionTimeoutMs,
        fastdelegate::MakeDelegate(this, &DCmdSetParallelListening::cbParallelListeningReply));
    return true;
}

bool DCmdSetParallelListening::cbParallelListeningReply(quint64, const QVariantMap& reply) {
    return commandUpdateResult("cmd_success", reply.value("cmd_success", false).toBool());
}

QSharedPointer<ICommand> DCmdSetParallelListening::createCommand(const QVariantMap& arguments) {
    return makeRun<DCmdSetParallelListening>(arguments);
}
