#include "d_cmd_listen.h"

#include "d_diagnostic_log.h"
#include "d_tightening_record.h"
#include "p_device_stahlwille.h"

#include <time.h>

#include <QDeadlineTimer>
#include <QTimer>

#include <optional>

namespace {

// The coarse monotonic clock is read without asking the hardware, a few
// nanoseconds against some tens for the precise one; it moves in ticks of up
// to coarseTickMs.
constexpr qint64 coarseTickMs = 10;

qint64 coarseMonotonicMs() {
#ifdef CLOCK_MONOTONIC_COARSE
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
#else
    return QDeadlineTimer::current().deadline();
#endif
}

// key == name, compared inline: the key's UTF-16 text against the literal's.
template <size_t N>
bool isKey(const QString& key, const char16_t (&name)[N]) {
    return key.size() == int(N - 1) && std::memcmp(key.constData(), name, (N - 1) * 2) == 0;
}

} // namespace

DCmdListen::DCmdListen(const QVariantMap& arguments, QObject* parent)
    : DAbstractCommand(QStringLiteral("listenEventsData"), QStringLiteral("stopListening"),
                       arguments, parent) {
    setDescription(QStringLiteral("Listen to tightening data from Stahlwille device"));
    declareAParameter(QStringLiteral("serialId"), QStringLiteral("strg"),
                      QStringLiteral("The serial ID of the device"), QStringLiteral(""));
    declareAResult(QStringLiteral("eventData"), QStringLiteral("varM"),
                   QStringLiteral("Tightening data"), QVariant());
}

DCmdListen::~DCmdListen() = default;

bool DCmdListen::commandExecute() {
    if (!DAbstractCommand::commandExecute()) {
        return false;
    }
    m_serialPrefix = getParameterValue(QStringLiteral("serialId"), QVariant()).toString().toUtf8();
    m_plugin = qobject_cast<PDeviceStahlwille*>(parent());

    // No validator: the driver is to hand over every line, the short answers
    // as well as the records.
    m_listenInstructionId = addInstruction(
        QStringLiteral("driver"), QStringLiteral("listenEventsData"), QVariantMap(),
        instructionTimeoutMs, fastdelegate::MakeDelegate(this, &DCmdListen::cbListenReply));
    sendClearFrame();

    m_inactivityTimer = new QTimer(this);
    m_inactivityTimer->setSingleShot(true);
    connect(m_inactivityTimer, &QTimer::timeout, this, &DCmdListen::closeDriverConnection);
    restartInactivityTimer();

    m_pollTimer = new QTimer(this);
    m_pollTimer->setSingleShot(false);
    connect(m_pollTimer, &QTimer::timeout, this, &DCmdListen::sendGetDataFrame);
    m_pollTimer->start(pollIntervalMs);
    return true;
}

void DCmdListen::finishTheCommand(bool& ok) {
    if (m_pollTimer && m_pollTimer->isActive()) {
        m_pollTimer->stop();
    }
    if (m_inactivityTimer) {
        if (m_inactivityTimer->isActive()) {
            m_inactivityTimer->stop();
        }
        delete m_inactivityTimer;
        m_inactivityTimer = nullptr;
    }
    ok = stopTheInstruction(m_listenInstructionId);
}

QSharedPointer<ICommand> DCmdListen::createCommand(const QVariantMap& arguments) {
    return makeRun<DCmdListen>(arguments);
}

bool DCmdListen::cbListenReply(quint64 instructionId, const QVariantMap& reply) {
    // The driver's reply has two entries; one walk over them costs less than
    // two lookups, each comparing whole keys.
    const QVariant* number = nullptr;
    const QVariant* frame = nullptr;
    for (auto entry = reply.cbegin(); entry != reply.cend(); ++entry) {
        if (isKey(entry.key(), u"number")) {
            number = &entry.value();
        } else if (isKey(entry.key(), u"frame")) {
            frame = &entry.value();
        }
    }
    const int replyNumber = number ? number->toInt() : 0;
    if (replyNumber == m_lastReplyNumber) {
        return true;
    }
    m_lastReplyNumber = replyNumber;
    if (m_inactivityTimer) {
        restartInactivityTimer();
    }

    if (frame) {
        m_lineBuffer.feed(frame->toByteArray(), [this, replyNumber](const QByteArray& line) {
            classifyLine(line, replyNumber);
        });
    } else {
        WRENCH_LOG_MISSING_FRAME(
            this, "ERROR: replyData contains no frame for instructionId =", instructionId);
    }
    return true;
}

void DCmdListen::sendClearFrame() {
    m_awaitingClearAck = true;
    writeFrame("CLR\r");
}

void DCmdListen::sendGetDataFrame() {
    // Polling runs while the first "CLR" waits for its answer. The wrench
    // answers in order, so once a "GDS" follows it, a record that arrives is
    // the answer to the "GDS", even if the "CLR"'s answer was lost.
    m_awaitingClearAck = false;
    writeFrame("GDS\r");
}

void DCmdListen::closeDriverConnection() {
    addInstruction(QStringLiteral("driver"), QStringLiteral("closeConnection"), QVariantMap(),
                   instructionTimeoutMs, DReplyDelegate());
    // Polling stays stopped until the wrench answers a "CLR"; if that answer
    // was lost, nothing would ever be written again and every later tightening
    // would stay on the wrench. Ask again, every 5000 ms, until a reply comes.
    if (isPollingStopped()) {
        sendClearFrame();
        restartInactivityTimer();
    }
}

// Restarting a QTimer unregisters and registers it with the event dispatcher,
// which costs far more than the few bytes of a reply. While the coarse clock
// has not moved on by more than one of its ticks since the last restart, the
// new deadline would differ by a few milliseconds, less than the timer's own
// slack (a coarse timer keeps to 5 % of its 5000 ms): a running timer is left
// alone then.
void DCmdListen::restartInactivityTimer() {
    const qint64 now = coarseMonotonicMs();
    if (m_inactivityTimer->isActive() && now - m_inactivityRestartMs <= coarseTickMs) {
        return;
    }
    m_inactivityTimer->start(inactivityIntervalMs);
    m_inactivityRestartMs = now;
}

void DCmdListen::writeFrame(const char* mnemonic) {
    addInstruction(QStringLiteral("driver"), QStringLiteral("write"),
                   {{QStringLiteral("frame"), m_serialPrefix + mnemonic}}, instructionTimeoutMs,
                   DReplyDelegate());
}

void DCmdListen::classifyLine(const QByteArray& line, int replyNumber) {
    const std::string_view text(line.constData(), size_t(line.size()));
    if (isAnswer(text, "OK")) {
        onClearAcknowledged();
    } else if (isNothingSavedAnswer(text)) {
        onNothingSaved();
    } else if (m_awaitingClearAck) {
        return;
    } else if (const auto key = DTighteningRecord::recordKey(text)) {
        handleRecord(line, *key, replyNumber);
    }
}

bool DCmdListen::isNothingSavedAnswer(std::string_view line) const {
    return isAnswer(line, "no new saved") || isAnswer(line, "None Saved") || isAnswer(line, "?");
}

bool DCmdListen::isPollingStopped() const {
    return m_pollTimer && !m_pollTimer->isActive();
}

void DCmdListen::onClearAcknowledged() {
    m_awaitingClearAck = false;
    if (isPollingStopped()) {
        m_clearing = true;
        sendClearFrame();
    }
}

// The wrench answers the "CLR" that finds its memory empty this way: the clear
// is over, whether it was the first "CLR" after a record or a later one, and
// the record lines that follow are new ones.
void DCmdListen::onNothingSaved() {
    m_awaitingClearAck = false;
    if (isPollingStopped()) {
        m_clearing = false;
        m_pollTimer->start(pollIntervalMs);
    }
}

void DCmdListen::handleRecord(const QByteArray& line, std::string_view key, int replyNumber) {
    // A wrench repeats its record until it is cleared: most records are the
    // one seen last, told without copying the key.
    if (key == std::string_view(m_lastRecordKey.constData(), size_t(m_lastRecordKey.size()))) {
        if (m_clearing) {
            sendClearFrame();
        }
        return;
    }
    m_clearing = false;
    m_lastRecordKey = QByteArray(key.data(), int(key.size()));
    if (m_pollTimer && m_pollTimer->isActive()) {
        m_pollTimer->stop();
    }
    sendClearFrame();
    publishEventData(line, replyNumber);
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
    commandUpdateResult(QStringLiteral("eventData"), eventData);
}
