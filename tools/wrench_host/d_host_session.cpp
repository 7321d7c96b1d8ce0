#include "d_host_session.h"

#include "d_config_check.h"
#include "d_host_console.h"

#include <d_abstract_plugin.h>
#include <d_sim_faults.h>
#include <d_sim_line.h>
#include <d_sim_wrench.h>
#include <p_driver_serial.h>

#include <QFile>
#include <QJsonObject>
#include <QUuid>

DHostSession::DHostSession(const DHostOptions& options, QObject* parent)
    : QObject(parent)
    , m_options(options) {}

// The plug-in's instance goes first: its runs may still hold instructions to
// the driver, which goes before the line and the wrench behind it.
DHostSession::~DHostSession() {
    delete m_plugin;
    delete m_driver;
    delete m_line;
    delete m_wrench;
}

bool DHostSession::prepare(QString* error) {
    QJsonObject configuration;
    if (!m_options.configPath.isEmpty() &&
        !readConfiguration(m_options.configPath, &configuration, error)) {
        return false;
    }
    if (m_options.portName.isEmpty()) {
        DSimFaults faults;
        QString reason;
        if (!DSimFaults::fromList(m_options.simFaults, &faults, &reason)) {
            *error = QStringLiteral("--sim-fault: %1").arg(reason);
            return false;
        }
    }
    if (!loadPlugin(error)) {
        return false;
    }
    m_plugin->setConfiguration(DConfigCheck::withoutNulls(configuration).toVariantMap());
    m_plugin->initPluginCommands();
    return checkConfiguration(configuration, error);
}

bool DHostSession::bindLine(QString* error) {
    m_driver = new PDriverSerial(QUuid::createUuid());
    m_driver->initPluginCommands();
    if (m_options.portName.isEmpty()) {
        makeSimulatedLine();
    } else {
        m_driver->setConfiguration(
            {{"portName", m_options.portName}, {"baudRate", m_options.baudRate}});
    }
    QString reason;
    if (!m_driver->openLine(&reason)) {
        // The driver's reason names the port already.
        *error = m_options.portName.isEmpty()
                     ? QStringLiteral("cannot open the simulated wrench: %1").arg(reason)
                     : reason;
        return false;
    }
    if (!m_plugin->setDriver(m_driver)) {
        *error = QStringLiteral("the driver stand-in cannot serve the plug-in");
        return false;
    }
    if (m_wrench && m_options.simTightenings > 0) {
        m_wrench->startTightenings(m_options.simTightenings, m_options.simEveryMs);
    }
    return true;
}

DAbstractPlugin* DHostSession::plugin() const {
    return m_plugin;
}

PDriverSerial* DHostSession::driver() const {
    return m_driver;
}

bool DHostSession::readConfiguration(const QString& path, QJsonObject* configuration,
                                     QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error =
            QStringLiteral("cannot read the configuration %1: %2").arg(path, file.errorString());
        return false;
    }
    QString reason;
    QStringList warnings;
    if (!DConfigCheck::parse(file.readAll(), configuration, &warnings, &reason)) {
        *error = QStringLiteral("the configuration %1 is %2").arg(path, reason);
        return false;
    }
    for (const QString& warning : warnings) {
        DHostConsole::message(QStringLiteral("the configuration %1: %2").arg(path, warning));
    }
    return true;
}

// Against the catalogue, which names the parameters a configuration may hold.
bool DHostSession::checkConfiguration(const QJsonObject& configuration, QString* error) const {
    QStringList warnings;
    QString reason;
    const bool ok = DConfigCheck::check(configuration, DConfigCheck::parameterTags(*m_plugin),
                                        &warnings, &reason);
    for (const QString& warning : warnings) {
        DHostConsole::message(
            QStringLiteral("the configuration %1: %2").arg(m_options.configPath, warning));
    }
    if (!ok) {
        *error = QStringLiteral("the configuration %1: %2").arg(m_options.configPath, reason);
    }
    return ok;
}

bool DHostSession::loadPlugin(QString* error) {
    m_loader.setFileName(m_options.pluginPath);
    QObject* root = m_loader.instance();
    auto* entry = qobject_cast<IPlugin*>(root);
    if (!entry) {
        *error = root ? QStringLiteral("%1 is not a plug-in of this host").arg(m_options.pluginPath)
                      : QStringLiteral("cannot load the plug-in %1: %2")
                            .arg(m_options.pluginPath, m_loader.errorString());
        return false;
    }
    IPlugin* instance = entry->createInstance(QUuid::createUuid());
    m_plugin = instance ? qobject_cast<DAbstractPlugin*>(instance->pluginObject()) : nullptr;
    if (!m_plugin) {
        delete instance;
        *error = QStringLiteral("the plug-in %1 made no instance").arg(m_options.pluginPath);
        return false;
    }
    return true;
}

void DHostSession::makeSimulatedLine() {
    DSimFaults faults;
    QString unused;
    DSimFaults::fromList(m_options.simFaults, &faults, &unused);
    m_wrench = new DSimWrench(m_options.simSerial.toUtf8(), faults, m_options.seed);
    m_line = new DSimLine(m_wrench);
    m_driver->setLineDevice(m_line);
}
