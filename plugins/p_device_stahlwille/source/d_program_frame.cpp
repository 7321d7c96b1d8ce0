#include "d_program_frame.h"

#include <QString>

#include <cmath>

namespace {

constexpr int torqueScale = 1000;
constexpr int torqueWidth = 7;
constexpr int angleScale = 10;
constexpr int angleWidth = 4;

// 2^63: the first value that no longer fits a signed 64-bit integer.
constexpr double int64Limit = 9223372036854775808.0;

double numberAt(const QVariantMap& preset, const char* key) {
    return preset.value(key).toDouble();
}

} // namespace

std::optional<QByteArray> DProgramFrame::fromPreset(const QVariantMap& preset,
                                                    const QByteArray& serialPrefix) {
    const double angle = numberAt(preset, "angle");
    const double targetTorque = numberAt(preset, "targetTorque");
    const double startTorque = numberAt(preset, "startTorque");
    const double angleTol = numberAt(preset, "angleTol");
    const double torqueTol = numberAt(preset, "torqueTol");
    const bool angleFirst = preset.value("priority").toString().toLower() == "angle";

    const auto target = scaled(targetTorque, torqueScale);
    const auto start = scaled(startTorque, torqueScale);
    const auto angleTenths = scaled(angle, angleScale);
    const auto torqueTolerance = scaled(torqueTol, torqueScale);
    const auto angleTolerance = scaled(angleTol, angleScale);
    if (!target || !start || !angleTenths || !torqueTolerance || !angleTolerance) {
        return std::nullopt;
    }

    const QByteArray t = field(*target, torqueWidth);
    const QByteArray s = field(startTorque > 0 ? *start : *target, torqueWidth);
    const QByteArray a = field(*angleTenths, angleWidth);
    const QByteArray tt = toleranceSuffix(torqueTol, *torqueTolerance, torqueWidth);
    const QByteArray at = toleranceSuffix(angleTol, *angleTolerance, angleWidth);

    QByteArray frame;
    if (angle > 0 && targetTorque > 0) {
        frame = angleFirst ? "SAT," + s + ',' + a + at + ',' + t + tt
                           : "STA," + t + tt + ',' + s + ',' + a + at;
    } else if (angle > 0) {
        frame = "SEA," + s + ',' + a + at;
    } else if (targetTorque > 0) {
        frame = "SET," + t + tt;
    } else {
        return std::nullopt;
    }
    return serialPrefix + frame + '\r';
}

std::optional<qint64> DProgramFrame::scaled(double value, int scale) {
    const double rounded = std::floor(value * scale + 0.5);
    // Also false for NaN: a value that is not a number never reaches the cast.
    if (!(rounded >= -int64Limit && rounded < int64Limit)) {
        return std::nullopt;
    }
    return static_cast<qint64>(rounded);
}

QByteArray DProgramFrame::field(qint64 value, int width) {
    return QString("%1").arg(value, width, 10, QLatin1Char('0')).toLatin1();
}

QByteArray DProgramFrame::toleranceSuffix(double tolerance, qint64 scaledTolerance, int width) {
    if (!(tolerance > 0)) {
        return QByteArray();
    }
    const QByteArray digits = field(scaledTolerance, width);
    return ",+" + digits + ",-" + digits;
}
