#include "d_config_check.h"

#include "d_json_key_scan.h"
#include "d_json_output.h"

#include <d_abstract_command.h>
#include <d_abstract_plugin.h>

#include <QJsonDocument>
#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace {

const QString presetsKey = QStringLiteral("presets");

// The preset keys the program frame reads, all numbers, besides "priority".
const QStringList numberKeys{"targetTorque", "angle", "startTorque", "torqueTol", "angleTol"};
const QString priorityKey = QStringLiteral("priority");
// The words the program frame tells apart: angle first, or torque first.
const QStringList priorities{"angle", "torque"};
// Carried through for whoever shows the preset.
const QString nameKey = QStringLiteral("name");

} // namespace

DConfigCheck::DConfigCheck(QStringList* warnings)
    : m_warnings(warnings) {}

bool DConfigCheck::parse(const QByteArray& text, QJsonObject* object, QStringList* warnings,
                         QString* error) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("not valid JSON: %1 at %2")
                     .arg(parseError.errorString(), position(text, parseError.offset));
        return false;
    }
    if (!document.isObject()) {
        *error = QStringLiteral("not a JSON object");
        return false;
    }
    *object = document.object();
    for (const QString& key : DJsonKeyScan::duplicates(text)) {
        warnings->append(QStringLiteral("\"%1\" is given twice: the last one counts").arg(key));
    }
    return true;
}

QString DConfigCheck::position(const QByteArray& text, int offset) {
    const QByteArray before = text.left(qBound(0, offset, text.size()));
    const int lineStart = before.lastIndexOf('\n') + 1;
    const int column = QString::fromUtf8(before.mid(lineStart)).size() + 1;
    return QStringLiteral("line %1, column %2").arg(before.count('\n') + 1).arg(column);
}

QHash<QString, QString> DConfigCheck::parameterTags(const DAbstractPlugin& plugin) {
    QHash<QString, QString> tags;
    for (const DAbstractCommand* prototype : plugin.commandPrototypes()) {
        for (const auto& parameter : prototype->declaredParameters()) {
            tags.insert(parameter.name, parameter.type);
        }
    }
    return tags;
}

bool DConfigCheck::check(const QJsonObject& configuration, const QHash<QString, QString>& tags,
                         QStringList* warnings, QString* error) {
    DConfigCheck checker(warnings);
    for (auto it = configuration.constBegin(); it != configuration.constEnd(); ++it) {
        if (it.key() == presetsKey) {
            if (!checker.checkPresets(it.value(), error)) {
                return false;
            }
            continue;
        }
        const QString typeTag = tags.value(it.key());
        if (typeTag.isEmpty()) {
            checker.warnOnce(it.key(), QStringLiteral("\"%1\" is no parameter of any command: "
                                                      "nothing reads it")
                                           .arg(it.key()));
        } else if (!checker.checkParameter(it.key(), typeTag, it.value(), error)) {
            return false;
        }
    }
    return true;
}

QJsonObject DConfigCheck::withoutNulls(const QJsonObject& configuration) {
    QJsonObject given;
    for (auto it = configuration.constBegin(); it != configuration.constEnd(); ++it) {
        if (it.value().isObject()) {
            given.insert(it.key(), withoutNulls(it.value().toObject()));
        } else if (!it.value().isNull()) {
            given.insert(it.key(), it.value());
        }
    }
    return given;
}

bool DConfigCheck::checkParameter(const QString& name, const QString& typeTag,
                                  const QJsonValue& value, QString* error) const {
    if (fitsTag(typeTag, value)) {
        return true;
    }
    static const QHash<QString, QString> wanted{
        {"strg", "text"},
        {"byAr", "text"},
        {"bool", "true or false"},
        {"uint", "a whole number from 0 to 4294967295"},
        {"int", "a whole number from -2147483648 to 2147483647"},
        {"varM", "a JSON object"},
    };
    *error = QStringLiteral("\"%1\" must be %2, not %3")
                 .arg(name, wanted.value(typeTag, typeTag), shown(value));
    return false;
}

bool DConfigCheck::fitsTag(const QString& typeTag, const QJsonValue& value) {
    if (value.isNull()) {
        return true; // absent
    }
    if (typeTag == QLatin1String("strg") || typeTag == QLatin1String("byAr")) {
        return isText(value);
    }
    if (typeTag == QLatin1String("bool")) {
        return isBoolean(value);
    }
    if (typeTag == QLatin1String("varM")) {
        return value.isObject();
    }
    const bool isSigned = typeTag == QLatin1String("int");
    if (!isSigned && typeTag != QLatin1String("uint")) {
        return true; // a tag of its own: the command knows what it takes
    }
    return isInteger(value, isSigned);
}

// A whole number below 2^53 reads as its digits; a larger one or a fraction
// reads as the variant prints a double ("1e+20", "47.5").
bool DConfigCheck::isText(const QJsonValue& value) {
    if (value.isString()) {
        return true;
    }
    const double number = value.toDouble(std::nan(""));
    constexpr double exact = 9007199254740992.0; // 2^53
    return value.isDouble() && std::floor(number) == number && std::fabs(number) < exact;
}

// The variant reads any other text as true: "no" would lock the wrench.
bool DConfigCheck::isBoolean(const QJsonValue& value) {
    static const QStringList words{"true", "false", "1", "0"};
    return value.isBool() || (value.isString() && words.contains(value.toString().toLower())) ||
           (value.isDouble() && (value.toDouble() == 0.0 || value.toDouble() == 1.0));
}

bool DConfigCheck::isInteger(const QJsonValue& value, bool isSigned) {
    const double lowest = isSigned ? std::numeric_limits<qint32>::min() : 0.0;
    const double highest =
        isSigned ? std::numeric_limits<qint32>::max() : std::numeric_limits<quint32>::max();
    if (value.isDouble()) {
        const double number = value.toDouble();
        return std::floor(number) == number && number >= lowest && number <= highest;
    }
    if (!value.isString()) {
        return false; // a boolean would read as 0 or 1
    }
    bool converted = false;
    const QVariant text = value.toString();
    const double number = isSigned ? static_cast<double>(text.toLongLong(&converted))
                                   : static_cast<double>(text.toULongLong(&converted));
    return converted && number >= lowest && number <= highest;
}

bool DConfigCheck::isNumber(const QJsonValue& value) {
    if (value.isDouble() || value.isNull()) {
        return true;
    }
    bool converted = false;
    const double number = QVariant(value.toString()).toDouble(&converted);
    return value.isString() && converted && std::isfinite(number);
}

bool DConfigCheck::checkPresets(const QJsonValue& presets, QString* error) {
    if (!presets.isObject()) {
        *error = QStringLiteral("\"presets\" must be a JSON object of presets by number, not %1")
                     .arg(shown(presets));
        return false;
    }
    const QJsonObject table = presets.toObject();
    for (auto it = table.constBegin(); it != table.constEnd(); ++it) {
        if (!isPresetNumber(it.key())) {
            *error = QStringLiteral("preset \"%1\" is not a preset number: plain decimal from 0 "
                                    "to 4294967295, such as \"3\"")
                         .arg(it.key());
            return false;
        }
        if (!it.value().isObject()) {
            *error = QStringLiteral("preset \"%1\" must be a JSON object, not %2")
                         .arg(it.key(), shown(it.value()));
            return false;
        }
        if (!checkPreset(it.key(), it.value().toObject(), error)) {
            return false;
        }
    }
    return true;
}

bool DConfigCheck::checkPreset(const QString& number, const QJsonObject& preset, QString* error) {
    for (auto it = preset.constBegin(); it != preset.constEnd(); ++it) {
        const QString& key = it.key();
        if (numberKeys.contains(key)) {
            if (!isNumber(it.value())) {
                *error = QStringLiteral("preset \"%1\": \"%2\" must be a number, not %3")
                             .arg(number, key, shown(it.value()));
                return false;
            }
        } else if (key == priorityKey && !it.value().isNull()) {
            if (!it.value().isString() ||
                !priorities.contains(it.value().toString().trimmed().toLower())) {
                *error = QStringLiteral("preset \"%1\": \"priority\" must be \"angle\" or "
                                        "\"torque\", not %2")
                             .arg(number, shown(it.value()));
                return false;
            }
            checkPriority(number, it.value().toString());
        } else if (key != nameKey) {
            warnOnce(QStringLiteral("presets.") + key,
                     QStringLiteral("preset \"%1\": \"%2\" is no key of a preset: carried "
                                    "through, unused")
                         .arg(number, key));
        }
    }
    return true;
}

// The program frame compares the word in lower case, the preset's text as it
// stands: only "angle" itself reads as angle first in both. Any "torque"
// reads as torque first everywhere.
void DConfigCheck::checkPriority(const QString& number, const QString& priority) {
    const QString word = priority.trimmed().toLower();
    if (priority == word || word != QLatin1String("angle")) {
        return;
    }
    const QString reading =
        priority.toLower() == word
            ? QStringLiteral("is read two ways: the program frame puts the "
                             "angle first, the preset's text the torque first")
            : QStringLiteral("is read as torque first, for the blanks around it");
    m_warnings->append(QStringLiteral("preset \"%1\": \"priority\" \"%2\" %3; write \"angle\"")
                           .arg(number, priority, reading));
}

void DConfigCheck::warnOnce(const QString& key, const QString& text) {
    if (!m_warned.contains(key)) {
        m_warned.insert(key);
        m_warnings->append(text);
    }
}

bool DConfigCheck::isPresetNumber(const QString& key) {
    static const QRegularExpression plainDecimal(QStringLiteral("^(0|[1-9][0-9]{0,9})$"));
    return plainDecimal.match(key).hasMatch() &&
           key.toULongLong() <= std::numeric_limits<quint32>::max();
}

QString DConfigCheck::shown(const QJsonValue& value) {
    if (value.isObject()) {
        return QStringLiteral("an object");
    }
    if (value.isArray()) {
        return QStringLiteral("a list");
    }
    if (value.isNull()) {
        return QStringLiteral("null");
    }
    return DJsonOutput::inlineText(value);
}
