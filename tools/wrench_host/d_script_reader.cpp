#include "d_script_reader.h"

#include <QFile>

bool DScriptReader::readFile(const QString& path, QList<Line>* lines, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the script %1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray bytes = file.readAll();
    // A NUL would end the text there, and every line after it unread.
    const int nul = bytes.indexOf('\0');
    if (nul >= 0) {
        *error = QStringLiteral("line %1: a NUL byte, which no script line may hold")
                     .arg(bytes.left(nul).count('\n') + 1);
        return false;
    }
    return readText(QString::fromUtf8(bytes.constData(), bytes.size()), lines, error);
}

bool DScriptReader::readText(const QString& text, QList<Line>* lines, QString* error) {
    QList<Line> read;
    const QStringList rows = text.split(QLatin1Char('\n'));
    for (int i = 0; i < rows.size(); ++i) {
        Line line;
        line.number = i + 1;
        if (!splitLine(rows.at(i), &line.words)) {
            *error = QStringLiteral("line %1: a quote is not closed").arg(line.number);
            return false;
        }
        if (!line.words.isEmpty()) {
            read.append(line);
        }
    }
    *lines = read;
    return true;
}

bool DScriptReader::splitLine(const QString& line, QStringList* words) {
    QStringList found;
    QString word;
    bool inWord = false;
    QChar quote; // the open quote, or null
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quote == QLatin1Char('\'')) {
            if (c == quote) {
                quote = QChar();
            } else {
                word += c;
            }
        } else if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            word += c;
            word += line.at(++i);
            inWord = true;
        } else if (quote == QLatin1Char('"')) {
            // Only its own kind closes it: "O'Brien" is one word.
            if (c == quote) {
                quote = QChar();
            } else {
                word += c;
            }
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
            inWord = true;
        } else if (c == QLatin1Char('#')) {
            break;
        } else if (c.isSpace()) {
            if (inWord) {
                found.append(word);
                word.clear();
                inWord = false;
            }
        } else {
            word += c;
            inWord = true;
        }
    }
    if (!quote.isNull()) {
        return false;
    }
    if (inWord) {
        found.append(word);
    }
    *words = found;
    return true;
}
