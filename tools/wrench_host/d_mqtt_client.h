#pragma once

#include "d_mqtt_target.h"

#include <QByteArray>
#include <QObject>
#include <QString>

struct mosquitto;
struct mqtt5__property;
class QSocketNotifier;
class QTimer;

// One connection at a time to an MQTT broker (protocol 5), through
// libmosquitto, driven from the Qt event loop: the library's socket is
// watched by socket notifiers (for writing only while the library has bytes
// to write) and its keep-alive by a timer, so nothing here ever blocks the
// loop (but the name lookup of a host that is not an address). With TLS the
// broker's certificate and host name are checked. Publishes with QoS 1, not
// retained. On each connection it says "online" on its status topic,
// retained, with "offline" as its will. A connection that is lost is gone
// with everything in flight on it: the caller publishes again on the next
// one. It never reconnects on its own.
class DMqttClient : public QObject {
    Q_OBJECT

public:
    explicit DMqttClient(QObject* parent = nullptr);
    ~DMqttClient() override;

    // sigConnected, sigConnectionLost or sigLoginRefused follows, never
    // inside this call.
    void connectToBroker(const DMqttTarget& target, const QByteArray& clientId,
                         const QByteArray& statusTopic);
    bool isConnected() const;
    // The message id; 0 when it could not be handed over: with the reason in
    // refusal when this message cannot be sent on any connection (the
    // connection goes on), else the connection is gone.
    int publish(const QByteArray& topic, const QByteArray& payload, QString* refusal);
    // Says "offline" on the status topic and then disconnects; sigOffline
    // follows, at once when not connected.
    void goOffline();

signals:
    void sigConnected();
    // The connection could not be made, was refused for a while, or broke.
    void sigConnectionLost(const QString& reason);
    // The broker refused who we are (user, password, client id): trying
    // again does not help.
    void sigLoginRefused(const QString& reason);
    // The broker acknowledged the message (PUBACK).
    void sigAcknowledged(int messageId);
    // The broker refused the message (PUBACK with a failure reason).
    void sigRefused(int messageId, const QString& reason);
    void sigOffline();

private:
    static void onConnack(mosquitto* client, void* self, int code, int flags,
                          const mqtt5__property* properties);
    static void onPuback(mosquitto* client, void* self, int messageId, int code,
                         const mqtt5__property* properties);
    bool configure(const DMqttTarget& target, const QByteArray& statusTopic);
    void onReadable();
    void onWritable();
    void onKeepAlive();
    void disconnectIfOffline();
    bool check(int code);
    void watchWrites();
    void fail(const QString& reason, bool loginRefused = false);
    void release();

    mosquitto* m_client = nullptr;
    QSocketNotifier* m_reader = nullptr;
    QSocketNotifier* m_writer = nullptr;
    QTimer* const m_keepAlive;
    QByteArray m_statusTopic;
    bool m_connected = false;
    int m_offlineMessage = 0;
    bool m_offlineAcknowledged = false;
};
