#pragma once

#include <QString>

// Where results go: "mqtt://HOST[:PORT][/PREFIX]", the user and password
// taken from WRENCH_MQTT_USER and WRENCH_MQTT_PASSWORD, never from the command
// line, where every process could read them.
class DMqttTarget {
public:
    static constexpr int defaultPort = 1883;

    // False, with the reason, when the URL is not of that form.
    bool parse(const QString& url, QString* error);

    // "HOST:PORT", for messages.
    QString address() const;
    // PREFIX/SERIAL/tightening; a serial ID that would not make one topic
    // level has its "/", "+", "#" and NUL bytes replaced by "_".
    QByteArray topicFor(const QString& serialId) const;

    QString host;
    int port = defaultPort;
    QString prefix = QStringLiteral("wrench");
    QString user;
    QString password;
};
