#include "mosquitto_broker.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace {

int freeLoopbackPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

} // namespace

QString MosquittoBroker::program() {
    return QStandardPaths::findExecutable(QStringLiteral("mosquitto"),
                                          {"/usr/sbin", "/usr/bin", "/usr/local/sbin"});
}

bool MosquittoBroker::start(QString* error, const QString& settings) {
    if (m_port == 0) {
        m_port = freeLoopbackPort();
    }
    QFile config(m_dir.filePath(QStringLiteral("mosquitto.conf")));
    if (!m_dir.isValid() || !config.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write the broker's configuration");
        return false;
    }
    const QString anonymous =
        settings.contains(QLatin1String("allow_anonymous")) ? QString() : "allow_anonymous true\n";
    config.write(QStringLiteral("listener %1 127.0.0.1\n"
                                "%2"
                                "%3\n"
                                "persistence true\n"
                                "persistence_location %4/\n"
                                // Only what goes wrong: the output is read
                                // only then, and must not fill its pipe.
                                "log_type error\n"
                                "log_type warning\n"
                                "user root\n")
                     .arg(m_port)
                     .arg(anonymous, settings, m_dir.path())
                     .toUtf8());
    config.close();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(program(), {"-c", config.fileName()});
    return waitUntilListening(error);
}

void MosquittoBroker::stop() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        m_process.waitForFinished(10000);
    }
}

MosquittoBroker::~MosquittoBroker() {
    stop();
}

int MosquittoBroker::port() const {
    return m_port;
}

QString MosquittoBroker::url(const QString& prefix) const {
    return QStringLiteral("mqtt://127.0.0.1:%1/%2").arg(m_port).arg(prefix);
}

QByteArray MosquittoBroker::log() {
    return m_process.readAll();
}

QString MosquittoBroker::filePath(const QString& name) const {
    return m_dir.filePath(name);
}

bool MosquittoBroker::waitUntilListening(QString* error) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000 && m_process.state() != QProcess::NotRunning) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, quint16(m_port));
        if (probe.waitForConnected(200)) {
            return true;
        }
        QThread::msleep(20);
    }
    *error = QStringLiteral("mosquitto did not come up on port %1: %2")
                 .arg(m_port)
                 .arg(QString::fromLocal8Bit(m_process.readAll()));
    return false;
}
