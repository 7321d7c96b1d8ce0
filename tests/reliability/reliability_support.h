#pragma once

#include <QByteArray>

#include <functional>

class QTimer;

// A count from the environment (a positive integer), else fallback: the long
// runs and the runs under valgrind set their own.
int countFromEnvironment(const char* name, int fallback);

// Keeps a timer that its owner restarts with its usual interval running with
// intervalMs instead, whenever it is running.
void keepTimerShort(QTimer* timer, int intervalMs);

// Runs the event loop until done() holds, or timeoutMs have passed; answers
// whether done() held when it stopped. Unlike QTRY_VERIFY, which sleeps between its rounds of
// events, the loop never idles while something is to be done, so a long run is not paced by the
// waiting.
bool runUntil(const std::function<bool()>& done, int timeoutMs);
