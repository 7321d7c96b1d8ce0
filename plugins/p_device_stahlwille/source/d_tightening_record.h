#pragma once

#include <QByteArray>
#include <QVariantMap>

#include <optional>

// The wrench's saved tightening, as it answers the "GDS" poll: one line of
// comma-separated ASCII fields, numbered from 0, with no quoting. Fields 1 to 14
// are read; anything after field 14 is ignored.
//
// Pure functions of the line, so that the decoding can be exercised on its own.
class DTighteningRecord {
public:
    // Fields 0 to 14 must be there.
    static constexpr int fieldsRead = 15;
    // The timestamp field, which also tells one record from the next.
    static constexpr int keyField = 10;

    // At least 14 commas.
    static bool isRecordLine(const QByteArray& line);
    // The raw bytes of the timestamp field; empty for a line that is not a record.
    static QByteArray key(const QByteArray& line);
    // The "eventData" map: the 13 fields read, "eventCountNo", and "presetNo"
    // when one is given. Empty for a line that is not a record.
    static QVariantMap eventData(const QByteArray& line, int eventCountNo,
                                 std::optional<int> presetNo);

private:
    static double tenths(const QByteArray& field);
};
