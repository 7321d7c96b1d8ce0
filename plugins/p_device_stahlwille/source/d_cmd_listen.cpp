#include "d_cmd_listen.h"

#include "d_diagnostic_log.h"
#include "d_instruction_timeout.h"
#include "d_serial_id.h"
#include "d_tightening_record.h"
#include "p_device_stahlwille.h"

#include <QTimer>

#include <optional>

DCmdListen::DCmdListen(const QVariantMap& arguments, QObject* parent)
    : DAbstractCommand("listenEventsData", "stopListening", arguments, parent) {
    setDescription("Listen to tightening data from Stahlwille device");
    declareAParameter("serialId", "strg", "The serial ID of the device", QString(""));
    declareAResult("eventData", "varM", "Tightening data", QVariant());
}

DCmdListen::~DCmdListen() = default;

bool DCmdListen::commandExecute() {
    if (!DAbstractCommand::commandExecute()) {
        return false;
    }
    const auto prefix = DSerialId::framePrefix(getParameterValue("serialId", QVariant()), this);
    if (!prefix) {
        return false;
    }
    m_serialPrefix = *prefix;
    m_plugin = qobject_cast<PDeviceStahlwille*>(parent());

    // No validator: the driver is to hand over every line, the short answers
    // as well as the records.
    m_listenInstructionId =
        addInstruction("driver", "listenEventsData", QVariantMap(), instructionTimeoutMs,
                       fastdelegate::MakeDelegate(this, &DCmdListen::cbListenReply));
    m_phase = Phase::Polling;
    sendGetDataFrame();

    m_inactivityTimer = new QTimer(this);
    m_inactivityTimer->setSingleShot(true);
    connect(m_inactivityTimer, &QTimer::timeout, this, &DCmdListen::closeDriverConnection);
    m_inactivityTimer->start(inactivityIntervalMs);

    m_pollTimer = new QTimer(this);
    m_pollTimer->setSingleShot(false);
    connect(m_pollTimer, &QTimer::timeout, this, &DCmdListen::sendGetDataFrame);
    m_pollTimer->start(pollIntervalMs);
    return true;
}

void DCmdListen::finishTheCommand(bool& ok) {
    if (m_pollTimer) {
        m_pollTimer->stop();
    }
    delete m_inactivityTimer;
    m_inactivityTimer = nullptr;
    ok = stopTheInstruction(m_listenInstructionId);
}

QSharedPointer<ICommand> DCmdListen::createCommand(const QVariantMap& arguments) {
    return makeRun<DCmdListen>(arguments);
}

bool DCmdListen::cbListenReply(quint64 instructionId, const QVariantMap& reply) {
    const int replyNumber = reply.value("number").toInt();
    if (replyNumber == m_lastReplyNumber) {
        return true;
    }
    m_lastReplyNumber = replyNumber;
    if (m_inactivityTimer) {
        m_inactivityTimer->start(inactivityIntervalMs);
    }

    const bool hasFrame = m_lineBuffer.feedReply(
        reply, [this, replyNumber](const QByteArray& line) { classifyLine(line, replyNumber); });
    if (!hasFrame) {
        WRENCH_LOG_MISSING_FRAME(
            this, "ERROR: replyData contains no frame for instructionId =", instructionId);
    }
    return true;
}

void DCmdListen::sendClearFrame() {
    writeFrame("CLR\r");
}

void DCmdListen::sendGetDataFrame() {
    writeFrame("GDS\r");
}

void DCmdListen::closeDriverConnection() {
    addInstruction("driver", "closeConnection", QVariantMap(), instructionTimeoutMs,
                   DReplyDelegate());
    // Polling stays stopped until the wrench answers a "CLR"; if that answer
    // was lost, nothing would ever be written again and every later tightening
    // would stay on the wrench. Ask again, every 5000 ms, until a reply comes.
    if (m_phase == Phase::RecordFetched || m_phase == Phase::Clearing) {
        sendClearFrame();
        m_inactivityTimer->start(inactivityIntervalMs);
    }
}

void DCmdListen::writeFrame(const char* mnemonic) {
    addInstruction("driver", "write", {{"frame", m_serialPrefix + mnemonic}}, instructionTimeoutMs,
                   DReplyDelegate());
}

void DCmdListen::classifyLine(const QByteArray& line, int replyNumber) {
    if (isAnswer(line, "OK")) {
        onClearAcknowledged();
    } else if (isNothingSavedAnswer(line)) {
        onNothingSaved(isAnswer(line, "?"));
    } else if (DTighteningRecord::isRecordLine(line)) {
        handleRecord(line, replyNumber);
    }
}

bool DCmdListen::isAnswer(const QByteArray& line, const char* answer) const {
    return line.startsWith(m_serialPrefix) && line.mid(m_serialPrefix.size()) == answer;
}

bool DCmdListen::isNothingSavedAnswer(const QByteArray& line) const {
    return isAnswer(line, "no new saved") || isAnswer(line, "None Saved") || isAnswer(line, "?");
}

void DCmdListen::onClearAcknowledged() {
    switch (m_phase) {
    case Phase::Polling:
        break;
    case Phase::RecordFetched:
    case Phase::Clearing:
        m_phase = Phase::Clearing;
        sendClearFrame();
        break;
    }
}

// The wrench answers the "CLR" that finds its memory empty this way: the clear
// is over, and the record lines that follow are new ones. A "?" to the first
// "CLR" of a record may also be the wrench refusing to let go of it: the
// next "GDS" tells, by bringing the same record again.
void DCmdListen::onNothingSaved(bool refused) {
    switch (m_phase) {
    case Phase::Polling:
        break;
    case Phase::RecordFetched:
        m_clearRefusals += refused ? 1 : 0;
        [[fallthrough]];
    case Phase::Clearing:
        m_phase = Phase::Polling;
        m_pollTimer->start(pollIntervalMs);
        break;
    }
}

// A record line is taken only while polling: otherwise a "CLR" waits for its
// answer. Only a record this run published is ever cleared.
void DCmdListen::handleRecord(const QByteArray& line, int replyNumber) {
    if (m_phase != Phase::Polling) {
        return;
    }
    if (isRefusedAsDamaged(line)) {
        return;
    }
    if (line == m_lastPublishedLine) {
        handleRepeat();
        return;
    }
    m_lastPublishedLine = line;
    m_clearRefusals = 0;
    clearFetchedRecord();
    publishEventData(line, replyNumber);
}

// The last record published is still on the wrench: its "CLR" was refused,
// or its answer lost. It is cleared again, not published again, until the
// wrench has refused too often; then it is left there, said once.
void DCmdListen::handleRepeat() {
    if (m_clearRefusals < clearRefusalsTolerated) {
        clearFetchedRecord();
    } else if (m_clearRefusals == clearRefusalsTolerated) {
        ++m_clearRefusals;
        WRENCH_LOG_REFUSED(this,
                           "ERROR: the wrench refuses to clear its record:", m_lastPublishedLine);
    }
}

// Not published and not cleared: the next "GDS" fetches the line again, and a
// transmission fault is gone by then. Only the same damaged line in a row, with
// no intact record between, counts towards publishing it.
bool DCmdListen::isRefusedAsDamaged(const QByteArray& line) {
    if (DTighteningRecord::isIntact(line)) {
        m_damagedDeliveries = 0;
        m_damagedLine.clear();
        return false;
    }
    m_damagedDeliveries = line == m_damagedLine ? m_damagedDeliveries + 1 : 1;
    m_damagedLine = line;
    if (m_damagedDeliveries >= damagedDeliveriesPublished) {
        return false;
    }
    WRENCH_LOG_REFUSED(this, "ERROR: damaged record line, fetched again:", line);
    return true;
}

// Polling stops until the wrench has let go of the record.
void DCmdListen::clearFetchedRecord() {
    m_pollTimer->stop();
    m_phase = Phase::RecordFetched;
    sendClearFrame();
}

void DCmdListen::publishEventData(const QByteArray& line, int replyNumber) {
    std::optional<int> presetNo;
    if (m_plugin) {
        presetNo = m_plugin->getProperty("currentProgId", nullptr).toInt();
    }
    const QVariantMap eventData = DTighteningRecord::eventData(line, replyNumber, presetNo);
    if (eventData.isEmpty()) {
        return;
    }
    commandUpdateResult("eventData", eventData);
}
