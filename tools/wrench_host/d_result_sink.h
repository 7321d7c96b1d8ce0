#pragma once

#include <QDateTime>
#include <QString>
#include <QVariantMap>

// Where the host hands each tightening result it received, before it prints
// it: the local store, or the store that forwards to a broker. The plug-in
// knows nothing of it.
class DResultSink {
public:
    struct Result {
        QString serialId;
        QDateTime receivedAt; // UTC
        QVariantMap eventData;
        // The first result of a listen: the wrench may deliver again the
        // record that an earlier listen kept but could not clear. Within a
        // listen the plug-in drops such repeats itself, and a record that
        // merely looks the same (a coarse clock, equal values) is another
        // tightening that must be kept.
        bool mayBeRepeat = false;
    };

    // Kept: stored for good as row. Repeat: a result that may be one was
    // kept last for its serial ID, as row; it is not kept again, and the
    // wrench may forget it.
    // Failed: not kept, message says why.
    struct Taken {
        enum class Outcome { Kept, Repeat, Failed };
        Outcome outcome = Outcome::Failed;
        qint64 row = 0;
        QString message;

        bool isKept() const { return outcome != Outcome::Failed; }
    };

    virtual ~DResultSink() = default;

    virtual Taken takeResult(const Result& result) = 0;
};
