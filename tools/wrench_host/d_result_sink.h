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

    virtual ~DResultSink() = default;

    // True once the result is kept for good; false, with the reason, when it
    // could not be kept.
    virtual bool takeResult(const Result& result, QString* error) = 0;
};
