#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class DSimWrench;
class QSocketNotifier;

// Serves a simulated wrench on a pseudo-terminal: what a client writes to the
// slave device reaches the wrench, what the wrench sends can be read from it.
// The server keeps a slave descriptor open itself, so clients may open and
// close the slave as often as they like without the line hanging up.
class DSimPtyServer : public QObject {
    Q_OBJECT

public:
    explicit DSimPtyServer(DSimWrench* wrench, QObject* parent = nullptr);
    ~DSimPtyServer() override;

    // Makes the pseudo-terminal, its slave in raw mode. False, with the
    // reason, when the machine cannot make one.
    bool open(QString* error);
    QString slavePath() const;

    // Above this many bytes not yet taken by the terminal the wrench is held
    // back, so that a client that does not read never makes the server grow.
    static constexpr int maxPendingBytes = 256 * 1024;

signals:
    // Reading or writing the master failed for good.
    void failed(const QString& reason);

private:
    void readMaster();
    void writePending();
    void onOutput(const QByteArray& bytes);
    void fail(const char* what);

    DSimWrench* m_wrench;
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    QByteArray m_pending;
    int m_pendingOffset = 0;
};
