#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QSet>
#include <QString>
#include <QStringList>

class DAbstractPlugin;

// The configuration file, checked before anything runs. Its top-level keys
// are parameter values looked up by name, and "presets", the preset table.
// Whatever the plug-in converts fully and correctly is taken: numbers as
// text, "true" for a boolean, a whole number for text, null for absent.
// What would make it send a frame nobody meant stops the host: text that is
// no number, a boolean for a number, "no" for a boolean, a preset number no
// "program" can name, a priority that is neither word. Keys nobody reads,
// keys given twice and values the plug-in reads two ways are warned about.
class DConfigCheck {
public:
    // The JSON object in text. False, with the parser's reason and where it
    // stopped ("line 3, column 7"), when it is not one. A key given twice is
    // a warning.
    static bool parse(const QByteArray& text, QJsonObject* object, QStringList* warnings,
                      QString* error);

    // Parameter name -> type tag, over the whole catalogue.
    static QHash<QString, QString> parameterTags(const DAbstractPlugin& plugin);
    // False, with the first error; every warning found is appended.
    static bool check(const QJsonObject& configuration, const QHash<QString, QString>& tags,
                      QStringList* warnings, QString* error);
    // What the plug-in is given: a null value, here or in a preset, is absent.
    static QJsonObject withoutNulls(const QJsonObject& configuration);

    // 1-based line and column of a byte offset into text.
    static QString position(const QByteArray& text, int offset);

private:
    explicit DConfigCheck(QStringList* warnings);

    bool checkParameter(const QString& name, const QString& typeTag, const QJsonValue& value,
                        QString* error) const;
    bool checkPresets(const QJsonValue& presets, QString* error);
    bool checkPreset(const QString& number, const QJsonObject& preset, QString* error);
    void warnOnce(const QString& key, const QString& text);
    void checkPriority(const QString& number, const QString& priority);
    static bool fitsTag(const QString& typeTag, const QJsonValue& value);
    static bool isBoolean(const QJsonValue& value);
    static bool isInteger(const QJsonValue& value, bool isSigned);
    static bool isText(const QJsonValue& value);
    static bool isNumber(const QJsonValue& value);
    static bool isPresetNumber(const QString& key);
    static QString shown(const QJsonValue& value);

    QStringList* const m_warnings;
    QSet<QString> m_warned;
};
