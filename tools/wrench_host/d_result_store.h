#pragma once

#include "d_result_sink.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QVariantList>

#include <functional>

struct sqlite3;
struct sqlite3_stmt;

// The local store of tightening results: an SQLite file in WAL mode, one row
// per result, each committed (synchronous=FULL) before takeResult() returns.
// A row holds the serial ID, the UTC receive time, every field of the
// result map in its own typed column, the map as JSON, and the time the
// broker acknowledged it (null until then). Row ids only grow.
class DResultStore : public DResultSink {
public:
    static constexpr int schemaVersion = 1;

    struct Row {
        qint64 id = 0;
        QString serialId;
        QString receivedAt;
        QByteArray eventData; // JSON
        QVariantList fields;  // in the order of fieldNames()
        QVariant sentAt;      // null: not sent
    };

    DResultStore() = default;
    ~DResultStore() override;
    DResultStore(const DResultStore&) = delete;
    DResultStore& operator=(const DResultStore&) = delete;

    // Opens the file, creating it and its schema when it is new. A file of
    // another schema version, or not a store, is refused and left as it is.
    bool open(const QString& path, QString* error);
    // For reading only; the file must exist and be a store.
    bool openForReading(const QString& path, QString* error);
    // A store that lives only as long as this object.
    bool openInMemory(QString* error);
    QString path() const;
    bool isInMemory() const;

    bool takeResult(const Result& result, QString* error) override;
    qint64 lastRowId() const;

    // Unsent rows after afterId, in row order, at most limit of them.
    QList<Row> unsent(qint64 afterId, int limit, QString* error) const;
    int unsentCount() const;
    // One transaction for all of them.
    bool markSent(const QList<qint64>& ids, QString* error);
    // Every row received at or after since (UTC, the stored form; empty:
    // all), in row order.
    bool forEach(const QString& since, const std::function<void(const Row&)>& visit,
                 QString* error) const;

    // {"eventData": {...}, "id": 12, "receivedAt": "...Z", "serialId": "W1"}
    // and the entries beside, the map exactly as it was stored (and printed).
    static QByteArray toJson(const Row& row, const QJsonObject& beside = {});

    // The result map's keys that have columns of their own.
    static QStringList fieldNames();
    // The stored form of a receive time: "2026-12-07T08:30:00.123Z".
    static QString timeText(const QDateTime& time);

private:
    bool openFile(const QString& path, int flags, bool mayCreate, QString* error);
    bool checkSchema(bool mayCreate, QString* error);
    bool createSchema(QString* error);
    bool exec(const char* sql, QString* error) const;
    bool prepare(const QString& sql, sqlite3_stmt** statement, QString* error) const;
    bool pragmaNumber(const char* name, qint64* value, QString* error) const;
    QString failure(const QString& what) const;
    static Row readRow(sqlite3_stmt* statement);
    void close();

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
    QString m_path;
    qint64 m_lastRowId = 0;
};
