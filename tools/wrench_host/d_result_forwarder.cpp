#include "d_result_forwarder.h"

#include "d_host_console.h"
#include "d_mqtt_client.h"
#include "d_result_store.h"

#include <QEventLoop>
#include <QTimer>

namespace {

// As many as the client keeps in flight.
constexpr int window = 100;

} // namespace

DResultForwarder::DResultForwarder(DResultStore* store, const DMqttTarget& target, bool quiet,
                                   QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_target(target)
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
    connect(m_client, &DMqttClient::sigAcknowledged, this, &DResultForwarder::onAcknowledged);
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
    const int left = queued();
    if (left <= 0 || (!m_client->isConnected() && m_retry->isActive())) {
        return left;
    }
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &DResultForwarder::sigSettled, &loop, &QEventLoop::quit);
    limit.start(limitMs);
    loop.exec();
    markAcknowledged();
    return queued();
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
    m_client->connectToBroker(m_target);
}

// Fills the window once: the rows it asks for are all there are, or fill it.
void DResultForwarder::sendQueued() {
    if (!m_client->isConnected() || m_inFlight.size() >= window) {
        return;
    }
    QString error;
    const QList<DResultStore::Row> rows =
        m_store->unsent(m_lastHandedOver, window - m_inFlight.size(), &error);
    if (!error.isEmpty()) {
        DHostConsole::message(QStringLiteral("mqtt: %1").arg(error));
        return;
    }
    for (const DResultStore::Row& row : rows) {
        const int messageId =
            m_client->publish(m_target.topicFor(row.serialId), DResultStore::toJson(row));
        if (messageId == 0) {
            return;
        }
        m_inFlight.insert(messageId, row.id);
        m_lastHandedOver = row.id;
    }
}

void DResultForwarder::onMarkTimer() {
    markAcknowledged();
    sendQueued();
    if (m_inFlight.isEmpty() && queued() == 0) {
        emit sigSettled();
    }
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
