#include "d_value_converter.h"

#include "d_c_escape.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <limits>

bool DValueConverter::convert(const QString& typeTag, const QString& text, QVariant* value,
                              QString* error) {
    bool converted = false;
    QString detail;
    if (typeTag == QLatin1String("bool")) {
        converted = toBool(text, value);
    } else if (typeTag == QLatin1String("uint")) {
        converted = toInteger(text, false, value);
    } else if (typeTag == QLatin1String("int")) {
        converted = toInteger(text, true, value);
    } else if (typeTag == QLatin1String("strg")) {
        *value = text;
        converted = true;
    } else if (typeTag == QLatin1String("byAr")) {
        converted = toByteArray(text, value, &detail);
    } else if (typeTag == QLatin1String("varM")) {
        converted = toMap(text, value, &detail);
    } else {
        *error = QStringLiteral("no conversion for the type tag \"%1\"").arg(typeTag);
        return false;
    }
    if (!converted) {
        *error = QStringLiteral("expected %1 (%2)").arg(typeTag, expectedForm(typeTag));
        if (!detail.isEmpty()) {
            *error += QStringLiteral(": ") + detail;
        }
    }
    return converted;
}

QString DValueConverter::expectedForm(const QString& typeTag) {
    if (typeTag == QLatin1String("bool")) {
        return QStringLiteral("true or false");
    }
    if (typeTag == QLatin1String("uint")) {
        return QStringLiteral("a whole number from 0 to 4294967295");
    }
    if (typeTag == QLatin1String("int")) {
        return QStringLiteral("a whole number from -2147483648 to 2147483647");
    }
    if (typeTag == QLatin1String("strg")) {
        return QStringLiteral("text");
    }
    if (typeTag == QLatin1String("byAr")) {
        return QStringLiteral("bytes with C escapes such as \\r and \\x1b");
    }
    if (typeTag == QLatin1String("varM")) {
        return QStringLiteral("a JSON object");
    }
    return QStringLiteral("unknown type");
}

bool DValueConverter::toBool(const QString& text, QVariant* value) {
    if (text == QLatin1String("true") || text == QLatin1String("false")) {
        *value = text == QLatin1String("true");
        return true;
    }
    return false;
}

bool DValueConverter::toInteger(const QString& text, bool isSigned, QVariant* value) {
    // Plain decimal only: no blanks, no hex, no "+" for an unsigned value.
    static const QRegularExpression signedForm(QStringLiteral("^[+-]?[0-9]+$"));
    static const QRegularExpression unsignedForm(QStringLiteral("^[0-9]+$"));
    if (!(isSigned ? signedForm : unsignedForm).match(text).hasMatch()) {
        return false;
    }
    bool ok = false;
    const qlonglong number = text.toLongLong(&ok, 10);
    if (!ok) {
        return false;
    }
    if (isSigned) {
        if (number < std::numeric_limits<qint32>::min() ||
            number > std::numeric_limits<qint32>::max()) {
            return false;
        }
        *value = static_cast<int>(number);
    } else {
        if (number > std::numeric_limits<quint32>::max()) {
            return false;
        }
        *value = static_cast<uint>(number);
    }
    return true;
}

bool DValueConverter::toByteArray(const QString& text, QVariant* value, QString* detail) {
    QByteArray bytes;
    if (!DCEscape::unescape(text, &bytes, detail)) {
        return false;
    }
    *value = bytes;
    return true;
}

bool DValueConverter::toMap(const QString& text, QVariant* value, QString* detail) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *detail =
            QStringLiteral("%1 at offset %2").arg(parseError.errorString()).arg(parseError.offset);
        return false;
    }
    if (!document.isObject()) {
        *detail = QStringLiteral("not an object");
        return false;
    }
    *value = document.object().toVariantMap();
    return true;
}
