#include "d_json_output.h"

#include "d_c_escape.h"

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

QJsonObject DJsonOutput::runEndLine(const QString& command, const QVariantMap& results, bool ok) {
    return {{"command", command}, {"results", toJson(results)}, {"ok", ok}};
}

QJsonObject DJsonOutput::catalogueLine(const QVariantMap& fullDescription) {
    return toJson(fullDescription).toObject();
}

QByteArray DJsonOutput::compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
