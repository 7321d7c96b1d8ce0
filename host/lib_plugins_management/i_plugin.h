#pragma once

#include <QObject>
#include <QUuid>
#include <QtPlugin>

// The face that the host sees of every plug-in object.
class IPlugin {
public:
    // The four ASCII letters of the kind, read as one big-endian number.
    enum Type : quint32 {
        Device = 0x44657669, // "Devi"
        Driver = 0x44726976, // "Driv"
    };

    virtual ~IPlugin() = default;

    virtual QUuid pluginUuid() const = 0;
    virtual QUuid objectUuid() const = 0;
    virtual const char* pluginName() const = 0;
    virtual quint64 pluginVersion() const = 0;
    virtual Type pluginType() const = 0;
    virtual QObject* pluginObject() = 0;

    virtual void initPluginCommands() = 0;
    virtual IPlugin* createInstance(const QUuid& instanceUuid) const = 0;
    virtual const char* pluginSubTypeName() const = 0;
};

#define IPlugin_iid "org.wrenchline.host.IPlugin/1.0"
Q_DECLARE_INTERFACE(IPlugin, IPlugin_iid)
