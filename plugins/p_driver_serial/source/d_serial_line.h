#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QSerialPort>
#include <QString>

class QIODevice;

// One line to a device: a QIODevice handed in (not owned), else a serial port
// opened by name, 8N1, no flow control. Reads are forwarded chunk by chunk as
// they arrive; writes go through the device's own buffer. Nothing waits.
class DSerialLine : public QObject {
    Q_OBJECT

public:
    // Output that the device has not yet passed on, above which a write is
    // refused: a line whose other end stopped reading must not grow us.
    static constexpr qint64 maxPendingBytes = 64 * 1024;

    explicit DSerialLine(QObject* parent = nullptr);
    ~DSerialLine() override;

    // Serves this device instead of a serial port; null goes back to the port.
    // A line open on the previous device is closed first.
    void setDevice(QIODevice* device);

    // Opens the handed-in device ReadWrite, or the serial port portName at
    // baudRate. False, with the reason in error, when it cannot.
    bool open(const QString& portName, qint32 baudRate, QString* error);
    void close();
    bool isOpen() const;
    // True when all of bytes were handed to the open line.
    bool write(const QByteArray& bytes);

signals:
    void opened();
    // The line is about to close, for whatever reason.
    void closed();
    void bytesRead(const QByteArray& chunk);
    void lineError(const QString& message);

private:
    QIODevice* current() const;
    void attach(QIODevice* device);
    bool openDevice(QString* error);
    bool openPort(const QString& portName, qint32 baudRate, QString* error);
    QString openFailureText(const QString& portName) const;
    void onReadyRead();
    static QByteArray readAvailable(QIODevice* device);
    void onPortError(QSerialPort::SerialPortError error);
    QString failureText(QSerialPort::SerialPortError error) const;
    void failLine(quint64 openCount, const QString& message);

    QPointer<QIODevice> m_device;
    bool m_deviceGiven = false;
    QSerialPort* m_port = nullptr;
    QString m_portName;
    bool m_failurePending = false;
    // Tells a port failure queued while the line was open from one that
    // belongs to a previous opening.
    quint64 m_openCount = 0;
};
