#include "d_mqtt_client.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>

namespace {

constexpr int keepAliveSeconds = 30;
// The messages in flight at once; more wait in the library's queue.
constexpr int inflightMessages = 100;
// SSL_VERIFY_PEER: the broker's certificate must check out.
constexpr int verifyPeer = 1;
const QByteArray online = "online";
const QByteArray offline = "offline";

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

// "Not authorized" -> "not authorized"
QString reasonText(int code) {
    QString text = QString::fromUtf8(mosquitto_reason_string(code));
    if (!text.isEmpty()) {
        text[0] = text[0].toLower();
    }
    return text;
}

// What a broker says about who we are, not about how it is doing.
bool isLoginRefusal(int code) {
    return code == MQTT_RC_CLIENTID_NOT_VALID || code == MQTT_RC_BAD_USERNAME_OR_PASSWORD ||
           code == MQTT_RC_NOT_AUTHORIZED || code == MQTT_RC_BANNED ||
           code == MQTT_RC_BAD_AUTHENTICATION_METHOD;
}

// Refusals of one message by the library itself: the next message may go.
bool refusesTheMessage(int code) {
    return code == MOSQ_ERR_INVAL || code == MOSQ_ERR_MALFORMED_UTF8 ||
           code == MOSQ_ERR_PAYLOAD_SIZE || code == MOSQ_ERR_OVERSIZE_PACKET ||
           code == MOSQ_ERR_QOS_NOT_SUPPORTED;
}

QByteArray orNull(const QString& text) {
    return text.isEmpty() ? QByteArray() : text.toUtf8();
}

const char* dataOrNull(const QByteArray& bytes) {
    return bytes.isNull() ? nullptr : bytes.constData();
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

void DMqttClient::connectToBroker(const DMqttTarget& target, const QByteArray& clientId,
                                  const QByteArray& statusTopic) {
    release();
    m_client = mosquitto_new(clientId.constData(), true, this);
    if (!m_client) {
        fail(QStringLiteral("cannot make an MQTT client: %1").arg(errorText(MOSQ_ERR_ERRNO)));
        return;
    }
    if (!configure(target, statusTopic)) {
        return;
    }
    // Starts a non-blocking connect; the CONNECT packet goes out once the
    // socket is writable (after the TLS handshake).
    const int code = mosquitto_connect_async(m_client, target.host.toUtf8().constData(),
                                             target.port, keepAliveSeconds);
    // The handshake may already run, and fail, inside the call.
    if (!check(code)) {
        return;
    }
    const int socket = mosquitto_socket(m_client);
    m_reader = new QSocketNotifier(socket, QSocketNotifier::Read, this);
    m_writer = new QSocketNotifier(socket, QSocketNotifier::Write, this);
    connect(m_reader, &QSocketNotifier::activated, this, &DMqttClient::onReadable);
    connect(m_writer, &QSocketNotifier::activated, this, &DMqttClient::onWritable);
    m_keepAlive->start();
}

bool DMqttClient::configure(const DMqttTarget& target, const QByteArray& statusTopic) {
    m_statusTopic = statusTopic;
    mosquitto_int_option(m_client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_max_inflight_messages_set(m_client, inflightMessages);
    if (!target.user.isEmpty()) {
        mosquitto_username_pw_set(m_client, target.user.toUtf8().constData(),
                                  dataOrNull(orNull(target.password)));
    }
    mosquitto_connect_v5_callback_set(m_client, &DMqttClient::onConnack);
    mosquitto_publish_v5_callback_set(m_client, &DMqttClient::onPuback);
    int code = mosquitto_will_set(m_client, statusTopic.constData(), offline.size(),
                                  offline.constData(), 1, true);
    if (code == MOSQ_ERR_SUCCESS && target.tls) {
        const QByteArray ca = orNull(target.caFile);
        const QByteArray cert = orNull(target.certFile);
        const QByteArray key = orNull(target.keyFile);
        code = mosquitto_tls_set(m_client, dataOrNull(ca), nullptr, dataOrNull(cert),
                                 dataOrNull(key), nullptr);
        if (code == MOSQ_ERR_SUCCESS) {
            code = mosquitto_tls_opts_set(m_client, verifyPeer, nullptr, nullptr);
        }
    }
    if (code != MOSQ_ERR_SUCCESS) {
        fail(QStringLiteral("cannot set the connection up: %1").arg(errorText(code)));
        return false;
    }
    return true;
}

bool DMqttClient::isConnected() const {
    return m_connected;
}

int DMqttClient::publish(const QByteArray& topic, const QByteArray& payload, QString* refusal) {
    if (!m_connected) {
        return 0;
    }
    int messageId = 0;
    const int code = mosquitto_publish(m_client, &messageId, topic.constData(), payload.size(),
                                       payload.constData(), 1, false);
    if (refusesTheMessage(code)) {
        *refusal = errorText(code);
        return 0;
    }
    if (!check(code)) {
        return 0;
    }
    watchWrites();
    return messageId;
}

void DMqttClient::goOffline() {
    if (!m_connected) {
        emit sigOffline();
        return;
    }
    const int code = mosquitto_publish(m_client, &m_offlineMessage, m_statusTopic.constData(),
                                       offline.size(), offline.constData(), 1, true);
    if (code != MOSQ_ERR_SUCCESS) {
        emit sigOffline();
        return;
    }
    watchWrites();
}

void DMqttClient::onConnack(mosquitto*, void* self, int code, int, const mqtt5__property*) {
    auto* client = static_cast<DMqttClient*>(self);
    if (code != 0) {
        client->fail(QStringLiteral("the broker refused the connection (%1)").arg(reasonText(code)),
                     isLoginRefusal(code));
        return;
    }
    client->m_connected = true;
    mosquitto_publish(client->m_client, nullptr, client->m_statusTopic.constData(), online.size(),
                      online.constData(), 1, true);
    emit client->sigConnected();
}

void DMqttClient::onPuback(mosquitto*, void* self, int messageId, int code,
                           const mqtt5__property*) {
    auto* client = static_cast<DMqttClient*>(self);
    if (messageId == client->m_offlineMessage && client->m_offlineMessage != 0) {
        // Disconnected once the library is out of its call.
        client->m_offlineAcknowledged = true;
    } else if (code >= 0x80) {
        emit client->sigRefused(messageId, reasonText(code));
    } else {
        emit client->sigAcknowledged(messageId);
    }
}

// A clean end: the broker drops the will, the status says "offline".
void DMqttClient::disconnectIfOffline() {
    if (!m_offlineAcknowledged) {
        return;
    }
    mosquitto_disconnect(m_client);
    release();
    QMetaObject::invokeMethod(this, &DMqttClient::sigOffline, Qt::QueuedConnection);
}

void DMqttClient::onReadable() {
    if (m_client && check(mosquitto_loop_read(m_client, 1))) {
        watchWrites();
        disconnectIfOffline();
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
    } else if (code == MOSQ_ERR_TLS) {
        fail(QStringLiteral("the TLS handshake failed (check --mqtt-cafile and the broker's "
                            "certificate and host name)"));
    } else {
        fail(errorText(code));
    }
    return false;
}

// The writer is watched only while the library has bytes to write: a socket
// is nearly always writable, and watching it otherwise would spin.
void DMqttClient::watchWrites() {
    if (m_writer && m_client) {
        m_writer->setEnabled(mosquitto_want_write(m_client));
    }
}

// The library may be inside one of its calls: it is let go on a later turn.
void DMqttClient::fail(const QString& reason, bool loginRefused) {
    m_connected = false;
    if (m_reader) {
        m_reader->setEnabled(false);
        m_writer->setEnabled(false);
    }
    m_keepAlive->stop();
    mosquitto* client = m_client;
    QMetaObject::invokeMethod(
        this,
        [this, client, reason, loginRefused] {
            if (client == m_client) {
                release();
                if (loginRefused) {
                    emit sigLoginRefused(reason);
                } else {
                    emit sigConnectionLost(reason);
                }
            }
        },
        Qt::QueuedConnection);
}

void DMqttClient::release() {
    m_keepAlive->stop();
    m_connected = false;
    m_offlineMessage = 0;
    m_offlineAcknowledged = false;
    delete m_reader;
    delete m_writer;
    m_reader = nullptr;
    m_writer = nullptr;
    if (m_client) {
        mosquitto_destroy(m_client);
        m_client = nullptr;
    }
}
