#pragma once

#include <d_abstract_plugin.h>

#include <QUuid>

// The plug-in object of the torque wrench: its fixed identity and the catalogue
// of commands that drive the wrench.
class PDeviceStahlwille : public DAbstractPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.wrenchline.plugins.device.PDeviceStahlwille")
    Q_INTERFACES(IPlugin)

public:
    explicit PDeviceStahlwille(const QUuid& instanceUuid = QUuid(), QObject* parent = nullptr);
    ~PDeviceStahlwille() override;

    static QUuid getPluginId();
    static const char* getPluginName();
    static IPlugin::Type getPluginType();

    void initPluginCommands() override;
    IPlugin* createInstance(const QUuid& instanceUuid) const override;
    const char* pluginSubTypeName() const override;
};
