#include "d_line_witness.h"

#include "d_c_escape.h"

DLineWitness::DLineWitness(const QString& portName)
    : m_portName(portName) {}

void DLineWitness::begin(const QString& command, const QString& serialId) {
    m_command = command;
    m_serialId = serialId;
    m_prefix = serialId.toUtf8();
    m_running = true;
    m_writes = 0;
    m_repeats = 0;
    m_lastWritten.clear();
    m_line.clear();
    m_lineCut = false;
    m_lastAnswer.reset();
    m_lostDuringRun = m_away;
}

void DLineWitness::end() {
    m_running = false;
}

void DLineWitness::noteWritten(const QByteArray& frame) {
    ++m_writes;
    m_repeats = frame == m_lastWritten ? m_repeats + 1 : 1;
    m_lastWritten = frame;
}

void DLineWitness::noteRead(const QByteArray& chunk) {
    for (const char byte : chunk) {
        if (byte == '\r' || byte == '\n') {
            takeLine();
        } else if (m_line.size() < maxLineBytes) {
            m_line += byte;
        } else {
            m_lineCut = true;
        }
    }
}

bool DLineWitness::noteLost() {
    m_lostDuringRun = m_lostDuringRun || m_running;
    const bool news = !m_away;
    m_away = true;
    return news;
}

bool DLineWitness::noteBack() {
    const bool news = m_away;
    m_away = false;
    return news;
}

bool DLineWitness::isRunning() const {
    return m_running;
}

QString DLineWitness::command() const {
    return m_command;
}

QString DLineWitness::portName() const {
    return m_portName;
}

int DLineWitness::repeats() const {
    return m_repeats;
}

bool DLineWitness::isAway() const {
    return m_away;
}

QString DLineWitness::failureReason(const Facts& facts) const {
    if (m_lostDuringRun) {
        return QStringLiteral("the port %1 was lost").arg(m_portName);
    }
    if (m_writes == 0) {
        if (!facts.talksToWrench) {
            return facts.presetProblem;
        }
        return facts.presetProblem.isEmpty()
                   ? QStringLiteral("nothing was written")
                   : QStringLiteral("nothing was written: %1").arg(facts.presetProblem);
    }
    if (m_lastAnswer) {
        return QStringLiteral("the wrench answered \"%1\"").arg(DCEscape::escape(*m_lastAnswer));
    }
    return noAnswer(facts.answerMs);
}

QString DLineWitness::noAnswer(int answerMs) const {
    QString text = QStringLiteral("no answer from %1").arg(wrenchName());
    if (m_repeats > 1) {
        text += QStringLiteral(" to %1 tries").arg(m_repeats);
    }
    if (answerMs > 0) {
        text += QStringLiteral(" within %1 ms").arg(answerMs);
        text += m_repeats > 1 ? QStringLiteral(" each") : QString();
    }
    return text + QLatin1Char(' ') + checkHint();
}

// A line counts as the wrench's answer when it begins with its serial ID; an
// empty serial ID makes every line one.
void DLineWitness::takeLine() {
    if (!m_line.isEmpty() && m_line.startsWith(m_prefix)) {
        m_lastAnswer = m_lineCut ? m_line + "..." : m_line;
    }
    m_line.clear();
    m_lineCut = false;
}

QString DLineWitness::wrenchName() const {
    return m_serialId.isEmpty() ? QStringLiteral("the wrench") : m_serialId;
}

QString DLineWitness::checkHint() {
    return QStringLiteral("(check the serial ID, the baud rate and the cable)");
}
