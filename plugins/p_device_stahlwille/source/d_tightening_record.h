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
    // The timestamp field, the record's identity.
    static constexpr int keyField = 10;

    // At least 14 commas.
    static bool isRecordLine(const QByteArray& line);
    // A record line as the wrench sends it: no NUL byte, a decimal integer
    // timestamp, and fields 1 to 8 numbers or empty. Anything else is a
    // damaged or foreign line, whose fields would read as zeros.
    static bool isIntact(const QByteArray& line);
    // The "eventData" map: the 13 fields read, "eventCountNo", and "presetNo"
    // when one is given. Empty for a line that is not a record.
    static QVariantMap eventData(const QByteArray& line, int eventCountNo,
                                 std::optional<int> presetNo);

private:
    static bool isNumberOrEmpty(const QByteArray& field);
    static double tenths(const QByteArray& field);
};
