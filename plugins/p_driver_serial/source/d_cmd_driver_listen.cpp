#include "d_cmd_driver_listen.h"

#include "p_driver_serial.h"

#include <limits>

DCmdDriverListen::DCmdDriverListen(const QVariantMap& arguments, QObject* parent)
    : DAbstractCommand(QStringLiteral("listenEventsData"), arguments, parent) {
    setRecurrent(true);
    setDescription(QStringLiteral("Listen to the bytes read from the line"));
    declareAParameter(QStringLiteral("validator"), QStringLiteral("strg"),
                      QStringLiteral("Accepted; every listener gets every chunk"),
                      QStringLiteral(""));
    declareAParameter(QStringLiteral("subscription"), QStringLiteral("bool"),
                      QStringLiteral("Accepted; every listener gets every chunk"), false);
    declareAResult(QStringLiteral("frame"), QStringLiteral("byAr"),
                   QStringLiteral("Bytes read from the line"), QVariant());
    declareAResult(QStringLiteral("number"), QStringLiteral("int"),
                   QStringLiteral("Number of the reply, from 1"), 0);
}

DCmdDriverListen::~DCmdDriverListen() = default;

bool DCmdDriverListen::commandExecute() {
    if (!DAbstractCommand::commandExecute()) {
        return false;
    }
    auto* driver = qobject_cast<PDriverSerial*>(plugin());
    if (!driver) {
        return false;
    }
    m_reading = connect(driver, &PDriverSerial::sigBytesRead, this, &DCmdDriverListen::onBytesRead);
    // A line that does not open now reports why; the listener stands anyway
    // and hears the line once someone opens it.
    driver->openLine();
    return true;
}

void DCmdDriverListen::finishTheCommand(bool& ok) {
    disconnect(m_reading);
    DAbstractCommand::finishTheCommand(ok);
}

QSharedPointer<ICommand> DCmdDriverListen::createCommand(const QVariantMap& arguments) {
    return makeRun<DCmdDriverListen>(arguments);
}

int DCmdDriverListen::nextReplyNumber(int previous) {
    return previous <= 0 || previous == std::numeric_limits<int>::max() ? 1 : previous + 1;
}

void DCmdDriverListen::onBytesRead(const QByteArray& chunk) {
    m_replyNumber = nextReplyNumber(m_replyNumber);
    // Each reply carries this chunk only, not the bytes of earlier replies.
    clearResults();
    commandUpdateResults(
        {{QStringLiteral("frame"), chunk}, {QStringLiteral("number"), m_replyNumber}});
}
