#pragma once

#include <d_abstract_command.h>

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <optional>

// "getPresetData": looks one preset up in the preset table ("presets", which the
// host's configuration supplies) and answers a copy of its record with the
// preset number, the display text and the derived targets added.
class DCmdGetPresetData : public DAbstractCommand {
    Q_OBJECT

public:
    DCmdGetPresetData(const QVariantMap& arguments, QObject* parent);
    ~DCmdGetPresetData() override;

    bool commandExecute() override;
    QSharedPointer<ICommand> createCommand(const QVariantMap& arguments) override;

    // The preset number that a "program" value names; nothing for a value that
    // does not convert, is negative or needs more than 32 bits: such a value
    // names no preset, and reading it as 0 would load preset 0.
    static std::optional<quint32> presetNumber(const QVariant& program);

private:
    static QVariantMap enrichedRecord(const QVariant& stored, const QString& key);
    static QString torqueText(double angle, double targetTorque, const QString& priority);
};
