#include "d_cmd_lock_base.h"

#include "d_instruction_timeout.h"
#include "d_serial_id.h"

#include <QTimer>

DCmdLockBase::DCmdLockBase(const QString& name, const QVariantMap& arguments, QObject* parent)
    : DAbstractCommand(name, arguments, parent) {}

DCmdLockBase::DCmdLockBase(const QString& name, const QString& stopName,
                           const QVariantMap& arguments, QObject* parent)
    : DAbstractCommand(name, stopName, arguments, parent) {}

DCmdLockBase::~DCmdLockBase() = default;

bool DCmdLockBase::commandExecute() {
    if (!DAbstractCommand::commandExecute()) {
        return false;
    }
    const auto prefix = DSerialId::framePrefix(getParameterValue("serialId", QVariant()), this);
    if (!prefix) {
        onTimeout();
        return true;
    }
    m_serialPrefix = *prefix;

    // The timer runs before the wrench is asked, so its answer window covers
    // the whole exchange.
    m_answerTimer = new QTimer(this);
    m_answerTimer->setSingleShot(true);
    m_answerTimer->setTimerType(Qt::PreciseTimer);
    connect(m_answerTimer, &QTimer::timeout, this, &DCmdLockBase::onTimeout);
    m_answerTimer->start(answerTimeoutMs);

    m_listenInstructionId =
        addInstruction("driver", "listenEventsData", listenArguments(), instructionTimeoutMs,
                       fastdelegate::MakeDelegate(this, &DCmdLockBase::cbListenReply));

    const bool lock = getParameterValue("lock", QVariant()).toBool();
    addInstruction("driver", "write", {{"frame", m_serialPrefix + frameFor(lock)}},
                   instructionTimeoutMs, DReplyDelegate());
    return true;
}

bool DCmdLockBase::cbListenReply(quint64, const QVariantMap& reply) {
    m_lineBuffer.feedReply(reply, [this](const QByteArray& line) { checkLine(line); });
    return true;
}

void DCmdLockBase::checkLine(const QByteArray& line) {
    if (line != m_serialPrefix + "OK") {
        return;
    }
    if (m_answerTimer) {
        m_answerTimer->stop();
    }
    commandUpdateResult("doneOk", true);
    commandUpdateResult("failed", false);
}

void DCmdLockBase::onTimeout() {
    commandUpdateResult("failed", true);
    commandUpdateResult("doneOk", false);
}

void DCmdLockBase::finishTheCommand(bool& ok) {
    if (m_answerTimer) {
        m_answerTimer->stop();
    }
    ok = stopTheInstruction(m_listenInstructionId);
}
