#pragma once

#include "d_host_options.h"

#include <QJsonObject>
#include <QObject>
#include <QPluginLoader>
#include <QString>
#include <QVariantMap>

class DAbstractPlugin;
class DSimLine;
class DSimWrench;
class PDriverSerial;

// What a run needs around the plug-in: the library loaded through
// QPluginLoader, one instance with its configuration and catalogue, and the
// serial driver stand-in bound to it, serving either the simulated wrench in
// this process or a serial device.
class DHostSession : public QObject {
    Q_OBJECT

public:
    explicit DHostSession(const DHostOptions& options, QObject* parent = nullptr);
    ~DHostSession() override;

    // Reads the configuration, loads the plug-in, makes an instance and its
    // catalogue, checks the configuration against it (warnings go to stderr)
    // and checks the simulator's options. False, with the reason, on a
    // configuration error.
    bool prepare(QString* error);
    // Binds the driver and opens its line (the simulated wrench, or --port).
    bool bindLine(QString* error);

    DAbstractPlugin* plugin() const;
    PDriverSerial* driver() const;

private:
    static bool readConfiguration(const QString& path, QJsonObject* configuration, QString* error);
    bool checkConfiguration(const QJsonObject& configuration, QString* error) const;
    bool loadPlugin(QString* error);
    void makeSimulatedLine();

    const DHostOptions m_options;
    QPluginLoader m_loader;
    DAbstractPlugin* m_plugin = nullptr;
    PDriverSerial* m_driver = nullptr;
    DSimWrench* m_wrench = nullptr;
    DSimLine* m_line = nullptr;
};
