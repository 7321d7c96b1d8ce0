#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QSet>
#include <QString>
#include <QStringList>

class DAbstractPlugin;

// The configuration file, checked before anything runs. Its top-level keys
// are parameter values looked up by name, and "presets", the preset table.
// A value whose JSON type does not fit the parameter's type tag, a preset
// number that no "program" can name, or a preset key of the program frame
// with the wrong type stops the host; keys nobody reads are warned about
// once each, since the plug-in carries them through.
class DConfigCheck {
public:
    // The JSON object in text. False, with the parser's reason and where it
    // stopped ("line 3, column 7"), when it is not one.
    static bool parse(const QByteArray& text, QJsonObject* object, QString* error);

    // False, with the first error; every warning found is appended.
    static bool check(const QJsonObject& configuration, const DAbstractPlugin& plugin,
                      QStringList* warnings, QString* error);

    // 1-based line and column of a byte offset into text.
    static QString position(const QByteArray& text, int offset);

private:
    explicit DConfigCheck(QStringList* warnings);

    bool checkParameter(const QString& name, const QString& typeTag, const QJsonValue& value,
                        QString* error) const;
    bool checkPresets(const QJsonValue& presets, QString* error);
    bool checkPreset(const QString& number, const QJsonObject& preset, QString* error);
    void warnOnce(const QString& key, const QString& text);
    static bool fitsTag(const QString& typeTag, const QJsonValue& value);
    static bool isPresetNumber(const QString& key);
    static QString shown(const QJsonValue& value);

    QStringList* const m_warnings;
    QSet<QString> m_warned;
};
