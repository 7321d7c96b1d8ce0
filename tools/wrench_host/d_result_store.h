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
// per tightening, each committed (synchronous=FULL) before takeResult()
// returns. A row holds the serial ID, the UTC receive time, every field of
// the result map in its own typed column, the map as JSON, the tightening's
// key (unique: the same tightening delivered again is not stored again), the
// time the broker acknowledged it (null until then) or the time and reason
// it refused it for good. Row ids only grow. The store has an identity of
// its own, a UUID made when it was created.
class DResultStore : public DResultSink {
public:
    static constexpr int schemaVersion = 2;

    struct Row {
        qint64 id = 0;
        QString serialId;
        QString receivedAt;
        QByteArray eventData;  // JSON
        QVariantList fields;   // in the order of fieldNames()
        QVariant sentAt;       // null: not sent
        QString tighteningKey; // empty in a store of version 1
    };

    DResultStore() = default;
    ~DResultStore() override;
    DResultStore(const DResultStore&) = delete;
    DResultStore& operator=(const DResultStore&) = delete;

    // Opens the file, creating it (mode 0640) and its schema when it is new,
    // upgrading a store of version 1 in place. A file of another schema
    // version, not a store, damaged, or that cannot be written, is refused
    // and left as it is.
    bool open(const QString& path, QString* error);
    // For reading only; the file must exist and be a sound store (version 1
    // or 2).
    bool openForReading(const QString& path, QString* error);
    // A store that lives only as long as this object.
    bool openInMemory(QString* error);
    QString path() const;
    bool isInMemory() const;

    Taken takeResult(const Result& result) override;
    qint64 lastRowId() const;
    // The UUID made when the store was created, without braces; empty for a
    // store of version 1 opened for reading.
    QString storeId() const;

    // Rows neither sent nor refused after afterId, in row order, at most
    // limit of them. A read error sets error.
    QList<Row> unsent(qint64 afterId, int limit, QString* error) const;
    // -1, with the reason, when the store cannot be read.
    int unsentCount(QString* error) const;
    // One transaction for all of them.
    bool markSent(const QList<qint64>& ids, QString* error);
    // The broker refused the row for good: it stays in the store, and is
    // not sent again.
    bool markRefused(qint64 id, const QString& reason, QString* error);
    // Every row received at or after since (UTC, the stored form; empty:
    // all), in row order.
    bool forEach(const QString& since, const std::function<void(const Row&)>& visit,
                 QString* error) const;

    // {"eventData": {...}, "id": 12, "receivedAt": "...Z", "serialId": "W1"}
    // and the entries beside, the map exactly as it was stored (and printed).
    static QByteArray toJson(const Row& row, const QJsonObject& beside = {});

    // What tells one tightening from another: SHA-256, in hex, of the serial
    // ID and every entry of the map that comes from the wrench's line (all
    // but the host's own "eventCountNo" and "presetNo"), as compact JSON
    // with sorted keys.
    static QString tighteningKey(const QString& serialId, const QJsonObject& eventData);

    // The result map's keys that have columns of their own.
    static QStringList fieldNames();
    // The stored form of a receive time: "2026-12-07T08:30:00.123Z".
    static QString timeText(const QDateTime& time);

private:
    struct Header {
        qint64 applicationId = 0;
        qint64 version = 0;
        qint64 tables = 0;
        bool isEmpty() const { return applicationId == 0 && version == 0 && tables == 0; }
    };

    bool openFile(const QString& path, int flags, bool mayCreate, QString* error);
    bool checkWritable(QString* error);
    bool checkSound(QString* error);
    bool readHeader(Header* header, QString* error) const;
    bool checkHeader(const Header& header, bool mayCreate, QString* error) const;
    bool prepareSchema(QString* error);
    bool createSchema(QString* error);
    bool upgradeFromVersion1(QString* error);
    bool setWal(QString* error);
    bool probeWrite(QString* error);
    bool readStoreId(QString* error);
    // Tightenings that look alike, kept under one key and its numbered ones.
    static constexpr int maxOccurrences = 1000;

    int insert(const Result& result, const QJsonObject& eventData, const QString& key);
    bool hasKey(const QString& key) const;
    qint64 lastRowOf(const QString& serialId, const QString& key) const;
    bool exec(const char* sql, QString* error) const;
    bool prepare(const QString& sql, sqlite3_stmt** statement, QString* error) const;
    QString failure(const QString& what) const;
    QString rowColumns() const;
    static Row readRow(sqlite3_stmt* statement);
    void close();

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
    QString m_path;
    QString m_storeId;
    qint64 m_lastRowId = 0;
};
