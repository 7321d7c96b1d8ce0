#pragma once

#include <QString>

// The faults a simulated wrench can play, any number of them together.
struct DSimFaults {
    bool silent = false;  // never answers
    bool refuse = false;  // answers "?" to everything
    bool split = false;   // delivers its output in random small chunks
    bool crlf = false;    // ends lines with CR LF instead of CR
    bool garbage = false; // interleaves lines of noise
    bool repeat = false;  // answers each "GDS" twice
    bool flood = false;   // once, 50 MB without any line end, then behaves

    // A comma-separated list of the names above ("split,crlf"); an empty
    // list is no fault. False, with the unknown name in error, otherwise.
    static bool fromList(const QString& list, DSimFaults* faults, QString* error);
    QString toList() const;
};
