#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QVariant>
#include <QVariantMap>

class DAbstractCommand;

// The host's stdout lines as JSON objects: result updates, the end of a run
// and the catalogue. Byte arrays are shown as text with C escapes.
class DJsonOutput {
public:
    static QJsonValue toJson(const QVariant& value);

    // {"result": key, "value": value}
    static QJsonObject resultLine(const QString& key, const QVariant& value);
    // {"result": "eventData", "serialId": ..., "receivedAt": ..., "value": {...}}:
    // the host's own keys beside the plug-in's map, never inside it.
    static QJsonObject eventLine(const QVariant& eventData, const QString& serialId,
                                 const QString& receivedAt);
    // {"command": name, "results": {...}, "ok": ok}
    static QJsonObject runEndLine(const QString& command, const QVariantMap& results, bool ok);
    // One command of the catalogue: name, stop name, description, parameters
    // (each with "required", and its "default" when it is not) and results
    // with their type tags and defaults.
    static QJsonObject catalogueLine(const DAbstractCommand& command);

    static QByteArray compact(const QJsonObject& object);
    // One value as compact JSON text, for messages: 12.5, "angle", [1,2].
    static QString inlineText(const QJsonValue& value);
};
