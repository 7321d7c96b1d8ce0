#pragma once

#include <QString>
#include <QVariant>

// Turns the text of a key=value argument into the value that a command's
// declared type tag asks for: "bool", "uint", "int", "strg", "byAr" (C
// escapes) or "varM" (a JSON object).
class DValueConverter {
public:
    // False, with what was expected, when the text does not convert or the
    // tag is not one of the six.
    static bool convert(const QString& typeTag, const QString& text, QVariant* value,
                        QString* error);

    // What a value of the tag is written as, for messages and the usage.
    static QString expectedForm(const QString& typeTag);

private:
    static bool toBool(const QString& text, QVariant* value);
    static bool toInteger(const QString& text, bool isSigned, QVariant* value);
    static bool toByteArray(const QString& text, QVariant* value, QString* detail);
    static bool toMap(const QString& text, QVariant* value, QString* detail);
};
