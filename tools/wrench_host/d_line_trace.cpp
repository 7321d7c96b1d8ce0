#include "d_line_trace.h"

#include "d_c_escape.h"
#include "d_host_clock.h"
#include "d_host_console.h"

#include <p_driver_serial.h>

DLineTrace::DLineTrace(PDriverSerial* driver, QObject* parent)
    : QObject(parent) {
    connect(driver, &PDriverSerial::sigBytesWritten, this,
            [](const QByteArray& frame) { DHostConsole::raw(written(frame)); });
    connect(driver, &PDriverSerial::sigBytesRead, this,
            [](const QByteArray& chunk) { DHostConsole::raw(read(chunk)); });
}

QString DLineTrace::written(const QByteArray& frame) {
    return DHostClock::stamp() + QStringLiteral(" > ") + DCEscape::escape(frame);
}

QString DLineTrace::read(const QByteArray& chunk) {
    return DHostClock::stamp() + QStringLiteral(" < ") + DCEscape::escape(chunk);
}
