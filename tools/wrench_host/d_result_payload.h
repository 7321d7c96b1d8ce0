#pragma once

#include "d_result_store.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// What a subscriber gets for one stored result: the row as the store writes
// it ("id", "serialId", "receivedAt", "eventData" exactly as stored), and
// beside it what makes it easy to use: the payload's version, the store's
// identity (with "id", one tightening's name in every store), the key that
// tells this tightening from every other (the same in every store), the units of
// the angles and torques, and the wrench's own time read from "timestamp"
// (seconds since 1970 UTC; 0 is a clock that is not set).
class DResultPayload {
public:
    static constexpr int schemaVersion = 2;
    static constexpr const char* angleUnit = "deg";

    static QByteArray toJson(const DResultStore::Row& row, const QString& storeId,
                             const QJsonObject& beside = {});
};
