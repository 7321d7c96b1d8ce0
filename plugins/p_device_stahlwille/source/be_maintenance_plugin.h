#pragma once

#include <d_abstract_plugin_backend.h>

#include <QByteArray>
#include <QString>
#include <QVariantMap>

// The object behind the wrench's maintenance panel. Once the framework has
// linked it to its plug-in instance it listens to the wrench through the
// instance's driver and exposes the fields of the last printed result line as
// lastValue, announced by channelsModelChanged. It sends nothing to the wrench.
class BeMaintenanceDeviceStahlwille : public DAbstractPluginBackend {
    Q_OBJECT
    Q_PROPERTY(QString connectionPath READ connectionPath NOTIFY connectionPathChanged FINAL)
    Q_PROPERTY(QVariantMap lastValue READ lastListenData NOTIFY channelsModelChanged FINAL)

public:
    explicit BeMaintenanceDeviceStahlwille(QObject* parent = nullptr);
    ~BeMaintenanceDeviceStahlwille() override;

    void initBackend();
    void setDeviceStartListen();

    QString connectionPath() const;
    void setConnectionPath(const QString& path);
    QVariantMap lastListenData() const;

    QVariantMap convertFrameToMap(const QByteArray& frame) const;
    // Each reply's frame is taken as one whole line.
    bool cbGetListenReply(quint64 instructionId, const QVariantMap& reply);

signals:
    void connectionPathChanged();
    void channelsModelChanged();

public slots:
    // Drops the link to the plug-in instance; what is listening goes on.
    void resetBackend();

private:
    QString m_connectionPath;
    quint64 m_listenInstructionId = 0;
    QVariantMap m_lastListenData;
};
