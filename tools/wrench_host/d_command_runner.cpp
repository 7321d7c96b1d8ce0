#include "d_command_runner.h"

#include "d_host_clock.h"
#include "d_host_console.h"
#include "d_json_output.h"
#include "d_line_witness.h"
#include "d_result_sink.h"

#include <d_abstract_command.h>
#include <d_abstract_plugin.h>

#include <QTimer>

namespace {

const QString doneOkKey = QStringLiteral("doneOk");
const QString cmdSuccessKey = QStringLiteral("cmd_success");
const QString failedKey = QStringLiteral("failed");
const QString eventDataKey = QStringLiteral("eventData");
const QString serialIdKey = QStringLiteral("serialId");
const QString programKey = QStringLiteral("program");
const QString presetsKey = QStringLiteral("presets");

bool declared(const QList<DAbstractCommand::Declaration>& declarations, const QString& name) {
    for (const auto& declaration : declarations) {
        if (declaration.name == name) {
            return true;
        }
    }
    return false;
}

bool declares(const DAbstractCommand& command, const QString& key) {
    return declared(command.declaredResults(), key);
}

bool takes(const DAbstractCommand& command, const QString& parameter) {
    return declared(command.declaredParameters(), parameter);
}

} // namespace

DCommandRunner::DCommandRunner(DAbstractPlugin* plugin, QObject* parent)
    : QObject(parent)
    , m_plugin(plugin)
    , m_timeLimit(new QTimer(this)) {
    m_timeLimit->setSingleShot(true);
    connect(m_timeLimit, &QTimer::timeout, this, &DCommandRunner::onTimeLimit);
}

DCommandRunner::~DCommandRunner() = default;

void DCommandRunner::setWitness(const DLineWitness* witness) {
    m_witness = witness;
}

void DCommandRunner::setResultSink(DResultSink* sink) {
    m_sink = sink;
}

void DCommandRunner::start(const DRunRequest& request, int timeLimitMs) {
    m_request = request;
    m_events = 0;
    m_repeats = 0;
    m_resultTaken = false;
    m_end = End::None;
    m_ok = false;
    m_results.clear();
    m_failure.clear();
    m_stdoutError.clear();
    m_lineReason.clear();
    m_serialId.clear();
    m_answerMs = 0;
    m_running = true;

    DAbstractCommand* prototype = m_plugin->commandPrototype(request.command);
    m_run = prototype->createCommand(request.arguments);
    m_command = dynamic_cast<DAbstractCommand*>(m_run.data());
    if (!m_command) {
        m_failure = QStringLiteral("the plug-in made no run of it");
        m_run.reset();
        scheduleEnd(End::Refused);
        return;
    }
    m_successKey = declares(*m_command, doneOkKey)
                       ? doneOkKey
                       : (declares(*m_command, cmdSuccessKey) ? cmdSuccessKey : QString());
    m_declaresFailed = declares(*m_command, failedKey);
    m_serialId = m_command->getParameterValue(serialIdKey, QVariant()).toString();
    // Connected before the run starts: a command may record its outcome
    // inside commandExecute().
    connect(m_command, &DAbstractCommand::sigResultUpdated, this, &DCommandRunner::onResultUpdated);
    emit sigStarted(request.command, m_serialId);
    m_timeLimitMs = timeLimitMs;
    if (timeLimitMs > 0) {
        m_timeLimit->start(timeLimitMs);
    }
    if (!m_run->commandExecute()) {
        m_failure = QStringLiteral("the plug-in refused to run it");
        scheduleEnd(End::Refused);
    }
    // Read now, as the command started its timer: what it waited for.
    m_answerMs = answerTimeMs();
}

void DCommandRunner::interrupt() {
    if (m_running && m_end == End::None) {
        scheduleEnd(End::Interrupted);
    }
}

void DCommandRunner::abandon(const QString& reason) {
    if (m_running && m_end == End::None) {
        m_failure = reason;
        scheduleEnd(End::Abandoned);
    }
}

bool DCommandRunner::isRunning() const {
    return m_running;
}

bool DCommandRunner::ok() const {
    return m_ok;
}

QString DCommandRunner::failure() const {
    return m_failure;
}

QVariantMap DCommandRunner::results() const {
    return m_results;
}

void DCommandRunner::onResultUpdated(const QString& key, const QVariant& value) {
    if (key == eventDataKey) {
        const QDateTime receivedAt = QDateTime::currentDateTimeUtc();
        const DResultSink::Taken taken = keepResult(value, receivedAt);
        if (taken.outcome == DResultSink::Taken::Outcome::Repeat) {
            ++m_repeats;
            DHostConsole::message(
                QStringLiteral("%1: tightening already kept as row %2; not stored again")
                    .arg(m_serialId)
                    .arg(taken.row));
            return;
        }
        QString error;
        if (!DHostConsole::json(
                DJsonOutput::eventLine(value, m_serialId, DHostClock::receiveTime(receivedAt)),
                &error) &&
            taken.isKept()) {
            stopKeeping(error);
        }
        if (!taken.isKept() || m_end == End::Abandoned) {
            return;
        }
    } else if (QString error; !DHostConsole::json(DJsonOutput::resultLine(key, value), &error)) {
        m_stdoutError = m_stdoutError.isEmpty() ? error : m_stdoutError;
    }
    if (m_end != End::None) {
        return;
    }
    if (m_request.kind == DRunRequest::Kind::Listen) {
        if (key == eventDataKey && ++m_events == m_request.count) {
            scheduleEnd(End::Count);
        }
    } else if (isOutcome(key, value)) {
        scheduleEnd(End::Outcome);
    }
}

// Kept before it is printed: what stdout shows is in the store.
DResultSink::Taken DCommandRunner::keepResult(const QVariant& value, const QDateTime& receivedAt) {
    if (!m_sink) {
        return {DResultSink::Taken::Outcome::Kept, 0, {}};
    }
    const DResultSink::Taken taken =
        m_sink->takeResult({m_serialId, receivedAt, value.toMap(), !m_resultTaken});
    m_resultTaken = true;
    if (!taken.isKept()) {
        stopKeeping(taken.message);
    }
    return taken;
}

// Also when the run was about to end well: it did not.
void DCommandRunner::stopKeeping(const QString& error) {
    if (m_end == End::Abandoned) {
        return;
    }
    m_failure = QStringLiteral("%1; the listen stops, so that the wrench keeps the results "
                               "after this one")
                    .arg(error);
    if (m_end == End::None) {
        scheduleEnd(End::Abandoned);
    } else {
        m_end = End::Abandoned;
    }
}

void DCommandRunner::reportRepeats() const {
    if (m_repeats > 0) {
        DHostConsole::message(
            QStringLiteral("%1: %2 delivered again, not stored again")
                .arg(m_request.command, m_repeats == 1
                                            ? QStringLiteral("1 tightening")
                                            : QStringLiteral("%1 tightenings").arg(m_repeats)));
    }
}

void DCommandRunner::onTimeLimit() {
    if (m_running && m_end == End::None) {
        m_failure = QStringLiteral("timed out after %1 ms").arg(m_timeLimitMs);
        scheduleEnd(End::TimedOut);
    }
}

// A declared outcome recorded true ends the run; so does any "cmd_success"
// of a command that has no "failed" to wait for.
bool DCommandRunner::isOutcome(const QString& key, const QVariant& value) const {
    if ((key == m_successKey && !m_successKey.isEmpty()) ||
        (key == failedKey && m_declaresFailed)) {
        return value.toBool() || (key == cmdSuccessKey && !m_declaresFailed);
    }
    return false;
}

// What the line showed is taken now: a line that arrives before the end on
// the event loop came too late for the run.
void DCommandRunner::scheduleEnd(End reason) {
    m_end = reason;
    m_lineReason = reason == End::Outcome || reason == End::TimedOut ? lineReason() : QString();
    QMetaObject::invokeMethod(this, &DCommandRunner::endRun, Qt::QueuedConnection);
}

void DCommandRunner::endRun() {
    m_timeLimit->stop();
    m_results = declaredResults();
    switch (m_end) {
    case End::Outcome:
        m_ok = outcomeOk(m_results);
        m_failure = m_ok ? QString() : QStringLiteral("failed");
        break;
    case End::Count:
        m_ok = true;
        break;
    case End::Interrupted:
        m_ok = m_request.kind == DRunRequest::Kind::Listen;
        m_failure = m_ok ? QString() : QStringLiteral("interrupted");
        break;
    case End::None:
    case End::TimedOut:
    case End::Refused:
    case End::Abandoned:
        m_ok = false;
        break;
    }
    if (!m_ok && !m_lineReason.isEmpty()) {
        m_failure += QStringLiteral(": ") + m_lineReason;
    }
    if (m_end != End::Refused) {
        bool finished = m_ok;
        m_run->finishTheCommand(finished);
    }
    if (m_command) {
        disconnect(m_command, nullptr, this, nullptr);
        m_command = nullptr;
    }
    m_run.reset();
    reportRepeats();
    QString error;
    if (!DHostConsole::json(DJsonOutput::runEndLine(m_request.command, m_results, m_ok), &error) ||
        !m_stdoutError.isEmpty()) {
        m_failure = m_ok ? (m_stdoutError.isEmpty() ? error : m_stdoutError) : m_failure;
        m_ok = false;
    }
    // What the finish queued (released instructions, late replies) runs
    // before the next run starts.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_running = false;
            emit sigEnded(m_ok);
        },
        Qt::QueuedConnection);
}

bool DCommandRunner::outcomeOk(const QVariantMap& results) const {
    return !m_successKey.isEmpty() && results.value(m_successKey).toBool() &&
           !results.value(failedKey).toBool();
}

// The declared defaults with what the run recorded over them.
QVariantMap DCommandRunner::declaredResults() const {
    if (!m_command) {
        return {};
    }
    QVariantMap results;
    for (const auto& result : m_command->declaredResults()) {
        results.insert(result.name, result.defaultValue);
    }
    const QVariantMap recorded = m_command->commandResults();
    for (auto it = recorded.constBegin(); it != recorded.constEnd(); ++it) {
        results.insert(it.key(), it.value());
    }
    return results;
}

QString DCommandRunner::lineReason() const {
    if (!m_witness || !m_command || m_request.kind == DRunRequest::Kind::Listen) {
        return {};
    }
    DLineWitness::Facts facts;
    // Only a run that ended on its own outcome ran its answer timer out.
    facts.answerMs = m_end == End::Outcome ? m_answerMs : 0;
    facts.presetProblem = presetProblem();
    facts.talksToWrench = takes(*m_command, serialIdKey);
    return m_witness->failureReason(facts);
}

// The command's answer timer is a Qt child of the run; the longest one is
// what it waits for.
int DCommandRunner::answerTimeMs() const {
    int longest = 0;
    if (!m_command) {
        return longest;
    }
    for (const QTimer* timer : m_command->findChildren<QTimer*>()) {
        longest = qMax(longest, timer->interval());
    }
    return longest;
}

QString DCommandRunner::presetProblem() const {
    if (!takes(*m_command, programKey)) {
        return {};
    }
    const QString number =
        QString::number(m_command->getParameterValue(programKey, QVariant()).toULongLong());
    const QVariantMap presets = m_command->getParameterValue(presetsKey, QVariant()).toMap();
    if (!presets.contains(number)) {
        return QStringLiteral("preset %1 is not in the presets").arg(number);
    }
    return QStringLiteral("preset %1 is not valid (it needs a positive \"angle\" or "
                          "\"targetTorque\", every value a number the frame can carry)")
        .arg(number);
}
