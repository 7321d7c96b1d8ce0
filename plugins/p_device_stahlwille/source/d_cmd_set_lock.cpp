#include "d_cmd_set_lock.h"

#include <QTimer>

DCmdSetLock::DCmdSetLock(const QVariantMap& arguments, QObject* parent)
    : DAbstractCommand("setLock", "stopSetLock", arguments, parent) {
    setDescription("Lock or unlock the Stahlwille device");
    declareAParameter("serialId", "strg", "The serial ID of the device", QString(""));
    declareAParameter("lock", "bool", "True to lock, false to unlock", QVariant());
    declareAResult("doneOk", "bool", "Command success status ", false);
    declareAResult("failed", "bool", "Command failed status", false);
}

DCmdSetLock::~DCmdSetLock() = default;

bool DCmdSetLock::commandExecute() {
    if (!DAbstractCommand::commandExecute()) {
        return false;
    }
    m_serialPrefix = getParameterValue("serialId", QVariant()).toString().toUtf8();

    // The timer runs before the wrench is asked, so its answer window covers
    // the whole exchange.
    m_answerTimer = new QTimer(this);
    m_answerTimer->setSingleShot(true);
    connect(m_answerTimer, &QTimer::timeout, this, &DCmdSetLock::onTimeout);
    m_answerTimer->start(answerTimeoutMs);

    m_listenInstructionId =
        addInstruction("driver", "listenEventsData", {{"validator", QString("lock")}}, 2000,
                       fastdelegate::MakeDelegate(this, &DCmdSetLock::cbListenReply));

    const bool lock = getParameterValue("lock", QVariant()).toBool();
    const QByteArray frame = m_serialPrefix + (lock ? "LCK\r" : "UCK\r");
    addInstruction("driver", "write", {{"frame", frame}}, 2000, DReplyDelegate());
    return true;
}

bool DCmdSetLock::cbListenReply(quint64, const QVariantMap& reply) {
    const auto frame = reply.constFind("frame");
    if (frame == reply.constEnd()) {
        return true;
    }
    m_lineBuffer.feed(frame->toByteArray(), [this](const QByteArray& line) { checkLine(line); });
    return true;
}

void DCmdSetLock::checkLine(const QByteArray& line) {
    if (line != m_serialPrefix + "OK") {
        return;
    }
    if (m_answerTimer && m_answerTimer->isActive()) {
        m_answerTimer->stop();
    }
    commandUpdateResult("doneOk", true);
    commandUpdateResult("failed", false);
}

void DCmdSetLock::onTimeout() {
    commandUpdateResult("failed", true);
    commandUpdateResult("doneOk", false);
}

void DCmdSetLock::finishTheCommand(bool& ok) {
    if (m_answerTimer && m_answerTimer->isActive()) {
        m_answerTimer->stop();
    }
    ok = stopTheInstruction(m_listenInstructionId);
}

QSharedPointer<ICommand> DCmdSetLock::createCommand(const QVariantMap& arguments) {
    return makeRun<DCmdSetLock>(arguments);
}
