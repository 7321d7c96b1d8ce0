#pragma once

#include <QByteArray>
#include <QString>

// Bytes as text with C escapes, and back: how byte-array values are typed on
// the command line and shown in the output and the trace.
class DCEscape {
public:
    // Printable ASCII stays as it is; backslash, CR, LF and TAB become \\, \r,
    // \n and \t; every other byte becomes \xHH. unescape() reverses it exactly.
    static QString escape(const QByteArray& bytes);

    // Understands \r \n \t \\ \" \' \a \b \f \v \e, \xH or \xHH (one or two hex
    // digits) and \O, \OO or \OOO (octal, at most 0377). Other characters are
    // taken as their UTF-8 bytes. False, with the reason, for an unknown
    // escape, a lone backslash at the end, \x without a hex digit or an octal
    // value above 0377.
    static bool unescape(const QString& text, QByteArray* bytes, QString* error);

private:
    static int hexDigit(QChar c);
    static bool isOctalDigit(QChar c);
    static bool simpleEscape(QChar c, char* byte);
};
