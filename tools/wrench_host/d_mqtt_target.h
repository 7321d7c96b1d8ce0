#pragma once

#include <QByteArray>
#include <QString>

// Where results go: "mqtt://HOST[:PORT][/PREFIX]", or "mqtts://..." for TLS
// with the broker's certificate checked against --mqtt-cafile (and its host
// name against HOST). The user and password come from --mqtt-credentials, a
// file only its owner may read, else from WRENCH_MQTT_USER and
// WRENCH_MQTT_PASSWORD; never from the command line, where every process
// could read them.
class DMqttTarget {
public:
    static constexpr int defaultPort = 1883;
    static constexpr int defaultTlsPort = 8883;

    // False, with the reason, when the URL is not of that form.
    bool parse(const QString& url, QString* error);
    // Once every option is taken: checks that the TLS files fit the scheme
    // and reads the credentials. False, with the reason, when they do not.
    bool complete(QString* error);

    // "HOST:PORT", for messages.
    QString address() const;
    // PREFIX/SERIAL/tightening.
    QByteArray topicFor(const QString& serialId) const;
    // PREFIX/SERIAL/status: "online" while connected, "offline" otherwise.
    QByteArray statusTopicFor(const QString& serialId) const;
    // The serial ID as one topic level, one to one: every byte that MQTT
    // forbids or gives a meaning ('/', '+', '#'), control bytes, '%' itself
    // and what is not valid UTF-8 become %XX; the empty ID is "_" and the ID
    // "_" is "%5F".
    static QByteArray topicLevel(const QString& serialId);

    QString host;
    int port = defaultPort;
    bool tls = false;
    QString prefix = QStringLiteral("wrench");
    QString user;
    QString password;
    // Empty: not given.
    QString caFile;
    QString certFile;
    QString keyFile;
    QString credentialsFile;
    // Empty: the default, stable per host and store.
    QString clientId;

private:
    bool checkTlsFiles(QString* error) const;
    bool readCredentials(QString* error);
};
