#include "d_tightening_record.h"

#include <QString>
#include <QVector>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr char separator = ',';

// What each "eventData" key holds: fields 1 to 8 in tenths of their unit,
// then the rest.
enum class Item {
    ConvertedTorque,
    SetpointTorque,
    TorqueTolPos,
    TorqueTolNeg,
    SnugTorqueAngle,
    SetpointAngle,
    AngleTolPos,
    AngleTolNeg,
    Timestamp,
    EventStatus,
    Mode,
    Method,
    TorqueUnit,
    EventCountNo,
    PresetNo,
};
constexpr int itemCount = int(Item::PresetNo) + 1;

QString keyOf(Item item) {
    static const QString keys[itemCount] = {
        QStringLiteral("convertedTorque"),
        QStringLiteral("setpointTorque"),
        QStringLiteral("torqueTolPos"),
        QStringLiteral("torqueTolNeg"),
        QStringLiteral("snugTorqueAngle"),
        QStringLiteral("setpointAngle"),
        QStringLiteral("angleTolPos"),
        QStringLiteral("angleTolNeg"),
        QStringLiteral("timestamp"),
        QStringLiteral("eventStatus"),
        QStringLiteral("mode"),
        QStringLiteral("method"),
        QStringLiteral("torqueUnit"),
        QStringLiteral("eventCountNo"),
        QStringLiteral("presetNo"),
    };
    return keys[int(item)];
}

// Every key of an "eventData" map, with null values, and the item of each in
// the map's (sorted) order. A map copied from it copies its tree node by node
// without comparing a key; its values are then set in that order, so no key
// is looked up or compared while a record is decoded.
struct EventShape {
    QVariantMap keys;
    QVector<Item> itemsInKeyOrder;

    explicit EventShape(bool withPreset) {
        const int count = withPreset ? itemCount : itemCount - 1;
        for (int item = 0; item < count; ++item) {
            keys.insert(keyOf(Item(item)), QVariant());
        }
        for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
            for (int item = 0; item < count; ++item) {
                if (keyOf(Item(item)) == it.key()) {
                    itemsInKeyOrder.append(Item(item));
                }
            }
        }
    }
};

const EventShape& eventShape(bool withPreset) {
    static const EventShape withoutPresetNo(false);
    static const EventShape withPresetNo(true);
    return withPreset ? withPresetNo : withoutPresetNo;
}

// A plain decimal integer: an optional '-' and 1 to maxDigits digits, nothing
// else. Such a field reads the same through the general conversions, which
// copy the field first; any other field is left to them.
bool readPlainInteger(const char* data, int size, int maxDigits, qint64* value) {
    const bool negative = size > 0 && data[0] == '-';
    const int digits = size - (negative ? 1 : 0);
    if (digits < 1 || digits > maxDigits) {
        return false;
    }
    qint64 magnitude = 0;
    for (const char* p = data + (negative ? 1 : 0); p < data + size; ++p) {
        if (*p < '0' || *p > '9') {
            return false;
        }
        magnitude = magnitude * 10 + (*p - '0');
    }
    *value = negative ? -magnitude : magnitude;
    return true;
}

} // namespace

bool DTighteningRecord::isRecordLine(const QByteArray& line) {
    return recordKey(std::string_view(line.constData(), size_t(line.size()))).has_value();
}

QByteArray DTighteningRecord::key(const QByteArray& line) {
    const std::optional<std::string_view> found =
        recordKey(std::string_view(line.constData(), size_t(line.size())));
    return found ? QByteArray(found->data(), int(found->size())) : QByteArray();
}

// memchr skips to the first separator, which most lines (short answers, text)
// do not have; after it a plain loop, as the fields are a few bytes each,
// shorter than a call to memchr is worth.
std::optional<std::string_view> DTighteningRecord::recordKey(std::string_view line) {
    const char* const end = line.data() + line.size();
    const auto* first = static_cast<const char*>(std::memchr(line.data(), separator, line.size()));
    if (!first) {
        return std::nullopt;
    }
    const char* keyBegin = nullptr;
    const char* keyEnd = nullptr;
    int commas = 0;
    for (const char* p = first; p < end; ++p) {
        if (*p != separator) {
            continue;
        }
        ++commas;
        if (commas == keyField) {
            keyBegin = p + 1;
        } else if (commas == keyField + 1) {
            keyEnd = p;
        }
        if (commas == fieldsRead - 1) {
            return std::string_view(keyBegin, size_t(keyEnd - keyBegin));
        }
    }
    return std::nullopt;
}

QVariantMap DTighteningRecord::eventData(const QByteArray& line, int eventCountNo,
                                         std::optional<int> presetNo) {
    const Fields fields = leadingFields(line);
    if (fields.count < fieldsRead) {
        return QVariantMap();
    }
    const EventShape& shape = eventShape(presetNo.has_value());
    QVariantMap data = shape.keys;
    int position = 0;
    for (auto it = data.begin(); it != data.end(); ++it, ++position) {
        it.value() = value(int(shape.itemsInKeyOrder.at(position)), fields, eventCountNo, presetNo);
    }
    return data;
}

QVariant DTighteningRecord::value(int item, const Fields& fields, int eventCountNo,
                                  std::optional<int> presetNo) {
    switch (Item(item)) {
    case Item::Timestamp:
        return integer(fields.at[keyField]);
    case Item::EventStatus:
        return text(fields.at[11]).toUpper();
    case Item::Mode:
        return text(fields.at[12]);
    case Item::Method:
        return text(fields.at[13]);
    case Item::TorqueUnit:
        return text(fields.at[14]).toLower();
    case Item::EventCountNo:
        return eventCountNo;
    case Item::PresetNo:
        return presetNo.value_or(0);
    default:
        // The tenths items are fields 1 to 8, in field order.
        return tenths(fields.at[1 + item]);
    }
}

DTighteningRecord::Fields DTighteningRecord::leadingFields(const QByteArray& line) {
    Fields fields;
    const char* start = line.constData();
    const char* const end = start + line.size();
    while (fields.count < fieldsRead - 1) {
        const auto* comma =
            static_cast<const char*>(std::memchr(start, separator, size_t(end - start)));
        if (!comma) {
            break;
        }
        fields.at[fields.count++] = {start, int(comma - start)};
        start = comma + 1;
    }
    const char* fieldEnd = end;
    if (fields.count == fieldsRead - 1) {
        const auto* comma =
            static_cast<const char*>(std::memchr(start, separator, size_t(end - start)));
        fieldEnd = comma ? comma : end;
    }
    fields.at[fields.count++] = {start, int(fieldEnd - start)};
    return fields;
}

// "nan", "inf" and numbers out of the double range read as not a number: the
// host must never be handed a torque that is not finite.
double DTighteningRecord::tenths(Field field) {
    // Up to 15 digits an integer is exact as a double, as the conversion reads it.
    qint64 plain = 0;
    if (readPlainInteger(field.data, field.size, 15, &plain)) {
        const double value = plain == 0 && field.data[0] == '-' ? -0.0 : double(plain);
        return value / 10.0;
    }
    bool ok = false;
    const double value = QByteArray(field.data, field.size).toDouble(&ok);
    return ok && std::isfinite(value) ? value / 10.0 : 0.0;
}

int DTighteningRecord::integer(Field field) {
    // Up to 18 digits the integer fits 64 bits; one outside the int range reads
    // as 0, as the conversion answers it.
    qint64 plain = 0;
    if (readPlainInteger(field.data, field.size, 18, &plain)) {
        return plain >= std::numeric_limits<int>::min() && plain <= std::numeric_limits<int>::max()
                   ? int(plain)
                   : 0;
    }
    return QByteArray(field.data, field.size).toInt(nullptr, 10);
}

// Up to the first NUL, as a text read from a byte array is.
QString DTighteningRecord::text(Field field) {
    return QString::fromUtf8(field.data, int(qstrnlen(field.data, uint(field.size))));
}
