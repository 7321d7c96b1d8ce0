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
    // refuseLogins: every client is refused ("not authorised").
    bool start(QString* error, bool refuseLogins = false);
    // SIGTERM, and waits for it to end.
    void stop();
    ~MosquittoBroker();

    int port() const;
    QString url(const QString& prefix = QStringLiteral("wrench")) const;

private:
    bool waitUntilListening(QString* error);

    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};
