#include "d_host_clock.h"

#include <QDateTime>
#include <QElapsedTimer>

namespace {

QElapsedTimer& programClock() {
    static QElapsedTimer clock;
    return clock;
}

} // namespace

void DHostClock::start() {
    if (!programClock().isValid()) {
        programClock().start();
    }
}

qint64 DHostClock::elapsedMs() {
    start();
    return programClock().elapsed();
}

QString DHostClock::stamp() {
    return stamp(elapsedMs());
}

QString DHostClock::stamp(qint64 elapsedMs) {
    return QStringLiteral("(%1.%2)")
        .arg(elapsedMs / 1000, 6)
        .arg(elapsedMs % 1000, 3, 10, QLatin1Char('0'));
}

QString DHostClock::receiveTime(const QDateTime& time) {
    // As an offset from UTC, so that the text carries it.
    const QDateTime local = time.toLocalTime();
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs);
}
