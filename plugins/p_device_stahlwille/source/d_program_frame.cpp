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

double numberAt(const QVariantMap& preset, const QString& key) {
    return preset.value(key).toDouble();
}

// The frame is built in one buffer, reserved once: presets with values of a
// wrench's range make frames well under this length after the serial prefix.
constexpr int usualFrameLength = 64;

} // namespace

std::optional<QByteArray> DProgramFrame::fromPreset(const QVariantMap& preset,
                                                    const QByteArray& serialPrefix) {
    const double angle = numberAt(preset, QStringLiteral("angle"));
    const double targetTorque = numberAt(preset, QStringLiteral("targetTorque"));
    const double startTorque = numberAt(preset, QStringLiteral("startTorque"));
    const double angleTol = numberAt(preset, QStringLiteral("angleTol"));
    const double torqueTol = numberAt(preset, QStringLiteral("torqueTol"));
    const bool angleFirst =
        preset.value(QStringLiteral("priority")).toString().toLower() == QLatin1String("angle");

    const auto target = scaled(targetTorque, torqueScale);
    const auto start = scaled(startTorque, torqueScale);
    const auto angleTenths = scaled(angle, angleScale);
    const auto torqueTolerance = scaled(torqueTol, torqueScale);
    const auto angleTolerance = scaled(angleTol, angleScale);
    if (!target || !start || !angleTenths || !torqueTolerance || !angleTolerance) {
        return std::nullopt;
    }
    const qint64 startOrTarget = startTorque > 0 ? *start : *target;

    QByteArray frame;
    frame.reserve(serialPrefix.size() + usualFrameLength);
    frame += serialPrefix;
    const auto appendTorque = [&] {
        appendField(frame, *target, torqueWidth);
        appendToleranceSuffix(frame, torqueTol, *torqueTolerance, torqueWidth);
    };
    const auto appendAngle = [&] {
        appendField(frame, *angleTenths, angleWidth);
        appendToleranceSuffix(frame, angleTol, *angleTolerance, angleWidth);
    };
    const auto appendStart = [&] {
        appendField(frame, startOrTarget, torqueWidth);
    };

    if (angle > 0 && targetTorque > 0 && angleFirst) {
        frame += "SAT,";
        appendStart();
        frame += ',';
        appendAngle();
        frame += ',';
        appendTorque();
    } else if (angle > 0 && targetTorque > 0) {
        frame += "STA,";
        appendTorque();
        frame += ',';
        appendStart();
        frame += ',';
        appendAngle();
    } else if (angle > 0) {
        frame += "SEA,";
        appendStart();
        frame += ',';
        appendAngle();
    } else if (targetTorque > 0) {
        frame += "SET,";
        appendTorque();
    } else {
        return std::nullopt;
    }
    frame += '\r';
    return frame;
}

std::optional<qint64> DProgramFrame::scaled(double value, int scale) {
    const double rounded = std::floor(value * scale + 0.5);
    // Also false for NaN: a value that is not a number never reaches the cast.
    if (!(rounded >= -int64Limit && rounded < int64Limit)) {
        return std::nullopt;
    }
    return static_cast<qint64>(rounded);
}

void DProgramFrame::appendField(QByteArray& frame, qint64 value, int width) {
    // Digits are written backwards into a buffer wide enough for any int64.
    char digits[24];
    char* const end = digits + sizeof digits;
    char* first = end;
    quint64 magnitude = value < 0 ? 0 - static_cast<quint64>(value) : static_cast<quint64>(value);
    do {
        *--first = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    const int digitCount = int(end - first);
    int zeros = width - digitCount;
    if (value < 0) {
        frame += '-';
        --zeros;
    }
    for (; zeros > 0; --zeros) {
        frame += '0';
    }
    frame.append(first, digitCount);
}

void DProgramFrame::appendToleranceSuffix(QByteArray& frame, double tolerance,
                                          qint64 scaledTolerance, int width) {
    if (!(tolerance > 0)) {
        return;
    }
    frame += ",+";
    appendField(frame, scaledTolerance, width);
    frame += ",-";
    appendField(frame, scaledTolerance, width);
}
