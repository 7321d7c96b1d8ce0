#pragma once

#include "d_result_sink.h"
#include "d_run_request.h"

#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QVariantMap>

class DAbstractCommand;
class DAbstractPlugin;
class DLineWitness;
class ICommand;
class QTimer;

// One run of a plug-in command, from its prototype to its end. Every result
// update is printed as it is recorded; the run ends when it records its
// outcome, after --count "eventData" results of a listen, on interrupt() or
// at the time limit. The end always happens on a later turn of the event
// loop, never inside the command's own handler, so that everything the
// handler records lands first. Then the runner finishes the command, drops
// the run, prints the closing line (every declared result, its declared
// default where the run recorded none) and, one more turn later, emits
// sigEnded. With a witness of the line, a failure says what went wrong there.
class DCommandRunner : public QObject {
    Q_OBJECT

public:
    explicit DCommandRunner(DAbstractPlugin* plugin, QObject* parent = nullptr);
    ~DCommandRunner() override;

    // What the host saw on the line, read when a run fails; not owned.
    void setWitness(const DLineWitness* witness);

    // Where each "eventData" result is kept before it is printed; not owned.
    // A result it cannot keep is still printed, and the run ends as failed,
    // so that the wrench is told to forget no more results. A tightening it
    // kept before is said on stderr, not printed nor counted; the end of a
    // listen says how many there were.
    void setResultSink(DResultSink* sink);

    // timeLimitMs <= 0: no limit.
    void start(const DRunRequest& request, int timeLimitMs);
    // Ctrl-C or SIGTERM: the normal end of a listen, a failure otherwise.
    void interrupt();
    // Ends the run as failed, for a reason outside the command (the port
    // stayed away).
    void abandon(const QString& reason);

    bool isRunning() const;
    bool ok() const;
    // Why a run that ended did not succeed ("failed: the wrench answered
    // \"W1?\"", "timed out after 200 ms", ...); empty when it succeeded.
    QString failure() const;
    // What the run had recorded when it ended, as on its closing line.
    QVariantMap results() const;

signals:
    // Before the command starts, with the serial ID it talks to.
    void sigStarted(const QString& command, const QString& serialId);
    void sigEnded(bool ok);

private:
    enum class End { None, Outcome, Count, Interrupted, TimedOut, Refused, Abandoned };

    void onResultUpdated(const QString& key, const QVariant& value);
    void stopKeeping(const QString& error);
    DResultSink::Taken keepResult(const QVariant& value, const QDateTime& receivedAt);
    void reportRepeats() const;
    void onTimeLimit();
    bool isOutcome(const QString& key, const QVariant& value) const;
    void scheduleEnd(End reason);
    void endRun();
    bool outcomeOk(const QVariantMap& results) const;
    QVariantMap declaredResults() const;
    QString lineReason() const;
    int answerTimeMs() const;
    QString presetProblem() const;

    DAbstractPlugin* const m_plugin;
    QTimer* const m_timeLimit;
    const DLineWitness* m_witness = nullptr;
    DResultSink* m_sink = nullptr;
    DRunRequest m_request;
    QString m_serialId;
    QSharedPointer<ICommand> m_run;
    DAbstractCommand* m_command = nullptr;
    QString m_successKey;
    bool m_declaresFailed = false;
    int m_timeLimitMs = 0;
    int m_answerMs = 0;
    int m_events = 0;
    int m_repeats = 0;
    End m_end = End::None;
    bool m_running = false;
    bool m_ok = false;
    QVariantMap m_results;
    QString m_failure;
    // The first result line that stdout did not take.
    QString m_stdoutError;
    // Only a listen's first result may be a record an earlier one kept.
    bool m_resultTaken = false;
    QString m_lineReason;
};
