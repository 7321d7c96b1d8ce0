#include "d_cmd_set_screen_lock.h"

#include <QTimer>

DCmdSetScreenLock::DCmdSetScreenLock(const QVariantMap& arguments, QObject* parent)
    : DAbstractCommand("setScreenLock", arguments, parent) {
    setDescription("Lock or unlock the Stahlwille device screen");
    declareAParameter("serialId", "strg", "The serial ID of the device", QString(""));
    declareAParameter("lock", "bool", "True to lock (DKS), false to unlock (EKS)", QVariant());
    declareAResult("doneOk", "bool", "Command success status ", false);
    declareAResult("failed", "bool", "Command failed status", false);
}

DCmdSetScreenLock::~DCmdSetScreenLock() = default;

bool DCmdSetScreenLock::commandExecute() {
    if (!DAbstractCommand::commandExecute()) {
        return false;
    }
    m_serialPrefix = getParameterValue("serialId", QVariant()).toString().toUtf8();

    // The timer runs before the wrench is asked, so its answer window covers
    // the whole exchange.
    m_answerTimer = new QTimer(this);
    m_answerTimer->setSingleShot(true);
    connect(m_answerTimer, &QTimer::timeout, this, &DCmdSetScreenLock::onTimeout);
    m_answerTimer->start(answerTimeoutMs);

    m_listenInstructionId =
        addInstruction("driver", "listenEventsData",
                       {{"subscription", true}, {"validator", QString("screenLock")}}, 2000,
                       fastdelegate::MakeDelegate(this, &DCmdSetScreenLock::cbListenReply));

    const bool lock = getParameterValue("lock", QVariant()).toBool();
    const QByteArray frame = m_serialPrefix + (lock ? "DKS\r" : "EKS\r");
    addInstruction("driver", "write", {{"frame", frame}}, 2000, DReplyDelegate());
    return true;
}

bool DCmdSetScreenLock::cbListenReply(quint64, const QVariantMap& reply) {
    const auto frame = reply.constFind("frame");
    if (frame == reply.constEnd()) {
        return true;
    }
    m_lineBuffer.feed(frame->toByteArray(), [this](const QByteArray& line) { checkLine(line); });
    return true;
}

// The answer records both outcome results, and so does the timeout: a late
// answer after a timeout must not leave "doneOk" and "failed" both true.
void DCmdSetScreenLock::checkLine(const QByteArray& line) {
    if (line != m_serialPrefix + "OK") {
        return;
    }
    if (m_answerTimer && m_answerTimer->isActive()) {
        m_answerTimer->stop();
    }
    commandUpdateResult("doneOk", true);
    commandUpdateResult("failed", false);
}

void DCmdSetScreenLock::onTimeout() {
    commandUpdateResult("failed", true);
    commandUpdateResult("doneOk", false);
}

void DCmdSetScreenLock::finishTheCommand(bool& ok) {
    if (m_answerTimer && m_answerTimer->isActive()) {
        m_answerTimer->stop();
    }
    ok = stopTheInstruction(m_listenInstructionId);
}

QSharedPointer<ICommand> DCmdSetScreenLock::createCommand(const QVariantMap& arguments) {
    return makeRun<DCmdSetScreenLock>(arguments);
}
