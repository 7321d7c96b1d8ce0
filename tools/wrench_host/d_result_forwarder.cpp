#include "d_result_forwarder.h"

#include "d_host_console.h"
#include "d_mqtt_client.h"
#include "d_result_payload.h"
#include "d_result_store.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSysInfo>
#include <QTimer>

namespace {

// As many as the client keeps in flight.
constexpr int window = 100;
// How long a clean end may wait for the broker to take the "offline".
constexpr int offlineLimitMs = 2000;

} // namespace

DResultForwarder::DResultForwarder(DResultStore* store, const DMqttTarget& target,
                                   const QString& statusSerial, bool quiet, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_target(target)
    , m_clientId((target.clientId.isEmpty() ? defaultClientId(store->storeId()) : target.clientId)
                     .toUtf8())
    , m_statusTopic(target.statusTopicFor(statusSerial))
    , m_quiet(quiet)
    , m_client(new DMqttClient(this))
    , m_retry(new QTimer(this))
    , m_markTimer(new QTimer(this)) {
    m_retry->setSingleShot(true);
    // Acknowledgements that arrive together are marked in one transaction.
    m_markTimer->setSingleShot(true);
    m_markTimer->setInterval(0);
    connect(m_retry, &QTimer::timeout, this, &DResultForwarder::connectNow);
    connect(m_markTimer, &QTimer::timeout, this, &DResultForwarder::onMarkTimer);
    connect(m_client, &DMqttClient::sigConnected, this, &DResultForwarder::onConnected);
    connect(m_client, &DMqttClient::sigConnectionLost, this, &DResultForwarder::onConnectionLost);
    connect(m_client, &DMqttClient::sigLoginRefused, this, &DResultForwarder::onLoginRefused);
    connect(m_client, &DMqttClient::sigAcknowledged, this, &DResultForwarder::onAcknowledged);
    connect(m_client, &DMqttClient::sigRefused, this, &DResultForwarder::onRefused);
}

DResultForwarder::~DResultForwarder() {
    markAcknowledged();
}

void DResultForwarder::start() {
    if (queued() > 0) {
        progress(QStringLiteral("%1 from an earlier run go out first").arg(queuedText()));
    }
    connectNow();
}

DResultSink::Taken DResultForwarder::takeResult(const Result& result) {
    const Taken taken = m_store->takeResult(result);
    if (taken.outcome != Taken::Outcome::Kept) {
        return taken;
    }
    if (m_client->isConnected()) {
        sendQueued();
    } else {
        progress(queuedText());
    }
    return taken;
}

int DResultForwarder::queued() const {
    QString error;
    const int count = m_store->unsentCount(&error);
    if (count < 0) {
        DHostConsole::message(QStringLiteral("mqtt: %1").arg(error));
    }
    return count;
}

int DResultForwarder::waitUntilSent(int limitMs) {
    if (m_loginRefused || queued() < 0) {
        return queued();
    }
    QElapsedTimer clock;
    clock.start();
    if (queued() > 0) {
        if (!m_client->isConnected() && m_retry->isActive()) {
            m_retry->start(qMin(firstRetryMs, limitMs));
        }
        QEventLoop loop;
        connect(this, &DResultForwarder::sigSettled, &loop, &QEventLoop::quit);
        runUntil(&loop, limitMs);
        markAcknowledged();
    }
    if (m_client->isConnected()) {
        QEventLoop loop;
        connect(m_client, &DMqttClient::sigOffline, &loop, &QEventLoop::quit);
        m_client->goOffline();
        runUntil(&loop, qBound(0, int(limitMs - clock.elapsed()), offlineLimitMs));
    }
    m_retry->stop();
    return queued();
}

void DResultForwarder::runUntil(QEventLoop* loop, int limitMs) {
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, loop, &QEventLoop::quit);
    limit.start(limitMs);
    loop->exec();
}

bool DResultForwarder::loginRefused() const {
    return m_loginRefused;
}

QString DResultForwarder::defaultClientId(const QString& storeId) {
    const QByteArray digest =
        QCryptographicHash::hash(storeId.toUtf8(), QCryptographicHash::Sha256).toHex().left(8);
    return QStringLiteral("wrench_host-%1-%2")
        .arg(QSysInfo::machineHostName(), QString::fromLatin1(digest));
}

void DResultForwarder::onConnected() {
    m_retryMs = firstRetryMs;
    m_reportedLoss = false;
    m_inFlight.clear();
    m_lastHandedOver = 0;
    DHostConsole::message(
        QStringLiteral("mqtt: %1 %2; %3")
            .arg(m_wasConnected ? QStringLiteral("back at") : QStringLiteral("connected to"),
                 m_target.address(), queuedText()));
    m_wasConnected = true;
    sendQueued();
}

void DResultForwarder::onConnectionLost(const QString& reason) {
    // What the broker acknowledged is marked before anything is sent again.
    markAcknowledged();
    m_inFlight.clear();
    const QString text = QStringLiteral("%1: %2; %3, trying again in %4 s")
                             .arg(m_target.address(), reason, queuedText())
                             .arg(m_retryMs / 1000);
    // The first loss is always said; the retries that fail after it are
    // progress.
    if (m_reportedLoss) {
        progress(text);
    } else {
        DHostConsole::message(QStringLiteral("mqtt: ") + text);
    }
    m_reportedLoss = true;
    m_retry->start(m_retryMs);
    m_retryMs = qMin(m_retryMs * 2, lastRetryMs);
    emit sigSettled();
}

// Trying again would be refused the same way, and lock the user out on some
// brokers: the results wait in the store for a run with a login that works.
void DResultForwarder::onLoginRefused(const QString& reason) {
    markAcknowledged();
    m_inFlight.clear();
    m_loginRefused = true;
    DHostConsole::message(QStringLiteral("mqtt: %1: %2; not trying again: check the user, the "
                                         "password and the client id")
                              .arg(m_target.address(), reason));
    emit sigSettled();
}

void DResultForwarder::onRefused(int messageId, const QString& reason) {
    const auto found = m_inFlight.find(messageId);
    if (found == m_inFlight.end()) {
        return;
    }
    const qint64 rowId = found.value();
    m_inFlight.erase(found);
    refuse(rowId, QStringLiteral("the broker refused it (%1)").arg(reason));
    m_markTimer->start();
}

// Said once: a refused row is no longer unsent.
void DResultForwarder::refuse(qint64 rowId, const QString& reason) {
    QString error;
    if (!m_store->markRefused(rowId, reason, &error)) {
        DHostConsole::message(QStringLiteral("mqtt: %1").arg(error));
        return;
    }
    DHostConsole::message(
        QStringLiteral("mqtt: result %1 is not sent: %2; it stays in the store, marked refused")
            .arg(rowId)
            .arg(reason));
}

void DResultForwarder::onAcknowledged(int messageId) {
    const auto found = m_inFlight.find(messageId);
    if (found == m_inFlight.end()) {
        return;
    }
    m_acknowledged.append(found.value());
    m_inFlight.erase(found);
    m_markTimer->start();
}

void DResultForwarder::connectNow() {
    if (!m_loginRefused) {
        m_client->connectToBroker(m_target, m_clientId, m_statusTopic);
    }
}

// Fills the window: the rows it asks for are all there are, or fill it.
void DResultForwarder::sendQueued() {
    while (m_client->isConnected() && m_inFlight.size() < window) {
        QString error;
        const QList<DResultStore::Row> rows =
            m_store->unsent(m_lastHandedOver, window - m_inFlight.size(), &error);
        if (!error.isEmpty()) {
            DHostConsole::message(QStringLiteral("mqtt: %1").arg(error));
            return;
        }
        if (rows.isEmpty()) {
            break;
        }
        for (const DResultStore::Row& row : rows) {
            if (!send(row)) {
                return;
            }
        }
    }
    if (m_inFlight.isEmpty() && queued() == 0) {
        emit sigSettled();
    }
}

// False when the connection is gone.
bool DResultForwarder::send(const DResultStore::Row& row) {
    QString refusal;
    const int messageId = m_client->publish(
        m_target.topicFor(row.serialId), DResultPayload::toJson(row, m_store->storeId()), &refusal);
    if (messageId == 0 && refusal.isEmpty()) {
        return false;
    }
    if (messageId == 0) {
        refuse(row.id, refusal);
    } else {
        m_inFlight.insert(messageId, row.id);
    }
    m_lastHandedOver = row.id;
    return true;
}

void DResultForwarder::onMarkTimer() {
    markAcknowledged();
    sendQueued();
}

void DResultForwarder::markAcknowledged() {
    m_markTimer->stop();
    if (m_acknowledged.isEmpty()) {
        return;
    }
    QString error;
    if (!m_store->markSent(m_acknowledged, &error)) {
        // Left unsent: they go out once more, with the same ids.
        DHostConsole::message(QStringLiteral("mqtt: %1").arg(error));
    }
    m_acknowledged.clear();
}

void DResultForwarder::progress(const QString& text) const {
    if (!m_quiet) {
        DHostConsole::message(QStringLiteral("mqtt: %1").arg(text));
    }
}

QString DResultForwarder::queuedText() const {
    const int count = queued();
    if (count < 0) {
        return QStringLiteral("the queue cannot be read");
    }
    return resultCount(count) + QStringLiteral(" queued");
}

QString DResultForwarder::resultCount(int count) {
    return count == 1 ? QStringLiteral("1 result") : QStringLiteral("%1 results").arg(count);
}
