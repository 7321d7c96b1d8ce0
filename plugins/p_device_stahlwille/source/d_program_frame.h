#pragma once

#include <QByteArray>
#include <QVariantMap>

#include <optional>

// Turns a tightening preset into the frame that loads it into the wrench as its
// program: "SAT" or "STA" (torque and angle, angle or torque first), "SEA"
// (angle only) or "SET" (torque only). Torques travel in thousandths of a
// newton-metre and angles in tenths of a degree, as zero-filled integers that
// are never cut.
class DProgramFrame {
public:
    // The serial prefix followed by the frame and its CR. Nothing when the preset
    // has neither a positive angle nor a positive target torque, or when one of
    // its angle, torques or tolerances is not a finite number or does not fit a
    // 64-bit integer once scaled.
    static std::optional<QByteArray> fromPreset(const QVariantMap& preset,
                                                const QByteArray& serialPrefix);

private:
    // value × scale rounded to the nearest integer, an exact half towards
    // positive infinity.
    static std::optional<qint64> scaled(double value, int scale);
    // Decimal digits left-filled with '0' to width characters; a minus sign
    // counts toward the width.
    static QByteArray field(qint64 value, int width);
    // ",+" tolerance ",-" tolerance, or nothing for a tolerance that is not > 0.
    static QByteArray toleranceSuffix(double tolerance, qint64 scaledTolerance, int width);
};
