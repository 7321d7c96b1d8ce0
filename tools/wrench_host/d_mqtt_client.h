#pragma once

#include "d_mqtt_target.h"

#include <QByteArray>
#include <QObject>
#include <QString>

struct mosquitto;
class QSocketNotifier;
class QTimer;

// One connection at a time to an MQTT broker, through libmosquitto, driven
// from the Qt event loop: the library's socket is watched by socket notifiers
// and its keep-alive by a timer, so nothing here ever blocks the loop (but
// the name lookup of a host that is not an address). Publishes with QoS 1,
// not retained. A connection that is lost is gone with everything in flight
// on it: the caller publishes again on the next one. It never reconnects on
// its own.
class DMqttClient : public QObject {
    Q_OBJECT

public:
    explicit DMqttClient(QObject* parent = nullptr);
    ~DMqttClient() override;

    // sigConnected or sigConnectionLost follows, never inside this call.
    void connectToBroker(const DMqttTarget& target);
    bool isConnected() const;
    // The message id, or 0 when it could not be handed to the connection.
    int publish(const QByteArray& topic, const QByteArray& payload);

signals:
    void sigConnected();
    // The connection could not be made, was refused, or broke.
    void sigConnectionLost(const QString& reason);
    // The broker acknowledged the message (PUBACK).
    void sigAcknowledged(int messageId);

private:
    static void onConnack(mosquitto* client, void* self, int code);
    static void onPuback(mosquitto* client, void* self, int messageId);
    void onReadable();
    void onWritable();
    void onKeepAlive();
    bool check(int code);
    void watchWrites();
    void fail(const QString& reason);
    void release();

    mosquitto* m_client = nullptr;
    QSocketNotifier* m_reader = nullptr;
    QSocketNotifier* m_writer = nullptr;
    QTimer* const m_keepAlive;
    bool m_connected = false;
};
