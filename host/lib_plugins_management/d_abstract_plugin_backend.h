#pragma once

#include "d_object.h"
#include "i_messenger.h"

#include <QSharedPointer>
#include <QString>
#include <QUuid>
#include <QVariantList>
#include <QVariantMap>

// Base of a plug-in's QML backend: the object behind a panel that shows one
// plug-in instance.
//
// The host's view sets objectId to that instance's UUID. On the next turn of
// the event loop the framework links the backend to the instance (the base
// link), fills deviceInfo and isConnected, and emits abstractBackendInitialized.
// The link stays null when objectId names no living instance; the signal is
// emitted all the same. Each change of objectId links again.
class DAbstractPluginBackend : public DObject {
    Q_OBJECT
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(QString objectId READ objectId WRITE setObjectId NOTIFY objectIdChanged)
    Q_PROPERTY(QString reference READ reference WRITE setReference NOTIFY referenceChanged)
    Q_PROPERTY(bool isConnected READ isConnected NOTIFY isConnectedChanged)
    Q_PROPERTY(QVariantList deviceInfo READ deviceInfo NOTIFY deviceInfoChanged)

public:
    // What ties a backend to the instance it shows.
    struct Link {
        QUuid objectUuid;
    };

    DAbstractPluginBackend(const QString& libraryName, QObject* parent);
    ~DAbstractPluginBackend() override;

    QString libraryName() const;
    QString name() const;
    void setName(const QString& name);
    QString objectId() const;
    void setObjectId(const QString& objectId);
    QString reference() const;
    void setReference(const QString& reference);
    // Whether the instance last linked had a driver bound. Releasing the link
    // leaves this and deviceInfo as they were.
    bool isConnected() const;
    // Entries {"name", "value"} describing the linked instance; empty unlinked.
    QVariantList deviceInfo() const;

    // An instruction to the driver of the linked instance, routed as a
    // command's "driver" instruction; 0 when refused, and always 0 without a
    // link. errorCallback completes the signature: a refusal is reported by
    // the identifier 0 only.
    quint64 sendAnInstruction(const QString& instruction, const QVariantMap& arguments,
                              DReplyDelegate callback, int timeout, DErrorDelegate errorCallback);
    bool stopTheInstruction(quint64 instructionId);

signals:
    void abstractBackendInitialized();
    void nameChanged();
    void objectIdChanged();
    void referenceChanged();
    void isConnectedChanged();
    void deviceInfoChanged();

protected:
    const QSharedPointer<Link>& baseLink() const;
    // Drops the link, silently: instructions are refused until objectId links
    // again, and what is standing goes on.
    void releaseBaseLink();

private:
    void scheduleLinking();
    void link();
    void setLinkedState(bool connected, const QVariantList& deviceInfo);

    const QString m_libraryName;
    QString m_name;
    QString m_objectId;
    QString m_reference;
    QSharedPointer<Link> m_baseLink;
    QVariantList m_deviceInfo;
    bool m_connected = false;
    bool m_linkingScheduled = false;
};
