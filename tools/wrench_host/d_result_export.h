#pragma once

#include <QByteArray>
#include <QString>

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

    // A CSV field: quoted when it holds a comma, a quote or a line break.
    static QByteArray csvField(const QString& text);
};
