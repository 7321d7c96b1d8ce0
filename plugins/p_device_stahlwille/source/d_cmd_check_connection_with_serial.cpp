#include "d_cmd_check_connection_with_serial.h"

#include "d_instruction_timeout.h"
#include "d_serial_id.h"

#include <QTimer>

DCmdCheckConnectionWithSerial::DCmdCheckConnectionWithSerial(const QVariantMap& arguments,
                                                             QObject* parent)
    : DAbstractCommand("checkConnectionWithSerial", "stopCheck", arguments, parent) {
    setDescription("Check connection with device using serial ID and retries");
    declareAParameter("serialId", "strg", "The serial ID of the device", QVariant());
    declareAResult("doneOk", "bool", "Command success status ", false);
    declareAResult("failed", "bool", "Command failed status", false);
}

DCmdCheckConnectionWithSerial::~DCmdCheckConnectionWithSerial() = default;

bool DCmdCheckConnectionWithSerial::commandExecute() {
    if (!DAbstractCommand::commandExecute()) {
        return false;
    }
    const QVariant serialId = getParameterValue("serialId", QVariant());
    const auto prefix = DSerialId::framePrefix(serialId, this);
    if (!prefix) {
        commandUpdateResult("failed", true);
        return true;
    }
    m_serialId = serialId.toString();
    m_frame = *prefix + "BAT\r";
    m_attempts = 0;

    // Made before the listen, so that every line finds it.
    m_retryTimer = new QTimer(this);
    m_retryTimer->setSingleShot(false);
    m_retryTimer->setTimerType(Qt::PreciseTimer);
    connect(m_retryTimer, &QTimer::timeout, this, &DCmdCheckConnectionWithSerial::sendAttempt);

    m_listenInstructionId = addInstruction(
        "driver", "listenEventsData", QVariantMap(), instructionTimeoutMs,
        fastdelegate::MakeDelegate(this, &DCmdCheckConnectionWithSerial::cbListenReply));
    sendAttempt();
    return true;
}

void DCmdCheckConnectionWithSerial::sendAttempt() {
    if (m_attempts < maxAttempts) {
        ++m_attempts;
        addInstruction("driver", "write", {{"frame", m_frame}}, instructionTimeoutMs,
                       DReplyDelegate());
        m_retryTimer->start(retryIntervalMs);
        return;
    }
    m_retryTimer->stop();
    commandUpdateResult("failed", true);
}

bool DCmdCheckConnectionWithSerial::cbListenReply(quint64, const QVariantMap& reply) {
    m_lineBuffer.feedReply(reply, [this](const QByteArray& line) { checkLine(line); });
    return true;
}

void DCmdCheckConnectionWithSerial::checkLine(const QByteArray& line) {
    if (!QString::fromUtf8(line).startsWith(m_serialId, Qt::CaseSensitive)) {
        return;
    }
    m_retryTimer->stop();
    commandUpdateResult("doneOk", true);
    commandUpdateResult("failed", false);
}

void DCmdCheckConnectionWithSerial::finishTheCommand(bool& ok) {
    if (m_retryTimer) {
        m_retryTimer->stop();
    }
    ok = stopTheInstruction(m_listenInstructionId);
}

QSharedPointer<ICommand>
DCmdCheckConnectionWithSerial::createCommand(const QVariantMap& arguments) {
    return makeRun<DCmdCheckConnectionWithSerial>(arguments);
}
