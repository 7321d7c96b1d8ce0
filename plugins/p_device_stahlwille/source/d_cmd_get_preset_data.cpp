#include "d_cmd_get_preset_data.h"

#include <limits>

DCmdGetPresetData::DCmdGetPresetData(const QVariantMap& arguments, QObject* parent)
    : DAbstractCommand("getPresetData", arguments, parent) {
    setDescription("Get the configuration of a preset in the config file");
    declareAParameter("program", "uint", "The id of the preset", 1);
    declareAResult("cmd_success", "bool", "Success of the command", false);
    declareAResult("presetData", "varM", "the presets data", QVariant());
}

DCmdGetPresetData::~DCmdGetPresetData() = default;

bool DCmdGetPresetData::commandExecute() {
    if (!DAbstractCommand::commandExecute()) {
        return false;
    }
    const auto number = presetNumber(getParameterValue("program", QVariant()));
    const QString key = number ? QString::number(*number) : QString();
    const QVariantMap presets = getParameterValue("presets", QVariant()).toMap();
    const auto stored = number ? presets.constFind(key) : presets.constEnd();
    if (stored == presets.constEnd()) {
        return commandUpdateResults({{"cmd_success", false}, {"presetData", QVariantMap()}});
    }
    return commandUpdateResults(
        {{"cmd_success", true}, {"presetData", enrichedRecord(stored.value(), key)}});
}

QSharedPointer<ICommand> DCmdGetPresetData::createCommand(const QVariantMap& arguments) {
    return makeRun<DCmdGetPresetData>(arguments);
}

std::optional<quint32> DCmdGetPresetData::presetNumber(const QVariant& program) {
    constexpr quint32 largest = std::numeric_limits<quint32>::max();
    const auto type = static_cast<QMetaType::Type>(program.type());
    if (type == QMetaType::Double || type == QMetaType::Float) {
        // The variant's own rounding of a double is undefined for NaN and beyond
        // 64 bits; a number beyond 32 bits would wrap into another preset's.
        const double number = program.toDouble();
        if (!(number >= 0.0 && number < largest + 0.5)) {
            return std::nullopt;
        }
    }
    // A negative integer reads here as a number beyond 32 bits.
    bool converted = false;
    const qulonglong number = program.toULongLong(&converted);
    if (!converted || number > largest) {
        return std::nullopt;
    }
    return static_cast<quint32>(number);
}

QVariantMap DCmdGetPresetData::enrichedRecord(const QVariant& stored, const QString& key) {
    QVariantMap record = stored.toMap();
    record.insert("presetNo", key);
    const double angle = record.value("angle").toDouble();
    const double targetTorque = record.value("targetTorque").toDouble();
    if (angle > 0 && targetTorque > 0) {
        record.insert("torque_str",
                      torqueText(angle, targetTorque, record.value("priority").toString()));
    }
    record.insert("targetAngle", angle);
    record.insert("torque", targetTorque * 100.0);
    return record;
}

QString DCmdGetPresetData::torqueText(double angle, double targetTorque, const QString& priority) {
    if (priority == "angle") {
        return QString("%1\u00B0 (%2Nm)").arg(angle).arg(targetTorque);
    }
    return QString("%1Nm (%2\u00B0)").arg(targetTorque).arg(angle);
}
