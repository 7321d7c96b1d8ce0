#pragma once

#include "d_mqtt_target.h"
#include "d_result_sink.h"

#include <QHash>
#include <QList>
#include <QObject>

class DMqttClient;
class DResultStore;
class QTimer;

// Store and forward: every result is committed to the store first, then
// published to the broker, and marked sent only once the broker has
// acknowledged it. Unsent rows, from this run or an earlier one, go out in
// row order whenever the broker is connected; a lost connection is tried
// again after 1 s, then twice as long each time, up to 30 s, and everything
// unacknowledged goes out again on the next one (a broker may thus see a row
// twice, always with the same "id"). On stderr: the connection's drops and
// returns and, unless quiet, how many results are queued.
class DResultForwarder : public QObject, public DResultSink {
    Q_OBJECT

public:
    static constexpr int firstRetryMs = 1000;
    static constexpr int lastRetryMs = 30000;

    DResultForwarder(DResultStore* store, const DMqttTarget& target, bool quiet,
                     QObject* parent = nullptr);
    ~DResultForwarder() override;

    // Connects and sends what is queued.
    void start();
    Taken takeResult(const Result& result) override;
    // -1 when the store cannot be read (said on stderr).
    int queued() const;

    // Runs the event loop until every stored result is acknowledged, the
    // broker cannot be reached, or limitMs has passed. The results still
    // queued; -1 when the store cannot tell.
    int waitUntilSent(int limitMs);

    // "1 result", "3 results".
    static QString resultCount(int count);

signals:
    // All sent, or the connection was lost.
    void sigSettled();

private:
    void onConnected();
    void onConnectionLost(const QString& reason);
    void onAcknowledged(int messageId);
    void connectNow();
    void sendQueued();
    void onMarkTimer();
    void markAcknowledged();
    void progress(const QString& text) const;
    QString queuedText() const;

    DResultStore* const m_store;
    const DMqttTarget m_target;
    const bool m_quiet;
    DMqttClient* const m_client;
    QTimer* const m_retry;
    QTimer* const m_markTimer;
    int m_retryMs = firstRetryMs;
    bool m_wasConnected = false;
    bool m_reportedLoss = false;
    // On this connection: message id -> row id, and the last row handed over.
    QHash<int, qint64> m_inFlight;
    qint64 m_lastHandedOver = 0;
    QList<qint64> m_acknowledged;
};
