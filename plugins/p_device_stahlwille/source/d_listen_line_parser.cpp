#include "d_listen_line_parser.h"

#include <QRegularExpression>
#include <QString>
#include <QtDebug>

#include <cstring>

namespace {

constexpr int shortestLine = 5;

// Compiled once, on first use, and shared by every line after.
const QRegularExpression& resultLine() {
    static const QRegularExpression expression(
        R"(^(\d{4})\s+([+-]?\d+\.\d+)\s+([A-Za-z\.]+)\s*([=<>])\s*([+-]?\d+\.\d+)?\s+(\d{2}:\d{2})\s+(\d{2}[a-zA-Z]{3}\d{2})$)");
    return expression;
}

QString textUpToNul(const QByteArray& frame) {
    const void* nul = std::memchr(frame.constData(), '\0', size_t(frame.size()));
    const int length = nul ? int(static_cast<const char*>(nul) - frame.constData()) : frame.size();
    return QString::fromUtf8(frame.constData(), length);
}

// first, separator and last in one new string.
QString joined(const QStringRef& first, QLatin1Char separator, const QStringRef& last) {
    QString text;
    text += first;
    text += separator;
    text += last;
    return text;
}

// The torque's value written with 6 significant digits, and its unit, as the
// panel shows them.
QString torqueText(const QStringRef& number, const QStringRef& unit) {
    QString text = QString::number(number.toDouble(), 'g', 6);
    text += QLatin1Char(' ');
    text += unit;
    return text;
}

// The sign is one of three texts; they are shared instead of copied out.
QString signText(const QStringRef& sign) {
    static const QString equal("=");
    static const QString below("<");
    static const QString above(">");
    return sign == equal ? equal : sign == below ? below : above;
}

// The five keys, with null values. A map copied from it copies its nodes
// without comparing a key.
const QVariantMap& fieldKeys() {
    static const QVariantMap keys = {
        {"Event number", QVariant()},
        {"Execution time", QVariant()},
        {"Internal date/time", QVariant()},
        {"Sign", QVariant()},
        {"Torque", QVariant()},
    };
    return keys;
}

} // namespace

QVariantMap DListenLineParser::parse(const QByteArray& frame) {
    if (frame.size() < shortestLine) {
        return QVariantMap();
    }
    const QString line = textUpToNul(frame);
    const QRegularExpressionMatch match = resultLine().match(line);
    if (!match.hasMatch()) {
        qDebug("No match found.");
        return QVariantMap();
    }
    QVariantMap fields = fieldKeys();
    // begin() copies the keys' nodes; the values are then set in key order.
    auto field = fields.begin();
    field++.value() = match.captured(1);
    field++.value() = joined(match.capturedRef(5), QLatin1Char('s'), QStringRef());
    field++.value() = joined(match.capturedRef(7), QLatin1Char(' '), match.capturedRef(6));
    field++.value() = signText(match.capturedRef(4));
    field.value() = torqueText(match.capturedRef(2), match.capturedRef(3));
    return fields;
}
