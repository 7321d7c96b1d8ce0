#include "d_abstract_plugin_backend.h"

#include "d_abstract_plugin.h"
#include "d_instruction_router.h"

namespace {

QVariantMap entry(const QString& name, const QString& value) {
    return {{"name", name}, {"value", value}};
}

QVariantList describe(const DAbstractPlugin& instance) {
    const DAbstractPlugin* driver = instance.driver();
    return {entry("Plug-in", QString::fromUtf8(instance.pluginName())),
            entry("Instance", instance.objectUuid().toString()),
            entry("Driver", driver ? QString::fromUtf8(driver->pluginName()) : QString("-"))};
}

} // namespace

DAbstractPluginBackend::DAbstractPluginBackend(const QString& libraryName, QObject* parent)
    : DObject(parent)
    , m_libraryName(libraryName) {}

// The router ends the instructions a backend holds when it is destroyed.
DAbstractPluginBackend::~DAbstractPluginBackend() = default;

QString DAbstractPluginBackend::libraryName() const {
    return m_libraryName;
}

QString DAbstractPluginBackend::name() const {
    return m_name;
}

void DAbstractPluginBackend::setName(const QString& name) {
    if (name != m_name) {
        m_name = name;
        emit nameChanged();
    }
}

QString DAbstractPluginBackend::objectId() const {
    return m_objectId;
}

void DAbstractPluginBackend::setObjectId(const QString& objectId) {
    if (objectId != m_objectId) {
        m_objectId = objectId;
        emit objectIdChanged();
        scheduleLinking();
    }
}

QString DAbstractPluginBackend::reference() const {
    return m_reference;
}

void DAbstractPluginBackend::setReference(const QString& reference) {
    if (reference != m_reference) {
        m_reference = reference;
        emit referenceChanged();
    }
}

bool DAbstractPluginBackend::isConnected() const {
    return m_connected;
}

QVariantList DAbstractPluginBackend::deviceInfo() const {
    return m_deviceInfo;
}

quint64 DAbstractPluginBackend::sendAnInstruction(const QString& instruction,
                                                  const QVariantMap& arguments,
                                                  DReplyDelegate callback, int timeout,
                                                  DErrorDelegate errorCallback) {
    Q_UNUSED(errorCallback)
    if (!m_baseLink) {
        return 0;
    }
    return DInstructionRouter::instance().addDriverInstruction(
        this, m_baseLink->objectUuid, instruction, arguments, timeout, callback);
}

bool DAbstractPluginBackend::stopTheInstruction(quint64 instructionId) {
    return DInstructionRouter::instance().stopTheInstruction(this, instructionId);
}

const QSharedPointer<DAbstractPluginBackend::Link>& DAbstractPluginBackend::baseLink() const {
    return m_baseLink;
}

void DAbstractPluginBackend::releaseBaseLink() {
    m_baseLink.reset();
}

// A panel sets its properties one after the other: link once they are all in.
void DAbstractPluginBackend::scheduleLinking() {
    if (m_linkingScheduled) {
        return;
    }
    m_linkingScheduled = true;
    QMetaObject::invokeMethod(this, &DAbstractPluginBackend::link, Qt::QueuedConnection);
}

void DAbstractPluginBackend::link() {
    m_linkingScheduled = false;
    const QUuid objectUuid(m_objectId);
    const DAbstractPlugin* instance = DInstructionRouter::instance().findPlugin(objectUuid);
    if (instance) {
        m_baseLink = QSharedPointer<Link>::create(Link{objectUuid});
        setLinkedState(instance->driver() != nullptr, describe(*instance));
    } else {
        m_baseLink.reset();
        setLinkedState(false, {});
    }
    emit abstractBackendInitialized();
}

void DAbstractPluginBackend::setLinkedState(bool connected, const QVariantList& deviceInfo) {
    if (deviceInfo != m_deviceInfo) {
        m_deviceInfo = deviceInfo;
        emit deviceInfoChanged();
    }
    if (connected != m_connected) {
        m_connected = connected;
        emit isConnectedChanged();
    }
}
