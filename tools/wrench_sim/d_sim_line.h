#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QPointer>

class DSimWrench;

// A simulated wrench as a serial line in the same process: what is written
// reaches the wrench, what the wrench sends becomes readable and is signalled
// with readyRead(). While the line is closed the wrench's output is lost, as
// on a real cable.
class DSimLine : public QIODevice {
    Q_OBJECT

public:
    explicit DSimLine(DSimWrench* wrench, QObject* parent = nullptr);

    bool isSequential() const override;
    qint64 bytesAvailable() const override;
    void close() override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

public:
    // Above this many unread bytes the wrench is held back until some are read.
    static constexpr qint64 maxUnreadBytes = 1 << 20;

private:
    void onOutput(const QByteArray& bytes);
    void holdWrench(bool hold);

    QPointer<DSimWrench> m_wrench;
    QByteArray m_readBuffer;
    bool m_holding = false;
};
