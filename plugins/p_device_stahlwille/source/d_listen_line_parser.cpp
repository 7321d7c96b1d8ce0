#include "d_listen_line_parser.h"

#include <QRegularExpression>
#include <QString>
#include <QtDebug>

#include <cstring>

namespace {

constexpr int shortestLine = 5;

// Compiled once, on first use, and shared by every line after.
const QRegularExpression& resultLine() {
    static const QRegularExpression expression(QStringLiteral(
        R"(^(\d{4})\s+([+-]?\d+\.\d+)\s+([A-Za-z\.]+)\s*([=<>])\s*([+-]?\d+\.\d+)?\s+(\d{2}:\d{2})\s+(\d{2}[a-zA-Z]{3}\d{2})$)"));
    return expression;
}

QString textUpToNul(const QByteArray& frame) {
    const void* nul = std::memchr(frame.constData(), '\0', size_t(frame.size()));
    const int length = nul ? int(static_cast<const char*>(nul) - frame.constData()) : frame.size();
    return QString::fromUtf8(frame.constData(), length);
}

} // namespace

QVariantMap DListenLineParser::parse(const QByteArray& frame) {
    QVariantMap fields;
    if (frame.size() < shortestLine) {
        return fields;
    }
    const QRegularExpressionMatch match = resultLine().match(textUpToNul(frame));
    if (!match.hasMatch()) {
        qDebug("No match found.");
        return fields;
    }
    const QString torque = QString::number(match.captured(2).toDouble(), 'g', 6);
    fields.insert(QStringLiteral("Event number"), match.captured(1));
    fields.insert(QStringLiteral("Torque"), torque + ' ' + match.captured(3));
    fields.insert(QStringLiteral("Sign"), match.captured(4));
    fields.insert(QStringLiteral("Execution time"), match.captured(5) + 's');
    fields.insert(QStringLiteral("Internal date/time"),
                  match.captured(7) + ' ' + match.captured(6));
    return fields;
}
