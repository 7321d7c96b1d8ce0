#include "d_mqtt_target.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace {

// Code points that an MQTT topic must not, or should not, hold, beside the
// ones with a meaning in a topic and the escape itself.
bool isForbidden(uint codePoint) {
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F) ||
           (codePoint >= 0xD800 && codePoint <= 0xDFFF) || (codePoint & 0xFFFE) == 0xFFFE ||
           codePoint == '/' || codePoint == '+' || codePoint == '#' || codePoint == '%';
}

void appendEscaped(QByteArray* level, const QByteArray& bytes) {
    for (const char byte : bytes) {
        level->append('%');
        level->append(QByteArray(1, byte).toHex().toUpper());
    }
}

// The code point as UTF-8, lone surrogates included (as their three bytes),
// so that each one escapes to bytes of its own.
QByteArray utf8Of(uint codePoint) {
    QByteArray bytes;
    if (codePoint < 0x80) {
        bytes.append(char(codePoint));
    } else if (codePoint < 0x800) {
        bytes.append(char(0xC0 | (codePoint >> 6)));
        bytes.append(char(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        bytes.append(char(0xE0 | (codePoint >> 12)));
        bytes.append(char(0x80 | ((codePoint >> 6) & 0x3F)));
        bytes.append(char(0x80 | (codePoint & 0x3F)));
    } else {
        bytes.append(char(0xF0 | (codePoint >> 18)));
        bytes.append(char(0x80 | ((codePoint >> 12) & 0x3F)));
        bytes.append(char(0x80 | ((codePoint >> 6) & 0x3F)));
        bytes.append(char(0x80 | (codePoint & 0x3F)));
    }
    return bytes;
}

} // namespace

bool DMqttTarget::parse(const QString& url, QString* error) {
    const QUrl parsed(url, QUrl::StrictMode);
    const QString scheme = parsed.scheme();
    if (!parsed.isValid() ||
        (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts")) ||
        parsed.host().isEmpty()) {
        *error = QStringLiteral("--mqtt needs mqtt://HOST[:PORT][/PREFIX] or "
                                "mqtts://HOST[:PORT][/PREFIX], not \"%1\"")
                     .arg(url);
        return false;
    }
    if (!parsed.userInfo().isEmpty()) {
        *error = QStringLiteral("--mqtt: give the user and password in --mqtt-credentials FILE, "
                                "not in the URL");
        return false;
    }
    if (parsed.hasQuery() || parsed.hasFragment()) {
        *error = QStringLiteral("--mqtt takes no query or fragment (\"%1\")").arg(url);
        return false;
    }
    tls = scheme == QLatin1String("mqtts");
    host = parsed.host();
    port = parsed.port(tls ? defaultTlsPort : defaultPort);
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
    return true;
}

bool DMqttTarget::complete(QString* error) {
    if (!checkTlsFiles(error)) {
        return false;
    }
    if (!credentialsFile.isEmpty()) {
        return readCredentials(error);
    }
    user = qEnvironmentVariable("WRENCH_MQTT_USER");
    password = qEnvironmentVariable("WRENCH_MQTT_PASSWORD");
    return true;
}

bool DMqttTarget::checkTlsFiles(QString* error) const {
    if (!tls) {
        if (!caFile.isEmpty() || !certFile.isEmpty() || !keyFile.isEmpty()) {
            *error = QStringLiteral("--mqtt-cafile, --mqtt-cert and --mqtt-key need an "
                                    "mqtts:// URL");
            return false;
        }
        return true;
    }
    if (caFile.isEmpty()) {
        *error = QStringLiteral("--mqtt mqtts://... needs --mqtt-cafile FILE, the certificate "
                                "of the authority that signed the broker's");
        return false;
    }
    if (certFile.isEmpty() != keyFile.isEmpty()) {
        *error = QStringLiteral("--mqtt-cert and --mqtt-key go together");
        return false;
    }
    const struct {
        const char* option;
        const QString& file;
    } files[] = {{"--mqtt-cafile", caFile}, {"--mqtt-cert", certFile}, {"--mqtt-key", keyFile}};
    for (const auto& entry : files) {
        if (!entry.file.isEmpty() && !QFileInfo(entry.file).isReadable()) {
            *error = QStringLiteral("%1: cannot read %2").arg(entry.option, entry.file);
            return false;
        }
    }
    return true;
}

// Two lines: the user, then the password.
bool DMqttTarget::readCredentials(QString* error) {
    QFile file(credentialsFile);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("--mqtt-credentials: cannot read %1: %2")
                     .arg(credentialsFile, file.errorString());
        return false;
    }
    if (file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther)) {
        *error = QStringLiteral("--mqtt-credentials: %1 may be read by others than its owner "
                                "(chmod 600 it)")
                     .arg(credentialsFile);
        return false;
    }
    QList<QByteArray> lines = file.read(64 * 1024).split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
    }
    if (lines.isEmpty() || lines.first().isEmpty()) {
        *error = QStringLiteral("--mqtt-credentials: %1 needs the user on its first line and the "
                                "password on its second")
                     .arg(credentialsFile);
        return false;
    }
    user = QString::fromUtf8(lines.value(0));
    password = QString::fromUtf8(lines.value(1));
    return true;
}

QString DMqttTarget::address() const {
    return QStringLiteral("%1:%2").arg(host).arg(port);
}

QByteArray DMqttTarget::topicFor(const QString& serialId) const {
    return prefix.toUtf8() + '/' + topicLevel(serialId) + "/tightening";
}

QByteArray DMqttTarget::statusTopicFor(const QString& serialId) const {
    return prefix.toUtf8() + '/' + topicLevel(serialId) + "/status";
}

QByteArray DMqttTarget::topicLevel(const QString& serialId) {
    if (serialId.isEmpty()) {
        return "_";
    }
    if (serialId == QLatin1String("_")) {
        return "%5F";
    }
    QByteArray level;
    for (int i = 0; i < serialId.size(); ++i) {
        uint codePoint = serialId.at(i).unicode();
        if (serialId.at(i).isHighSurrogate() && i + 1 < serialId.size() &&
            serialId.at(i + 1).isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(serialId.at(i), serialId.at(i + 1));
            ++i;
        }
        const QByteArray bytes = utf8Of(codePoint);
        if (isForbidden(codePoint)) {
            appendEscaped(&level, bytes);
        } else {
            level.append(bytes);
        }
    }
    return level;
}
