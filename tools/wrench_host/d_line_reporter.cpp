#include "d_line_reporter.h"

#include "d_c_escape.h"
#include "d_host_clock.h"
#include "d_host_console.h"
#include "d_run_request.h"

#include <QTimer>

namespace {

const QString connectionCheck = QStringLiteral("checkConnectionWithSerial");

QString seconds(qint64 ms) {
    return QString::number(static_cast<double>(ms) / 1000.0, 'f', 1);
}

} // namespace

DLineReporter::DLineReporter(const QString& portName, int reconnectLimitMs, bool quiet,
                             QObject* parent)
    : QObject(parent)
    , m_witness(portName)
    , m_reconnectLimitMs(reconnectLimitMs)
    , m_quiet(quiet)
    , m_silence(new QTimer(this))
    , m_reconnectLimit(new QTimer(this)) {
    m_silence->setObjectName(QStringLiteral("silenceReport"));
    m_silence->setSingleShot(true);
    connect(m_silence, &QTimer::timeout, this, &DLineReporter::onSilence);
    m_reconnectLimit->setObjectName(QStringLiteral("reconnectLimit"));
    m_reconnectLimit->setSingleShot(true);
    connect(m_reconnectLimit, &QTimer::timeout, this, &DLineReporter::onReconnectLimit);
}

const DLineWitness* DLineReporter::witness() const {
    return &m_witness;
}

void DLineReporter::onRunStarted(const QString& command, const QString& serialId) {
    m_witness.begin(command, serialId);
    if (command == QLatin1String(DRunRequest::listenCommand)) {
        m_silentForMs = 0;
        m_silence->start(firstSilenceReportMs);
    }
    // A port that went away before this run gets the whole limit again.
    if (m_witness.isAway() && !m_reconnectLimit->isActive()) {
        startReconnectLimit();
    }
}

void DLineReporter::onRunEnded() {
    m_witness.end();
    m_silence->stop();
}

void DLineReporter::onWritten(const QByteArray& frame) {
    m_witness.noteWritten(frame);
    if (m_witness.isRunning() && m_witness.command() == connectionCheck &&
        m_witness.repeats() > 1) {
        QByteArray shown = frame;
        if (shown.endsWith('\r')) {
            shown.chop(1);
        }
        progress(QStringLiteral("%1, try %2 of %3")
                     .arg(DCEscape::escape(shown))
                     .arg(m_witness.repeats())
                     .arg(connectionCheckTries));
    }
}

void DLineReporter::onRead(const QByteArray& chunk) {
    m_witness.noteRead(chunk);
    if (m_silence->isActive()) {
        m_silentForMs = 0;
        m_silence->start(firstSilenceReportMs);
    }
}

// The driver reports every failed reopen too: only the first loss is news.
void DLineReporter::onLineError(const QString& message) {
    if (!m_witness.noteLost()) {
        return;
    }
    m_lostAtMs = DHostClock::elapsedMs();
    note(QStringLiteral("%1; trying again").arg(message));
    startReconnectLimit();
}

void DLineReporter::onLineOpened() {
    if (!m_witness.noteBack()) {
        return;
    }
    m_reconnectLimit->stop();
    note(QStringLiteral("the port %1 is back after %2 s")
             .arg(m_witness.portName(), seconds(DHostClock::elapsedMs() - m_lostAtMs)));
}

// Reported after 10 s of silence, then after 20, 40, ... so that a long quiet
// listen does not flood the terminal.
void DLineReporter::onSilence() {
    m_silentForMs += m_silentForMs == 0 ? firstSilenceReportMs : m_silentForMs;
    progress(QStringLiteral("%1 listening: nothing heard from %2 for %3 s %4")
                 .arg(DHostClock::stamp(), m_witness.wrenchName())
                 .arg(m_silentForMs / 1000)
                 .arg(DLineWitness::checkHint()));
    m_silence->start(m_silentForMs);
}

void DLineReporter::onReconnectLimit() {
    if (m_witness.isAway() && m_witness.isRunning()) {
        emit sigGaveUp(QStringLiteral("the port %1 was lost (away for more than %2 ms)")
                           .arg(m_witness.portName())
                           .arg(m_reconnectLimitMs));
    }
}

void DLineReporter::startReconnectLimit() {
    if (m_reconnectLimitMs > 0) {
        m_reconnectLimit->start(m_reconnectLimitMs);
    }
}

void DLineReporter::progress(const QString& text) const {
    if (!m_quiet) {
        DHostConsole::message(text);
    }
}

void DLineReporter::note(const QString& text) const {
    DHostConsole::message(QStringLiteral("%1 %2").arg(DHostClock::stamp(), text));
}
