#pragma once

#include "d_mqtt_target.h"
#include "d_result_sink.h"
#include "d_result_store.h"

#include <QHash>
#include <QList>
#include <QObject>

class DMqttClient;
class QEventLoop;
class QTimer;

// Store and forward: every result is committed to the store first, then
// published to the broker, and marked sent only once the broker has
// acknowledged it. Unsent rows, from this run or an earlier one, go out in
// row order whenever the broker is connected; a lost connection is tried
// again after 1 s, then twice as long each time, up to 30 s, and everything
// unacknowledged goes out again on the next one (a broker may thus see a row
// twice, always with the same "id"). A result the broker (or the library)
// refuses by itself is marked refused in the store, said once, and the
// queue goes on after it. A login the broker refuses is not tried again. On
// stderr: the connection's drops and returns and, unless quiet, how many
// results are queued.
class DResultForwarder : public QObject, public DResultSink {
    Q_OBJECT

public:
    static constexpr int firstRetryMs = 1000;
    static constexpr int lastRetryMs = 30000;

    // statusSerial: the wrench whose PREFIX/SERIAL/status this connection
    // keeps.
    DResultForwarder(DResultStore* store, const DMqttTarget& target, const QString& statusSerial,
                     bool quiet, QObject* parent = nullptr);
    ~DResultForwarder() override;

    // Connects and sends what is queued.
    void start();
    Taken takeResult(const Result& result) override;
    // -1 when the store cannot be read (said on stderr).
    int queued() const;

    // Runs the event loop until every stored result is acknowledged, the
    // broker cannot be reached, or limitMs has passed; while a reconnect is
    // pending it tries once more, a second from now. Then says "offline" and
    // disconnects. The results still queued; -1 when the store cannot tell.
    int waitUntilSent(int limitMs);
    // The broker refused the login: a configuration error.
    bool loginRefused() const;
    // "wrench_host-HOSTNAME-" and the first 8 hex digits of the SHA-256 of
    // the store's id: the same for every run on this host with this store.
    static QString defaultClientId(const QString& storeId);

    // "1 result", "3 results".
    static QString resultCount(int count);

signals:
    // All sent, or the connection was lost.
    void sigSettled();

private:
    void onConnected();
    void onConnectionLost(const QString& reason);
    void onLoginRefused(const QString& reason);
    void onAcknowledged(int messageId);
    void onRefused(int messageId, const QString& reason);
    void refuse(qint64 rowId, const QString& reason);
    void runUntil(QEventLoop* loop, int limitMs);
    void connectNow();
    void sendQueued();
    bool send(const DResultStore::Row& row);
    void onMarkTimer();
    void markAcknowledged();
    void progress(const QString& text) const;
    QString queuedText() const;

    DResultStore* const m_store;
    const DMqttTarget m_target;
    const QByteArray m_clientId;
    const QByteArray m_statusTopic;
    const bool m_quiet;
    DMqttClient* const m_client;
    QTimer* const m_retry;
    QTimer* const m_markTimer;
    int m_retryMs = firstRetryMs;
    bool m_wasConnected = false;
    bool m_reportedLoss = false;
    bool m_loginRefused = false;
    // On this connection: message id -> row id, and the last row handed over.
    QHash<int, qint64> m_inFlight;
    qint64 m_lastHandedOver = 0;
    QList<qint64> m_acknowledged;
};
