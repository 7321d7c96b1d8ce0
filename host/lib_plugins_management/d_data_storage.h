#pragma once

#include "d_object.h"

#include <QHash>
#include <QString>
#include <QVariant>
#include <QVariantMap>

// Named values of a plug-in instance: the properties it sets at run time and
// the configuration that the host loaded for it.
class DDataStorage : public DObject {
    Q_OBJECT

public:
    explicit DDataStorage(QObject* parent = nullptr);
    ~DDataStorage() override;

    // Stores a named property. With announce set the host is told through
    // sigPropertyChanged; without, the value is only kept.
    void setProperty(const QString& name, const QVariant& value, bool announce);
    // The value last stored under name, invalid if none. ok (if given) says
    // whether a value was found.
    QVariant getProperty(const QString& name, bool* ok = nullptr) const;

    void setConfiguration(const QVariantMap& configuration);
    QVariantMap configuration() const;
    QVariant configurationValue(const QString& name, const QVariant& defaultValue = {}) const;

signals:
    void sigPropertyChanged(const QString& name, const QVariant& value);

private:
    QHash<QString, QVariant> m_properties;
    QVariantMap m_configuration;
};
