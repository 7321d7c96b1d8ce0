#include "d_tightening_record.h"

#include <QList>
#include <QString>

#include <cmath>

namespace {

constexpr char separator = ',';

struct NumberField {
    int index;
    const char* key;
};

// Fields sent in tenths of their unit.
constexpr NumberField tenthsFields[] = {
    {1, "convertedTorque"}, {2, "setpointTorque"}, {3, "torqueTolPos"}, {4, "torqueTolNeg"},
    {5, "snugTorqueAngle"}, {6, "setpointAngle"},  {7, "angleTolPos"},  {8, "angleTolNeg"},
};

} // namespace

bool DTighteningRecord::isRecordLine(const QByteArray& line) {
    return line.count(separator) >= fieldsRead - 1;
}

QByteArray DTighteningRecord::key(const QByteArray& line) {
    const QList<QByteArray> fields = leadingFields(line);
    return fields.size() == fieldsRead ? fields.at(keyField) : QByteArray();
}

QVariantMap DTighteningRecord::eventData(const QByteArray& line, int eventCountNo,
                                         std::optional<int> presetNo) {
    const QList<QByteArray> fields = leadingFields(line);
    if (fields.size() < fieldsRead) {
        return QVariantMap();
    }
    QVariantMap data;
    for (const NumberField& number : tenthsFields) {
        data.insert(number.key, tenths(fields.at(number.index)));
    }
    data.insert("timestamp", integer(fields.at(keyField)));
    data.insert("eventStatus", QString::fromUtf8(fields.at(11)).toUpper());
    data.insert("mode", QString::fromUtf8(fields.at(12)));
    data.insert("method", QString::fromUtf8(fields.at(13)));
    data.insert("torqueUnit", QString::fromUtf8(fields.at(14)).toLower());
    data.insert("eventCountNo", eventCountNo);
    if (presetNo) {
        data.insert("presetNo", *presetNo);
    }
    return data;
}

QList<QByteArray> DTighteningRecord::leadingFields(const QByteArray& line) {
    QList<QByteArray> fields;
    int start = 0;
    while (fields.size() < fieldsRead - 1) {
        const int comma = line.indexOf(separator, start);
        if (comma < 0) {
            break;
        }
        fields.append(line.mid(start, comma - start));
        start = comma + 1;
    }
    const int end = fields.size() == fieldsRead - 1 ? line.indexOf(separator, start) : -1;
    fields.append(end < 0 ? line.mid(start) : line.mid(start, end - start));
    return fields;
}

// "nan", "inf" and numbers out of the double range read as not a number: the
// host must never be handed a torque that is not finite.
double DTighteningRecord::tenths(const QByteArray& field) {
    bool ok = false;
    const double value = field.toDouble(&ok);
    return ok && std::isfinite(value) ? value / 10.0 : 0.0;
}

int DTighteningRecord::integer(const QByteArray& field) {
    return field.toInt(nullptr, 10);
}
