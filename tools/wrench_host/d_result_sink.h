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
    };

    // Kept: stored for good as row. Repeat: the same tightening was kept
    // before, as row; it is not kept again, and the wrench may forget it.
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
