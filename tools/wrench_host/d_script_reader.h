#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The lines of a script, cut into words as a shell would, almost. "#"
// outside quotes starts a comment; blank lines and comment lines are skipped.
// Quotes group words with blanks and are removed: inside single quotes every
// character is taken as it is (for JSON); elsewhere a backslash and the
// character after it are both kept, for the value's own C escapes, so \"
// does not end a double-quoted part.
class DScriptReader {
public:
    struct Line {
        int number = 0;
        QStringList words;
    };

    // False, with the reason (and line number), when the file cannot be read
    // a line has a quote that is not closed, or the file holds a NUL byte.
    static bool readFile(const QString& path, QList<Line>* lines, QString* error);
    static bool readText(const QString& text, QList<Line>* lines, QString* error);

    // The words of one line; false for a quote that is not closed.
    static bool splitLine(const QString& line, QStringList* words);
};
