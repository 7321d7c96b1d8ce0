#include "d_abstract_plugin.h"

#include "d_abstract_command.h"
#include "d_instruction_router.h"

DAbstractPlugin::DAbstractPlugin(const QUuid& pluginUuid, const QString& pluginName,
                                 IPlugin::Type type, quint64 version, const QUuid& instanceUuid,
                                 QObject* parent, bool servesLine)
    : DDataStorage(parent)
    , m_pluginUuid(pluginUuid)
    , m_pluginName(pluginName.toUtf8())
    , m_type(type)
    , m_version(version)
    , m_instanceUuid(instanceUuid)
    , m_servesLine(servesLine) {
    DInstructionRouter::instance().registerPlugin(this);
}

DAbstractPlugin::~DAbstractPlugin() {
    // Runs of our commands are held by the router through shared pointers and
    // are our Qt children too: end them before QObject deletes the children.
    DInstructionRouter::instance().unregisterPlugin(this);
    DInstructionRouter::instance().releasePlugin(this);
}

QUuid DAbstractPlugin::pluginUuid() const {
    return m_pluginUuid;
}

QUuid DAbstractPlugin::objectUuid() const {
    return m_instanceUuid;
}

const char* DAbstractPlugin::pluginName() const {
    return m_pluginName.constData();
}

quint64 DAbstractPlugin::pluginVersion() const {
    return m_version;
}

IPlugin::Type DAbstractPlugin::pluginType() const {
    return m_type;
}

QObject* DAbstractPlugin::pluginObject() {
    return this;
}

const char* DAbstractPlugin::pluginSubTypeName() const {
    return "";
}

bool DAbstractPlugin::servesLine() const {
    return m_servesLine;
}

bool DAbstractPlugin::setDriver(DAbstractPlugin* driver) {
    if (driver && !driver->servesLine()) {
        return false;
    }
    m_driver = driver;
    return true;
}

DAbstractPlugin* DAbstractPlugin::driver() const {
    return m_driver.data();
}

QStringList DAbstractPlugin::commandNames() const {
    QStringList names;
    for (const auto& prototype : m_prototypes) {
        if (prototype) {
            names.append(prototype->commandName());
        }
    }
    return names;
}

DAbstractCommand* DAbstractPlugin::commandPrototype(const QString& name) const {
    for (const auto& prototype : m_prototypes) {
        if (prototype && prototype->commandName() == name) {
            return prototype.data();
        }
    }
    return nullptr;
}

QList<DAbstractCommand*> DAbstractPlugin::commandPrototypes() const {
    QList<DAbstractCommand*> prototypes;
    for (const auto& prototype : m_prototypes) {
        if (prototype) {
            prototypes.append(prototype.data());
        }
    }
    return prototypes;
}

void DAbstractPlugin::initAbstractCommands() {
    const auto previous = commandPrototypes();
    m_prototypes.clear();
    qDeleteAll(previous);
}

void DAbstractPlugin::declareInstructionCommand(DAbstractCommand* command) {
    if (!command) {
        return;
    }
    command->markAsPrototype();
    m_prototypes.append(command);
}
