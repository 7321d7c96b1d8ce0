#include "d_cmd_set_program.h"

#include "d_cmd_get_preset_data.h"
#include "d_instruction_timeout.h"
#include "d_program_frame.h"
#include "d_serial_id.h"
#include "p_device_stahlwille.h"

#include <QTimer>

DCmdSetProgram::DCmdSetProgram(const QVariantMap& arguments, QObject* parent)
    : DAbstractCommand("setProgram", "stopSetProgram", arguments, parent) {
    setDescription("Set the program on the Stahlwille device");
    declareAParameter("serialId", "strg", "The serial ID of the device", QString(""));
    declareAParameter("program", "uint", "The id of the preset", 1);
    declareAResult("cmd_success", "bool", "Command success status ", false);
    declareAResult("failed", "bool", "Command failed status", false);
}

DCmdSetProgram::~DCmdSetProgram() = default;

bool DCmdSetProgram::commandExecute() {
    if (!DAbstractCommand::commandExecute()) {
        return false;
    }
    const auto prefix = DSerialId::framePrefix(getParameterValue("serialId", QVariant()), this);
    const auto program = DCmdGetPresetData::presetNumber(getParameterValue("program", QVariant()));
    if (!prefix || !program) {
        publishFailure();
        return true;
    }
    m_serialPrefix = *prefix;
    m_program = *program;

    m_answerTimer = new QTimer(this);
    m_answerTimer->setSingleShot(true);
    m_answerTimer->setTimerType(Qt::PreciseTimer);
    connect(m_answerTimer, &QTimer::timeout, this, &DCmdSetProgram::onTimeout);
    m_answerTimer->start(answerTimeoutMs);

    storeCurrentProgram();

    m_presetInstructionId =
        addInstruction("myself", "getPresetData", {{"program", m_program}}, instructionTimeoutMs,
                       fastdelegate::MakeDelegate(this, &DCmdSetProgram::cbPresetDataReply));
    return true;
}

void DCmdSetProgram::storeCurrentProgram() const {
    if (auto* device = qobject_cast<PDeviceStahlwille*>(parent())) {
        device->setProperty("currentProgId", m_program, true);
    }
}

bool DCmdSetProgram::cbPresetDataReply(quint64, const QVariantMap& reply) {
    // The request has ended with its reply; its identifier may be given out again.
    m_presetInstructionId = 0;
    const auto presetData = reply.constFind("presetData");
    if (presetData == reply.constEnd()) {
        publishFailure();
        return true;
    }
    const auto bytes = DProgramFrame::fromPreset(presetData->toMap(), m_serialPrefix);
    if (!bytes) {
        publishFailure();
        return true;
    }
    m_listenInstructionId = addInstruction(
        "driver", "listenEventsData", {{"validator", "program"}}, instructionTimeoutMs,
        fastdelegate::MakeDelegate(this, &DCmdSetProgram::cbListenReply));
    addInstruction("driver", "write", {{"frame", *bytes}}, instructionTimeoutMs, DReplyDelegate());
    return true;
}

bool DCmdSetProgram::cbListenReply(quint64, const QVariantMap& reply) {
    m_lineBuffer.feedReply(reply, [this](const QByteArray& line) { checkLine(line); });
    return true;
}

void DCmdSetProgram::checkLine(const QByteArray& line) {
    if (!line.startsWith(m_serialPrefix)) {
        return;
    }
    const QByteArray answer = line.mid(m_serialPrefix.size());
    if (answer != "OK" && !answer.startsWith("ParseOK")) {
        return;
    }
    if (m_answerTimer) {
        m_answerTimer->stop();
    }
    commandUpdateResult("cmd_success", true);
    commandUpdateResult("failed", false);
}

void DCmdSetProgram::onTimeout() {
    publishFailure();
}

void DCmdSetProgram::publishFailure() {
    commandUpdateResult("cmd_success", false);
    commandUpdateResult("failed", true);
}

void DCmdSetProgram::finishTheCommand(bool& ok) {
    if (m_answerTimer) {
        m_answerTimer->stop();
    }
    stopTheInstruction(m_presetInstructionId);
    ok = stopTheInstruction(m_listenInstructionId);
}

QSharedPointer<ICommand> DCmdSetProgram::createCommand(const QVariantMap& arguments) {
    return makeRun<DCmdSetProgram>(arguments);
}
