#pragma once

#include <QByteArray>
#include <QVariantMap>

#include <optional>
#include <string_view>

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
    // The timestamp field's bytes inside the line, found in one pass; none for
    // a line that is not a record.
    static std::optional<std::string_view> recordKey(std::string_view line);
    // The "eventData" map: the 13 fields read, "eventCountNo", and "presetNo"
    // when one is given. Empty for a line that is not a record.
    static QVariantMap eventData(const QByteArray& line, int eventCountNo,
                                 std::optional<int> presetNo);

private:
    // A field's bytes, inside the line it was read from.
    struct Field {
        const char* data = nullptr;
        int size = 0;
    };
    struct Fields {
        Field at[fieldsRead];
        int count = 0;
    };

    // At most fieldsRead fields; fewer when the line has fewer.
    static Fields leadingFields(const QByteArray& line);
    static double tenths(Field field);
    static int integer(Field field);
    static QString text(Field field);
    // The value of one "eventData" item (see the .cpp), decoded from fields.
    static QVariant value(int item, const Fields& fields, int eventCountNo,
                          std::optional<int> presetNo);
};
