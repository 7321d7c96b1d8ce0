#include "p_device_stahlwille.h"

#include "be_maintenance_plugin.h"
#include "d_cmd_check_connection_with_serial.h"
#include "d_cmd_get_preset_data.h"
#include "d_cmd_listen.h"
#include "d_cmd_set_init_config.h"
#include "d_cmd_set_keep_alive_fonction.h"
#include "d_cmd_set_lock.h"
#include "d_cmd_set_parallel_listening.h"
#include "d_cmd_set_program.h"
#include "d_cmd_set_screen_lock.h"

#include <utilities.h>

#include <qqml.h>

namespace {

constexpr char pluginUuidText[] = "{0ba12e45-e44b-4f6a-8202-d8eb318f4f25}";
constexpr char pluginNameText[] = "Plugin Device Stahlwille";
constexpr char pluginVersionText[] = WRENCH_VERSION;

// QML keeps every registration until the process ends, so the backend's type
// is registered by the first plug-in object only: a host that makes instance
// after instance must not grow the type registry with each one.
void registerBackendType() {
    static const int typeId = qmlRegisterType<BeMaintenanceDeviceStahlwille>(
        "PlgLibDeviceStahlwille", 1, 0, "BeMaintenanceDeviceStahlwille");
    Q_UNUSED(typeId);
}

} // namespace

PDeviceStahlwille::PDeviceStahlwille(const QUuid& instanceUuid, QObject* parent)
    : DAbstractPlugin(getPluginId(), getPluginName(), getPluginType(),
                      versionFromString(pluginVersionText, nullptr, '.'), instanceUuid, parent,
                      false) {
    registerBackendType();
    setProperty("typeName", QString(""), false);
}

PDeviceStahlwille::~PDeviceStahlwille() = default;

QUuid PDeviceStahlwille::getPluginId() {
    return QUuid(pluginUuidText);
}

const char* PDeviceStahlwille::getPluginName() {
    return pluginNameText;
}

IPlugin::Type PDeviceStahlwille::getPluginType() {
    return IPlugin::Device;
}

void PDeviceStahlwille::initPluginCommands() {
    initAbstractCommands();
    declareInstructionCommand(new DCmdListen(QVariantMap(), this));
    declareInstructionCommand(new DCmdGetPresetData(QVariantMap(), this));
    declareInstructionCommand(new DCmdSetLock(QVariantMap(), this));
    declareInstructionCommand(new DCmdSetScreenLock(QVariantMap(), this));
    declareInstructionCommand(new DCmdSetProgram(QVariantMap(), this));
    declareInstructionCommand(new DCmdSetKeepAliveFonction(QVariantMap(), this));
    declareInstructionCommand(new DCmdCheckConnectionWithSerial(QVariantMap(), this));
    declareInstructionCommand(new DCmdSetInitConfig(QVariantMap(), this));
    declareInstructionCommand(new DCmdSetParallelListening(QVariantMap(), this));
    emit sigCommandsInitDone(objectUuid(), commandNames());
}

IPlugin* PDeviceStahlwille::createInstance(const QUuid& instanceUuid) const {
    return new PDeviceStahlwille(instanceUuid, nullptr);
}

const char* PDeviceStahlwille::pluginSubTypeName() const {
    return "";
}
