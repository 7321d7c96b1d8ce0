#include "d_c_escape.h"

QString DCEscape::escape(const QByteArray& bytes) {
    static const char hex[] = "0123456789abcdef";
    QString text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
        case '\\':
            text += QLatin1String("\\\\");
            break;
        case '\r':
            text += QLatin1String("\\r");
            break;
        case '\n':
            text += QLatin1String("\\n");
            break;
        case '\t':
            text += QLatin1String("\\t");
            break;
        default:
            if (byte >= 0x20 && byte < 0x7f) {
                text += QChar(byte);
            } else {
                // Always two digits, so that a hex digit that follows stays a
                // character of its own.
                text += QLatin1String("\\x");
                text += QChar(hex[byte >> 4]);
                text += QChar(hex[byte & 0x0f]);
            }
        }
    }
    return text;
}

bool DCEscape::unescape(const QString& text, QByteArray* bytes, QString* error) {
    QByteArray result;
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) != QLatin1Char('\\')) {
            // Up to the next backslash, as UTF-8 (keeps surrogate pairs whole).
            int end = text.indexOf(QLatin1Char('\\'), i);
            if (end < 0) {
                end = text.size();
            }
            result += text.mid(i, end - i).toUtf8();
            i = end - 1;
            continue;
        }
        if (i + 1 >= text.size()) {
            *error = QStringLiteral("a lone backslash at the end");
            return false;
        }
        const QChar c = text.at(++i);
        char byte = 0;
        if (simpleEscape(c, &byte)) {
            result += byte;
        } else if (c == QLatin1Char('x')) {
            int value = 0;
            int digits = 0;
            while (digits < 2 && i + 1 < text.size() && hexDigit(text.at(i + 1)) >= 0) {
                value = value * 16 + hexDigit(text.at(++i));
                ++digits;
            }
            if (digits == 0) {
                *error = QStringLiteral("\\x without a hex digit");
                return false;
            }
            result += static_cast<char>(value);
        } else if (isOctalDigit(c)) {
            int value = c.digitValue();
            for (int digits = 1; digits < 3 && i + 1 < text.size() && isOctalDigit(text.at(i + 1));
                 ++digits) {
                value = value * 8 + text.at(++i).digitValue();
            }
            if (value > 0377) {
                *error = QStringLiteral("an octal escape above \\377");
                return false;
            }
            result += static_cast<char>(value);
        } else {
            *error = QStringLiteral("unknown escape \\%1").arg(c);
            return false;
        }
    }
    *bytes = result;
    return true;
}

int DCEscape::hexDigit(QChar c) {
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
        return c.unicode() - '0';
    }
    if (c >= QLatin1Char('a') && c <= QLatin1Char('f')) {
        return c.unicode() - 'a' + 10;
    }
    if (c >= QLatin1Char('A') && c <= QLatin1Char('F')) {
        return c.unicode() - 'A' + 10;
    }
    return -1;
}

bool DCEscape::isOctalDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('7');
}

bool DCEscape::simpleEscape(QChar c, char* byte) {
    static const struct {
        char name;
        char value;
    } escapes[] = {{'r', '\r'}, {'n', '\n'}, {'t', '\t'}, {'\\', '\\'}, {'"', '"'},   {'\'', '\''},
                   {'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'v', '\v'},  {'e', '\x1b'}};
    for (const auto& escape : escapes) {
        if (c == QLatin1Char(escape.name)) {
            *byte = escape.value;
            return true;
        }
    }
    return false;
}
