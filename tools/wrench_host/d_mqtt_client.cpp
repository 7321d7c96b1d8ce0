#include "d_mqtt_client.h"

#include <mosquitto.h>

#include <QSocketNotifier>
#include <QTimer>
#include <QUuid>

#include <cerrno>
#include <cstring>

namespace {

constexpr int keepAliveSeconds = 30;
// The messages in flight at once; more wait in the library's queue.
constexpr int inflightMessages = 100;

void initialiseLibrary() {
    struct Library {
        Library() { mosquitto_lib_init(); }
        ~Library() { mosquitto_lib_cleanup(); }
    };
    static Library library;
}

QString errorText(int code) {
    if (code == MOSQ_ERR_ERRNO) {
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    return QString::fromUtf8(mosquitto_strerror(code));
}

} // namespace

DMqttClient::DMqttClient(QObject* parent)
    : QObject(parent)
    , m_keepAlive(new QTimer(this)) {
    initialiseLibrary();
    m_keepAlive->setInterval(1000);
    connect(m_keepAlive, &QTimer::timeout, this, &DMqttClient::onKeepAlive);
}

DMqttClient::~DMqttClient() {
    release();
}

void DMqttClient::connectToBroker(const DMqttTarget& target) {
    release();
    const QByteArray id = "wrench_host-" + QUuid::createUuid().toByteArray(QUuid::Id128).left(12);
    m_client = mosquitto_new(id.constData(), true, this);
    if (!m_client) {
        fail(QStringLiteral("cannot make an MQTT client: %1").arg(errorText(MOSQ_ERR_ERRNO)));
        return;
    }
    mosquitto_int_option(m_client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_max_inflight_messages_set(m_client, inflightMessages);
    if (!target.user.isEmpty()) {
        mosquitto_username_pw_set(m_client, target.user.toUtf8().constData(),
                                  target.password.isEmpty() ? nullptr
                                                            : target.password.toUtf8().constData());
    }
    mosquitto_connect_callback_set(m_client, &DMqttClient::onConnack);
    mosquitto_publish_callback_set(m_client, &DMqttClient::onPuback);
    // Starts a non-blocking connect; the CONNECT packet goes out once the
    // socket is writable.
    const int code = mosquitto_connect_async(m_client, target.host.toUtf8().constData(),
                                             target.port, keepAliveSeconds);
    if (code != MOSQ_ERR_SUCCESS) {
        fail(errorText(code));
        return;
    }
    const int socket = mosquitto_socket(m_client);
    m_reader = new QSocketNotifier(socket, QSocketNotifier::Read, this);
    m_writer = new QSocketNotifier(socket, QSocketNotifier::Write, this);
    connect(m_reader, &QSocketNotifier::activated, this, &DMqttClient::onReadable);
    connect(m_writer, &QSocketNotifier::activated, this, &DMqttClient::onWritable);
    m_keepAlive->start();
}

bool DMqttClient::isConnected() const {
    return m_connected;
}

int DMqttClient::publish(const QByteArray& topic, const QByteArray& payload) {
    if (!m_connected) {
        return 0;
    }
    int messageId = 0;
    const int code = mosquitto_publish(m_client, &messageId, topic.constData(), payload.size(),
                                       payload.constData(), 1, false);
    if (!check(code)) {
        return 0;
    }
    watchWrites();
    return messageId;
}

void DMqttClient::onConnack(mosquitto*, void* self, int code) {
    auto* client = static_cast<DMqttClient*>(self);
    if (code != 0) {
        // "Connection Refused: not authorised." -> "not authorised"
        QString why = QString::fromUtf8(mosquitto_connack_string(code));
        why.remove(QStringLiteral("Connection Refused: "));
        if (why.endsWith(QLatin1Char('.'))) {
            why.chop(1);
        }
        client->fail(QStringLiteral("the broker refused the connection (%1)").arg(why));
        return;
    }
    client->m_connected = true;
    emit client->sigConnected();
}

void DMqttClient::onPuback(mosquitto*, void* self, int messageId) {
    emit static_cast<DMqttClient*>(self)->sigAcknowledged(messageId);
}

void DMqttClient::onReadable() {
    if (m_client && check(mosquitto_loop_read(m_client, 1))) {
        watchWrites();
    }
}

void DMqttClient::onWritable() {
    if (m_client && check(mosquitto_loop_write(m_client, 1))) {
        watchWrites();
    }
}

void DMqttClient::onKeepAlive() {
    if (m_client) {
        check(mosquitto_loop_misc(m_client));
    }
}

// A code other than success ends the connection.
bool DMqttClient::check(int code) {
    if (code == MOSQ_ERR_SUCCESS) {
        return true;
    }
    if (code == MOSQ_ERR_CONN_LOST || code == MOSQ_ERR_NO_CONN) {
        fail(m_connected ? QStringLiteral("the connection was lost")
                         : QStringLiteral("the connection could not be made"));
    } else {
        fail(errorText(code));
    }
    return false;
}

void DMqttClient::watchWrites() {
    if (m_writer && m_client) {
        m_writer->setEnabled(mosquitto_want_write(m_client));
    }
}

// The library may be inside one of its calls: it is let go on a later turn.
void DMqttClient::fail(const QString& reason) {
    m_connected = false;
    if (m_reader) {
        m_reader->setEnabled(false);
        m_writer->setEnabled(false);
    }
    m_keepAlive->stop();
    mosquitto* client = m_client;
    QMetaObject::invokeMethod(
        this,
        [this, client, reason] {
            if (client == m_client) {
                release();
                emit sigConnectionLost(reason);
            }
        },
        Qt::QueuedConnection);
}

void DMqttClient::release() {
    m_keepAlive->stop();
    m_connected = false;
    delete m_reader;
    delete m_writer;
    m_reader = nullptr;
    m_writer = nullptr;
    if (m_client) {
        mosquitto_destroy(m_client);
        m_client = nullptr;
    }
}
