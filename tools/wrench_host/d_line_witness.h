#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What the host saw on the line while a run went on: the frames written, the
// lines read back, and whether the port went away. From that it tells why a
// run failed, in the words a technician checks the wrench with. Every byte
// read is untrusted: a line is kept up to maxLineBytes, the rest dropped.
class DLineWitness {
public:
    static constexpr int maxLineBytes = 256;

    // What the run knew besides the line, for failureReason().
    struct Facts {
        // The command's own answer time, 0 when it is not known.
        int answerMs = 0;
        // The run reads a preset and its lookup went wrong ("preset 9 is
        // not in the presets"); empty otherwise.
        QString presetProblem;
        // The command writes to the wrench (it has a serial ID).
        bool talksToWrench = true;
    };

    explicit DLineWitness(const QString& portName = QString());

    // A new run starts: what was seen in the one before is forgotten, except
    // that a port still away stays away.
    void begin(const QString& command, const QString& serialId);
    void end();

    void noteWritten(const QByteArray& frame);
    void noteRead(const QByteArray& chunk);
    // True when the line had been there until now.
    bool noteLost();
    // True when the line had been away until now.
    bool noteBack();

    bool isRunning() const;
    QString command() const;
    QString portName() const;
    // How many times in a row the last frame was written.
    int repeats() const;
    bool isAway() const;

    // Why the run failed, as far as the line tells; empty when it does not.
    QString failureReason(const Facts& facts) const;
    // "no answer from W1 ..." with the hint of what to check.
    QString noAnswer(int answerMs) const;
    // The serial ID, or "the wrench" when it is empty.
    QString wrenchName() const;
    // What to check when the wrench says nothing.
    static QString checkHint();

private:
    void takeLine();

    const QString m_portName;
    QString m_command;
    QString m_serialId;
    QByteArray m_prefix;
    bool m_running = false;
    int m_writes = 0;
    int m_repeats = 0;
    QByteArray m_lastWritten;
    QByteArray m_line;
    bool m_lineCut = false;
    // The last line that began with the serial ID, cut at maxLineBytes.
    std::optional<QByteArray> m_lastAnswer;
    bool m_away = false;
    // The port went away during the run, or was away when it started.
    bool m_lostDuringRun = false;
};
