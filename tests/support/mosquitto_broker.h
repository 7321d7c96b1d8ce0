#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real mosquitto broker on a free loopback port, in a folder of its own,
// for as long as the object lives. Its sessions persist across stop() and
// start(), so that a subscriber that asked for them gets what was published
// while it was away.
class MosquittoBroker {
public:
    // Where the broker program is; empty when it is not installed.
    static QString program();

    // False, with the reason, when the broker did not come up within 10 s.
    // settings: lines of mosquitto.conf for its one listener and the broker
    // (certfile, password_file, acl_file, ...); anonymous clients are let in
    // unless they say otherwise.
    bool start(QString* error, const QString& settings = {});
    // SIGTERM, and waits for it to end.
    void stop();
    ~MosquittoBroker();

    int port() const;
    QString url(const QString& prefix = QStringLiteral("wrench")) const;
    // What the broker wrote so far (with "log_type notice" in the settings:
    // each client that connects, with its id).
    QByteArray log();
    // A file in the broker's folder.
    QString filePath(const QString& name) const;

private:
    bool waitUntilListening(QString* error);

    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};
