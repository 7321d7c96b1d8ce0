#pragma once

#include <QDateTime>
#include <QString>

// The host's two clocks: the time since the program started, which the trace
// and the line messages carry so that they can be read side by side, and the
// wall-clock time at which a result was received.
class DHostClock {
public:
    // Starts the program's clock; later calls change nothing.
    static void start();
    static qint64 elapsedMs();
    // "(    12.345)": seconds since the start, as candump -t shows them.
    static QString stamp();
    static QString stamp(qint64 elapsedMs);
    // The time, as local time with milliseconds and the UTC offset (ISO 8601).
    static QString receiveTime(const QDateTime& time);
};
