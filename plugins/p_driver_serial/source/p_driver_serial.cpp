#include "p_driver_serial.h"

#include "d_cmd_driver_close_connection.h"
#include "d_cmd_driver_listen.h"
#include "d_cmd_driver_set_keep_alive.h"
#include "d_cmd_driver_set_parallel_listening.h"
#include "d_cmd_driver_write.h"
#include "d_serial_line.h"

#include <utilities.h>

#include <QTimer>

namespace {

constexpr char pluginUuidText[] = "{6f3c2a81-94d7-4b5e-a2c0-7e1d5b9f3a64}";
constexpr char pluginNameText[] = "Plugin Driver Serial";
constexpr char pluginVersionText[] = "1.0";
constexpr int defaultBaudRate = 9600;

} // namespace

PDriverSerial::PDriverSerial(const QUuid& instanceUuid, QObject* parent)
    : DAbstractPlugin(getPluginId(), getPluginName(), IPlugin::Driver,
                      versionFromString(pluginVersionText, nullptr, '.'), instanceUuid, parent,
                      true)
    , m_line(new DSerialLine(this))
    , m_keepAliveTimer(new QTimer(this)) {
    m_keepAliveTimer->setObjectName("keepAliveTimer");
    m_keepAliveTimer->setSingleShot(false);
    connect(m_keepAliveTimer, &QTimer::timeout, this, &PDriverSerial::onKeepAliveDue);
    connect(m_line, &DSerialLine::opened, this, &PDriverSerial::restartKeepAlive);
    connect(m_line, &DSerialLine::closed, m_keepAliveTimer, &QTimer::stop);
    connect(m_line, &DSerialLine::bytesRead, this, &PDriverSerial::onBytesRead);
    connect(m_line, &DSerialLine::lineError, this, &PDriverSerial::sigLineError);
    connect(m_line, &DSerialLine::opened, this, &PDriverSerial::sigLineOpened);
    initPluginCommands();
}

PDriverSerial::~PDriverSerial() {
    closeLine();
    m_line->disconnect(this);
}

QUuid PDriverSerial::getPluginId() {
    return QUuid(pluginUuidText);
}

const char* PDriverSerial::getPluginName() {
    return pluginNameText;
}

void PDriverSerial::initPluginCommands() {
    initAbstractCommands();
    declareInstructionCommand(new DCmdDriverListen(QVariantMap(), this));
    declareInstructionCommand(new DCmdDriverWrite(QVariantMap(), this));
    declareInstructionCommand(new DCmdDriverCloseConnection(QVariantMap(), this));
    declareInstructionCommand(new DCmdDriverSetParallelListening(QVariantMap(), this));
    declareInstructionCommand(new DCmdDriverSetKeepAlive(QVariantMap(), this));
    emit sigCommandsInitDone(objectUuid(), commandNames());
}

IPlugin* PDriverSerial::createInstance(const QUuid& instanceUuid) const {
    return new PDriverSerial(instanceUuid, nullptr);
}

void PDriverSerial::setLineDevice(QIODevice* device) {
    m_line->setDevice(device);
}

bool PDriverSerial::openLine(QString* error) {
    if (m_line->isOpen()) {
        return true;
    }
    bool baudOk = false;
    const qint32 baudRate = configurationValue("baudRate", defaultBaudRate).toInt(&baudOk);
    QString reason;
    if (m_line->open(configurationValue("portName").toString(), baudOk ? baudRate : 0, &reason)) {
        return true;
    }
    if (error) {
        *error = reason;
    }
    emit sigLineError(reason);
    return false;
}

void PDriverSerial::closeLine() {
    m_line->close();
}

bool PDriverSerial::isLineOpen() const {
    return m_line->isOpen();
}

bool PDriverSerial::writeToLine(const QByteArray& bytes) {
    if (bytes.isEmpty() || !openLine() || !m_line->write(bytes)) {
        return false;
    }
    emit sigBytesWritten(bytes);
    restartKeepAlive();
    return true;
}

bool PDriverSerial::parallelListening() const {
    return m_parallelListening;
}

void PDriverSerial::setParallelListening(bool enabled) {
    m_parallelListening = enabled;
}

void PDriverSerial::setKeepAlive(const QByteArray& frame, const QByteArray& responseFrame,
                                 int timeoutMs) {
    m_keepAliveFrame = frame;
    m_keepAliveResponseFrame = responseFrame;
    m_keepAliveMs = timeoutMs;
    restartKeepAlive();
}

QByteArray PDriverSerial::keepAliveFrame() const {
    return m_keepAliveFrame;
}

int PDriverSerial::keepAliveInterval() const {
    return m_keepAliveMs;
}

QByteArray PDriverSerial::keepAliveResponseFrame() const {
    return m_keepAliveResponseFrame;
}

bool PDriverSerial::keepAliveParallelListening() const {
    return m_keepAliveParallelListening;
}

void PDriverSerial::setKeepAliveParallelListening(bool enabled) {
    m_keepAliveParallelListening = enabled;
}

bool PDriverSerial::keepAliveOn() const {
    return !m_keepAliveFrame.isEmpty() && m_keepAliveMs > 0;
}

void PDriverSerial::restartKeepAlive() {
    if (keepAliveOn() && m_line->isOpen()) {
        m_keepAliveTimer->start(m_keepAliveMs);
    } else {
        m_keepAliveTimer->stop();
    }
}

// Never opens the line: a closed line stays closed until someone writes or
// listens.
void PDriverSerial::onKeepAliveDue() {
    if (keepAliveOn() && m_line->write(m_keepAliveFrame)) {
        emit sigBytesWritten(m_keepAliveFrame);
    }
    restartKeepAlive();
}

void PDriverSerial::onBytesRead(const QByteArray& chunk) {
    restartKeepAlive();
    emit sigBytesRead(chunk);
}
