#pragma once

#include <QByteArray>
#include <QList>
#include <QVariantMap>

// The inputs the benchmarks feed: lines as the wrench sends them, and presets
// as the host configures them. Made from a fixed seed, so every run measures
// the same bytes.
class DBenchSamples {
public:
    // A saved tightening as "GDS" answers it; the timestamp (field 10) is
    // firstTimestamp + number.
    static QByteArray recordLine(int number);
    static constexpr qint64 firstTimestamp = 1709634120;
    // A printed result line, as the maintenance panel shows it.
    static QList<QByteArray> resultLines();
    static QList<QVariantMap> presets();

    // About totalBytes of lines of 20 to 120 bytes, ended by CR (now and then
    // CR LF): printable text without commas, and copies of recordLine(1) with
    // trailing fields, the way a wrench repeats a record already seen.
    static QByteArray lineStream(int totalBytes, quint32 seed);
    // bytes cut into chunks of chunkBytes (the last one may be shorter).
    static QList<QByteArray> chunks(const QByteArray& bytes, int chunkBytes);
};
