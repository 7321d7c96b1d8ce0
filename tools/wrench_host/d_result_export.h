#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

class DResultStore;

// The stored results on stdout, oldest first: one JSON object a line (the
// broker's payload with "sentAt" beside it), or CSV with a header line and
// one column per stored field, for a spreadsheet.
class DResultExport {
public:
    enum class Format { JsonLines, Csv };

    // since: UTC in the store's form; empty: every result. False, with the
    // reason, when the store cannot be read.
    static bool write(const DResultStore& store, Format format, const QString& since,
                      QString* error);

    // A CSV cell: a number as it is; a text quoted when it holds a comma, a
    // quote or a line break, and after a leading ' when a spreadsheet would
    // take it for a formula.
    static QByteArray csvCell(const QVariant& value);
};
