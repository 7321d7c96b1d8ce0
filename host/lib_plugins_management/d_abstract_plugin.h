#pragma once

#include "d_data_storage.h"
#include "i_plugin.h"

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QUuid>

class DAbstractCommand;

// Base of every plug-in object: its identity, its catalogue of command
// prototypes, and the driver plug-in instance that serves its "driver" target.
class DAbstractPlugin : public DDataStorage, public IPlugin {
    Q_OBJECT
    Q_INTERFACES(IPlugin)

public:
    // servesLine marks a plug-in that owns a line to a device and can therefore
    // be bound as another instance's driver.
    DAbstractPlugin(const QUuid& pluginUuid, const QString& pluginName, IPlugin::Type type,
                    quint64 version, const QUuid& instanceUuid, QObject* parent, bool servesLine);
    ~DAbstractPlugin() override;

    QUuid pluginUuid() const override;
    QUuid objectUuid() const override;
    const char* pluginName() const override;
    quint64 pluginVersion() const override;
    Type pluginType() const override;
    QObject* pluginObject() override;
    const char* pluginSubTypeName() const override;

    bool servesLine() const;
    // Binds the plug-in that the target "driver" names for this instance.
    // Refused (false) for a plug-in that serves no line.
    bool setDriver(DAbstractPlugin* driver);
    DAbstractPlugin* driver() const;

    // Declared command names, in the order of declaration.
    QStringList commandNames() const;
    DAbstractCommand* commandPrototype(const QString& name) const;
    QList<DAbstractCommand*> commandPrototypes() const;

    // Forgets (and deletes) the prototypes declared so far, so that a second
    // initPluginCommands() rebuilds the catalogue instead of doubling it.
    void initAbstractCommands();
    void declareInstructionCommand(DAbstractCommand* command);

signals:
    void sigCommandsInitDone(const QUuid& objectUuid, const QStringList& commandNames);

private:
    const QUuid m_pluginUuid;
    const QByteArray m_pluginName;
    const IPlugin::Type m_type;
    const quint64 m_version;
    const QUuid m_instanceUuid;
    const bool m_servesLine;
    QPointer<DAbstractPlugin> m_driver;
    QList<QPointer<DAbstractCommand>> m_prototypes;
};
