#pragma once

#include <QByteArray>
#include <QVariantMap>

// Splits the wrench's printed result line ("0042 12.50 Nm = 1.25 10:42 05Mar24":
// event number, torque and unit, sign, optional execution time, time of day,
// date) into the five texts that the maintenance panel shows.
//
// A frame of 4 bytes or fewer yields an empty map without a word; a line that
// does not fit yields an empty map and the debug message "No match found.".
// The frame is read as UTF-8 up to its first NUL byte and must hold the line
// and nothing else.
class DListenLineParser {
public:
    static QVariantMap parse(const QByteArray& frame);
};
