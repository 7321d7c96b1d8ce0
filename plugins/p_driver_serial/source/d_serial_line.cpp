#include "d_serial_line.h"

#include <unistd.h>

#include <QFile>
#include <QIODevice>

namespace {

QString reason(const QString& what, const QString& detail) {
    return detail.isEmpty() ? what : what + ": " + detail;
}

} // namespace

DSerialLine::DSerialLine(QObject* parent)
    : QObject(parent) {}

DSerialLine::~DSerialLine() = default;

void DSerialLine::setDevice(QIODevice* device) {
    if (device == m_device && m_deviceGiven == (device != nullptr)) {
        return;
    }
    close();
    if (m_device) {
        m_device->disconnect(this);
    }
    m_device = device;
    m_deviceGiven = device != nullptr;
    if (device) {
        attach(device);
    }
}

bool DSerialLine::open(const QString& portName, qint32 baudRate, QString* error) {
    if (isOpen()) {
        return true;
    }
    const bool ok = m_deviceGiven ? openDevice(error) : openPort(portName, baudRate, error);
    if (ok) {
        ++m_openCount;
        emit opened();
    }
    return ok;
}

void DSerialLine::close() {
    if (QIODevice* device = current(); device && device->isOpen()) {
        device->close();
    }
}

// Open for one direction only is no line: it is opened again for both.
bool DSerialLine::isOpen() const {
    const QIODevice* device = current();
    return device && (device->openMode() & QIODevice::ReadWrite) == QIODevice::ReadWrite;
}

bool DSerialLine::write(const QByteArray& bytes) {
    QIODevice* device = current();
    if (!isOpen()) {
        return false;
    }
    if (device->bytesToWrite() > maxPendingBytes - bytes.size()) {
        return false;
    }
    return device->write(bytes) == bytes.size();
}

QIODevice* DSerialLine::current() const {
    return m_deviceGiven ? m_device.data() : m_port;
}

void DSerialLine::attach(QIODevice* device) {
    connect(device, &QIODevice::readyRead, this, &DSerialLine::onReadyRead);
    connect(device, &QIODevice::aboutToClose, this, &DSerialLine::closed);
    connect(device, &QObject::destroyed, this, &DSerialLine::closed);
}

bool DSerialLine::openDevice(QString* error) {
    if (!m_device) {
        *error = "the line device is gone";
        return false;
    }
    if (m_device->isOpen()) {
        m_device->close();
    }
    if (!m_device->open(QIODevice::ReadWrite)) {
        *error = reason("cannot open the line device", m_device->errorString());
        return false;
    }
    return true;
}

bool DSerialLine::openPort(const QString& portName, qint32 baudRate, QString* error) {
    if (portName.isEmpty()) {
        *error = "no serial port configured (\"portName\" is empty)";
        return false;
    }
    if (baudRate <= 0) {
        *error = QString("invalid baud rate for serial port %1").arg(portName);
        return false;
    }
    if (!m_port) {
        m_port = new QSerialPort(this);
        attach(m_port);
        // Closing the port inside its own error signal would pull it down under
        // its feet: the failure is handled on the next turn.
        connect(m_port, &QSerialPort::errorOccurred, this, &DSerialLine::onPortError);
    }
    m_portName = portName;
    m_port->setPortName(portName);
    m_port->clearError();
    if (!m_port->open(QIODevice::ReadWrite)) {
        *error = reason("cannot open serial port " + portName, openFailureText(portName));
        return false;
    }
    const bool configured =
        m_port->setBaudRate(baudRate) && m_port->setDataBits(QSerialPort::Data8) &&
        m_port->setParity(QSerialPort::NoParity) && m_port->setStopBits(QSerialPort::OneStop) &&
        m_port->setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        *error =
            reason(QString("cannot set serial port %1 to %2 baud 8N1").arg(portName).arg(baudRate),
                   m_port->errorString());
        m_port->close();
        return false;
    }
    return true;
}

// A port that another process holds is refused with a permission error, as a
// device we may not use is: one that we may read and write is busy.
QString DSerialLine::openFailureText(const QString& portName) const {
    if (m_port->error() == QSerialPort::PermissionError) {
        const bool isPath =
            portName.startsWith('/') || portName.startsWith("./") || portName.startsWith("../");
        const QString path = isPath ? portName : "/dev/" + portName;
        if (::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0) {
            return "busy (opened by another process)";
        }
    }
    return m_port->errorString();
}

// What the device holds, read at its size: readAll() on a sequential device
// first grows its result to a 16 KiB read chunk, for every few bytes read.
QByteArray DSerialLine::readAvailable(QIODevice* device) {
    const qint64 available = device->bytesAvailable();
    QByteArray chunk = available > 0 ? device->read(available) : QByteArray();
    if (available <= 0 || device->bytesAvailable() > 0) {
        chunk += device->readAll();
    }
    return chunk;
}

void DSerialLine::onReadyRead() {
    QIODevice* device = current();
    if (!device || device != sender() || !device->isOpen()) {
        return;
    }
    const QByteArray chunk = readAvailable(device);
    if (!chunk.isEmpty()) {
        emit bytesRead(chunk);
    }
}

// A pty whose other end has closed reads end-of-file over and over, which the
// port reports as a read error each time: any failure of an open port closes
// it, or the event loop would spin on it.
void DSerialLine::onPortError(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || m_deviceGiven ||
        !m_port || !m_port->isOpen() || m_failurePending) {
        return;
    }
    m_failurePending = true;
    const QString message = failureText(error);
    QMetaObject::invokeMethod(
        this, [this, openCount = m_openCount, message] { failLine(openCount, message); },
        Qt::QueuedConnection);
}

// The port's own error text for a read or write failure names whatever the
// system said last, which is seldom the cause.
QString DSerialLine::failureText(QSerialPort::SerialPortError error) const {
    switch (error) {
    case QSerialPort::ResourceError:
        return QString("serial port %1 is gone").arg(m_portName);
    case QSerialPort::ReadError:
        return QString("serial port %1 could not be read").arg(m_portName);
    case QSerialPort::WriteError:
        return QString("serial port %1 could not be written").arg(m_portName);
    default:
        return reason(QString("serial port %1 failed").arg(m_portName), m_port->errorString());
    }
}

void DSerialLine::failLine(quint64 openCount, const QString& message) {
    m_failurePending = false;
    if (openCount != m_openCount || !m_port || !m_port->isOpen()) {
        return;
    }
    m_port->close();
    m_port->clearError();
    emit lineError(message);
}
