#include "d_json_output.h"

#include "d_c_escape.h"

#include <d_abstract_command.h>

#include <QJsonArray>
#include <QJsonDocument>

QJsonValue DJsonOutput::toJson(const QVariant& value) {
    switch (static_cast<int>(value.type())) {
    case QMetaType::UnknownType:
        return QJsonValue(QJsonValue::Null);
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return value.toDouble();
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QByteArray:
        return DCEscape::escape(value.toByteArray());
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash: {
        QJsonObject object;
        const QVariantMap map = value.toMap();
        for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
            object.insert(it.key(), toJson(it.value()));
        }
        return object;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        QJsonArray array;
        for (const QVariant& item : value.toList()) {
            array.append(toJson(item));
        }
        return array;
    }
    default:
        if (value.canConvert<QString>()) {
            return value.toString();
        }
        return QJsonValue(QJsonValue::Null);
    }
}

QJsonObject DJsonOutput::resultLine(const QString& key, const QVariant& value) {
    return {{"result", key}, {"value", toJson(value)}};
}

QJsonObject DJsonOutput::eventLine(const QVariant& eventData, const QString& serialId,
                                   const QString& receivedAt) {
    return {{"result", QStringLiteral("eventData")},
            {"serialId", serialId},
            {"receivedAt", receivedAt},
            {"value", toJson(eventData)}};
}

QJsonObject DJsonOutput::runEndLine(const QString& command, const QVariantMap& results, bool ok) {
    return {{"command", command}, {"results", toJson(results)}, {"ok", ok}};
}

QJsonObject DJsonOutput::catalogueLine(const DAbstractCommand& command) {
    QJsonObject line = toJson(command.fullDescription()).toObject();
    QJsonArray parameters;
    for (const auto& parameter : command.declaredParameters()) {
        QJsonObject entry{{"name", parameter.name},
                          {"type", parameter.type},
                          {"description", parameter.description},
                          {"required", parameter.isRequired()}};
        if (!parameter.isRequired()) {
            entry.insert(QStringLiteral("default"), toJson(parameter.defaultValue));
        }
        parameters.append(entry);
    }
    line.insert(QStringLiteral("parameters"), parameters);
    return line;
}

QByteArray DJsonOutput::compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// A one-element array, written compact, shows the value as JSON.
QString DJsonOutput::inlineText(const QJsonValue& value) {
    const QByteArray json = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}
