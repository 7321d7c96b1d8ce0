#include "d_result_payload.h"

#include <QDateTime>
#include <QJsonDocument>

QByteArray DResultPayload::toJson(const DResultStore::Row& row, const QString& storeId,
                                  const QJsonObject& beside) {
    const QJsonObject eventData = QJsonDocument::fromJson(row.eventData).object();
    QJsonObject object = beside;
    object.insert(QStringLiteral("schemaVersion"), schemaVersion);
    object.insert(QStringLiteral("storeId"), storeId);
    // The row's own key: a tightening that only looks like another is kept
    // and sent under a numbered one.
    object.insert(QStringLiteral("tighteningKey"),
                  row.tighteningKey.isEmpty() ? DResultStore::tighteningKey(row.serialId, eventData)
                                              : row.tighteningKey);
    object.insert(QStringLiteral("units"),
                  QJsonObject{{QStringLiteral("angle"), QLatin1String(angleUnit)},
                              {QStringLiteral("torque"), eventData.value("torqueUnit")}});
    const QJsonValue seconds = eventData.value(QStringLiteral("timestamp"));
    object.insert(QStringLiteral("wrenchSeconds"), seconds);
    const qint64 since1970 = qint64(seconds.toDouble());
    object.insert(
        QStringLiteral("wrenchTime"),
        since1970 > 0
            ? QJsonValue(QDateTime::fromSecsSinceEpoch(since1970, Qt::UTC).toString(Qt::ISODate))
            : QJsonValue());
    return DResultStore::toJson(row, object);
}
