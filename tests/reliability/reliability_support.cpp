#include "reliability_support.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <QtGlobal>

int countFromEnvironment(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

void keepTimerShort(QTimer* timer, int intervalMs) {
    auto* watch = new QTimer(timer);
    QObject::connect(watch, &QTimer::timeout, timer, [timer, intervalMs] {
        if (timer->isActive() && timer->interval() != intervalMs) {
            timer->start(intervalMs);
        }
    });
    watch->start(1);
}

bool runUntil(const std::function<bool()>& done, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    bool reached = done();
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        reached = done();
        if (reached || deadline.hasExpired()) {
            loop.quit();
        }
    });
    check.start(1);
    if (!reached) {
        loop.exec();
    }
    return reached;
}
