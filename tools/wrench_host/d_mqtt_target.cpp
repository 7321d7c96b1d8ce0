#include "d_mqtt_target.h"

#include <QUrl>

bool DMqttTarget::parse(const QString& url, QString* error) {
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.scheme() != QLatin1String("mqtt") || parsed.host().isEmpty()) {
        *error = QStringLiteral("--mqtt needs mqtt://HOST[:PORT][/PREFIX], not \"%1\"").arg(url);
        return false;
    }
    if (!parsed.userInfo().isEmpty()) {
        *error = QStringLiteral("--mqtt: give the user and password in WRENCH_MQTT_USER and "
                                "WRENCH_MQTT_PASSWORD, not in the URL");
        return false;
    }
    if (parsed.hasQuery() || parsed.hasFragment()) {
        *error = QStringLiteral("--mqtt takes no query or fragment (\"%1\")").arg(url);
        return false;
    }
    host = parsed.host();
    port = parsed.port(defaultPort);
    const QString path = parsed.path();
    if (path.contains(QLatin1Char('+')) || path.contains(QLatin1Char('#')) ||
        path.contains(QLatin1String("//"))) {
        *error = QStringLiteral("--mqtt: the topic prefix \"%1\" holds a wildcard or an empty "
                                "level")
                     .arg(path.mid(1));
        return false;
    }
    QString trimmed = path.mid(1);
    if (trimmed.endsWith(QLatin1Char('/'))) {
        trimmed.chop(1);
    }
    if (!trimmed.isEmpty()) {
        prefix = trimmed;
    }
    user = qEnvironmentVariable("WRENCH_MQTT_USER");
    password = qEnvironmentVariable("WRENCH_MQTT_PASSWORD");
    return true;
}

QString DMqttTarget::address() const {
    return QStringLiteral("%1:%2").arg(host).arg(port);
}

QByteArray DMqttTarget::topicFor(const QString& serialId) const {
    QString level = serialId.isEmpty() ? QStringLiteral("_") : serialId;
    for (QChar& c : level) {
        if (c == QLatin1Char('/') || c == QLatin1Char('+') || c == QLatin1Char('#') || c.isNull()) {
            c = QLatin1Char('_');
        }
    }
    return (prefix + QLatin1Char('/') + level + QStringLiteral("/tightening")).toUtf8();
}
