#pragma once

#include "d_line_witness.h"

#include <QObject>

class QTimer;

// Tells the technician on stderr what happens on the line while it happens:
// the connection check's tries, a listen that hears nothing, a port that went
// away and came back. Fed by the driver's signals and the runner's start and
// end; what it sees it keeps in a DLineWitness, which the runner reads to say
// why a run failed. When the port stays away longer than the reconnect
// limit, it gives up (sigGaveUp) so that the run can end.
class DLineReporter : public QObject {
    Q_OBJECT

public:
    static constexpr int connectionCheckTries = 5;
    static constexpr int firstSilenceReportMs = 10000;

    // reconnectLimitMs 0: keep trying; quiet: no progress messages.
    DLineReporter(const QString& portName, int reconnectLimitMs, bool quiet,
                  QObject* parent = nullptr);

    const DLineWitness* witness() const;

    void onRunStarted(const QString& command, const QString& serialId);
    void onRunEnded();
    void onWritten(const QByteArray& frame);
    void onRead(const QByteArray& chunk);
    void onLineError(const QString& message);
    void onLineOpened();

signals:
    void sigGaveUp(const QString& reason);

private:
    void onSilence();
    void onReconnectLimit();
    void startReconnectLimit();
    void progress(const QString& text) const;
    void note(const QString& text) const;

    DLineWitness m_witness;
    const int m_reconnectLimitMs;
    const bool m_quiet;
    QTimer* const m_silence;
    QTimer* const m_reconnectLimit;
    qint64 m_lostAtMs = 0;
    int m_silentForMs = 0;
};
