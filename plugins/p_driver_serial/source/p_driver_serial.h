#pragma once

#include <d_abstract_plugin.h>

#include <QByteArray>
#include <QString>

class DSerialLine;
class QIODevice;
class QTimer;

// The serial driver stand-in: a plug-in that serves one line to a device and
// whose commands are the driver instructions "listenEventsData", "write",
// "closeConnection", "setParallelListening" and "setKeepAliveFonction".
//
// The line is either a device handed in (the in-process simulated wrench; not
// owned) or a serial port opened by name, 8N1, from the configuration values
// "portName" and "baudRate" (default 9600). "closeConnection" closes the line;
// the next "write" or listener opens it again. Nothing here blocks the event
// loop.
class PDriverSerial : public DAbstractPlugin {
    Q_OBJECT

public:
    explicit PDriverSerial(const QUuid& instanceUuid = QUuid::createUuid(),
                           QObject* parent = nullptr);
    ~PDriverSerial() override;

    static QUuid getPluginId();
    static const char* getPluginName();

    // Called by the constructor too, so that a driver serves as soon as it is
    // made; calling it again rebuilds the catalogue.
    void initPluginCommands() override;
    IPlugin* createInstance(const QUuid& instanceUuid) const override;

    // Serves this device instead of a serial port.
    void setLineDevice(QIODevice* device);

    // Opens the line now if it is closed; false, with the reason, when it
    // cannot be opened.
    bool openLine(QString* error = nullptr);
    void closeLine();
    bool isLineOpen() const;

    // Sends bytes unchanged, opening the line first if need be.
    bool writeToLine(const QByteArray& bytes);

    bool parallelListening() const;
    void setParallelListening(bool enabled);
    // The keep-alive frame is written every timeoutMs while the line is idle
    // (nothing written or read); an empty frame or a timeout <= 0 switches it
    // off.
    void setKeepAlive(const QByteArray& frame, const QByteArray& responseFrame, int timeoutMs);
    QByteArray keepAliveFrame() const;
    int keepAliveInterval() const;
    // Kept as given, for whoever asks; answers are not compared with it.
    QByteArray keepAliveResponseFrame() const;
    // The raw mode flag handed in with the keep-alive set-up, kept apart from
    // parallelListening() so that a keep-alive set-up does not switch it.
    bool keepAliveParallelListening() const;
    void setKeepAliveParallelListening(bool enabled);

signals:
    // Every chunk of bytes read from the line, in order.
    void sigBytesRead(const QByteArray& chunk);
    // Every frame written to the line.
    void sigBytesWritten(const QByteArray& frame);
    // The line could not be opened, or failed.
    void sigLineError(const QString& message);
    // The line has been opened (again).
    void sigLineOpened();

private:
    bool keepAliveOn() const;
    void restartKeepAlive();
    void onKeepAliveDue();
    void onBytesRead(const QByteArray& chunk);

    DSerialLine* m_line = nullptr;
    QTimer* m_keepAliveTimer = nullptr;
    bool m_parallelListening = false;
    QByteArray m_keepAliveFrame;
    QByteArray m_keepAliveResponseFrame;
    int m_keepAliveMs = 0;
    bool m_keepAliveParallelListening = false;
};
