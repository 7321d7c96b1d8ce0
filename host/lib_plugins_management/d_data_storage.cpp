#include "d_data_storage.h"

DDataStorage::DDataStorage(QObject* parent)
    : DObject(parent) {}

DDataStorage::~DDataStorage() = default;

void DDataStorage::setProperty(const QString& name, const QVariant& value, bool announce) {
    m_properties.insert(name, value);
    if (announce) {
        emit sigPropertyChanged(name, value);
    }
}

QVariant DDataStorage::getProperty(const QString& name, bool* ok) const {
    const auto found = m_properties.constFind(name);
    const bool exists = found != m_properties.constEnd();
    if (ok) {
        *ok = exists;
    }
    return exists ? found.value() : QVariant();
}

void DDataStorage::setConfiguration(const QVariantMap& configuration) {
    m_configuration = configuration;
}

QVariantMap DDataStorage::configuration() const {
    return m_configuration;
}

QVariant DDataStorage::configurationValue(const QString& name, const QVariant& defaultValue) const {
    return m_configuration.value(name, defaultValue);
}
