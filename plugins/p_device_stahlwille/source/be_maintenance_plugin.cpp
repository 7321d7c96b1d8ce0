#include "be_maintenance_plugin.h"

#include "d_diagnostic_log.h"
#include "d_listen_line_parser.h"

BeMaintenanceDeviceStahlwille::BeMaintenanceDeviceStahlwille(QObject* parent)
    : DAbstractPluginBackend("PlgLibDeviceStahlwille", parent) {
    connect(this, &DAbstractPluginBackend::abstractBackendInitialized, this,
            &BeMaintenanceDeviceStahlwille::initBackend);
}

BeMaintenanceDeviceStahlwille::~BeMaintenanceDeviceStahlwille() {
    if (m_listenInstructionId != 0) {
        stopTheInstruction(m_listenInstructionId);
    }
}

void BeMaintenanceDeviceStahlwille::initBackend() {
    if (baseLink().isNull()) {
        return;
    }
    m_lastListenData.clear();
    setDeviceStartListen();
}

void BeMaintenanceDeviceStahlwille::setDeviceStartListen() {
    // A second initialisation must not leave the first listen standing: it
    // would go on delivering every line.
    if (m_listenInstructionId != 0) {
        stopTheInstruction(m_listenInstructionId);
    }
    m_listenInstructionId = sendAnInstruction(
        "listenEventsData", QVariantMap(),
        fastdelegate::MakeDelegate(this, &BeMaintenanceDeviceStahlwille::cbGetListenReply), -1,
        DErrorDelegate());
}

QString BeMaintenanceDeviceStahlwille::connectionPath() const {
    return m_connectionPath;
}

void BeMaintenanceDeviceStahlwille::setConnectionPath(const QString& path) {
    if (path != m_connectionPath) {
        m_connectionPath = path;
        emit connectionPathChanged();
    }
}

QVariantMap BeMaintenanceDeviceStahlwille::lastListenData() const {
    return m_lastListenData;
}

QVariantMap BeMaintenanceDeviceStahlwille::convertFrameToMap(const QByteArray& frame) const {
    return DListenLineParser::parse(frame);
}

bool BeMaintenanceDeviceStahlwille::cbGetListenReply(quint64 instructionId,
                                                     const QVariantMap& reply) {
    const auto frame = reply.constFind("frame");
    if (frame == reply.constEnd()) {
        WRENCH_LOG_MISSING_FRAME(this,
                                 "ERROR: No frame provided for instructionId =", instructionId);
        return true;
    }
    m_lastListenData = convertFrameToMap(frame->toByteArray());
    emit channelsModelChanged();
    return true;
}

void BeMaintenanceDeviceStahlwille::resetBackend() {
    if (!baseLink().isNull()) {
        releaseBaseLink();
    }
}
