#include "d_tightening_record.h"

#include <QList>
#include <QString>

#include <cmath>

namespace {

constexpr char separator = ',';

// Fields 1 to 8, in tenths of their unit, in field order.
const char* const tenthsKeys[] = {"convertedTorque", "setpointTorque",  "torqueTolPos",
                                  "torqueTolNeg",    "snugTorqueAngle", "setpointAngle",
                                  "angleTolPos",     "angleTolNeg"};

} // namespace

bool DTighteningRecord::isRecordLine(const QByteArray& line) {
    return line.count(separator) >= fieldsRead - 1;
}

bool DTighteningRecord::isIntact(const QByteArray& line) {
    if (!isRecordLine(line) || line.contains('\0')) {
        return false;
    }
    const QList<QByteArray> fields = line.split(separator);
    bool ok = false;
    fields.at(keyField).toInt(&ok, 10);
    if (!ok) {
        return false;
    }
    for (int field = 1; field <= 8; ++field) {
        if (!isNumberOrEmpty(fields.at(field))) {
            return false;
        }
    }
    return true;
}

QVariantMap DTighteningRecord::eventData(const QByteArray& line, int eventCountNo,
                                         std::optional<int> presetNo) {
    const QList<QByteArray> fields = line.split(separator);
    if (fields.size() < fieldsRead) {
        return QVariantMap();
    }
    QVariantMap data;
    for (int field = 1; field <= 8; ++field) {
        data.insert(tenthsKeys[field - 1], tenths(fields.at(field)));
    }
    data.insert("timestamp", fields.at(keyField).toInt(nullptr, 10));
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

bool DTighteningRecord::isNumberOrEmpty(const QByteArray& field) {
    if (field.trimmed().isEmpty()) {
        return true;
    }
    bool ok = false;
    const double value = field.toDouble(&ok);
    return ok && std::isfinite(value);
}

// "nan", "inf" and numbers out of the double range read as not a number: the
// host must never be handed a torque that is not finite.
double DTighteningRecord::tenths(const QByteArray& field) {
    bool ok = false;
    const double value = field.toDouble(&ok);
    return ok && std::isfinite(value) ? value / 10.0 : 0.0;
}
