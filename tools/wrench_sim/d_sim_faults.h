#pragma once

#include <QString>

// The faults a simulated wrench can play, any number of them together.
struct DSimFaults {
    bool silent = false;    // never answers
    bool refuse = false;    // answers "?" to everything
    bool split = false;     // delivers its output in random small chunks
    bool crlf = false;      // ends lines with CR LF instead of CR
    bool garbage = false;   // interleaves lines of noise
    bool repeat = false;    // answers each "GDS" twice
    bool flood = false;     // once, 50 MB without any line end, then behaves
    bool sametime = false;  // a clock that stands still: every record has one timestamp
    bool delivered = false; // starts with a record its last "GDS" delivered to nobody
    bool foreign = false;   // a line of another wrench's, shaped like a record, before each record
    bool damaged = false;   // each record's first "GDS" answer has one byte damaged on the wire
    // The first refuseClear "CLR"s that would remove a record are answered
    // "?"; refuseClearAlways refuses every one.
    int refuseClear = 0;
    static constexpr int refuseClearAlways = -1;

    // A comma-separated list of the names above ("split,crlf"), with
    // "refuseclear=N" (N from 1) or "refuseclear" (always); an empty list is
    // no fault. False, with the unknown item in error, otherwise.
    static bool fromList(const QString& list, DSimFaults* faults, QString* error);
    QString toList() const;
};
