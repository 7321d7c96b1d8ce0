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
};
