#include "d_result_store.h"

#include "d_json_output.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QUuid>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

// "WRNC": marks the file as ours, so that another program's database is
// never taken for an empty store.
constexpr qint64 applicationId = 0x57524E43;

enum class Kind { Real, Integer, Text };

struct Field {
    const char* name;
    Kind kind;
};

// Every key the listen command puts into its result map.
const Field fields[] = {
    {"convertedTorque", Kind::Real},
    {"setpointTorque", Kind::Real},
    {"torqueTolPos", Kind::Real},
    {"torqueTolNeg", Kind::Real},
    {"snugTorqueAngle", Kind::Real},
    {"setpointAngle", Kind::Real},
    {"angleTolPos", Kind::Real},
    {"angleTolNeg", Kind::Real},
    {"timestamp", Kind::Integer},
    {"eventStatus", Kind::Text},
    {"mode", Kind::Text},
    {"method", Kind::Text},
    {"torqueUnit", Kind::Text},
    {"eventCountNo", Kind::Integer},
    {"presetNo", Kind::Integer},
};

const char* sqlType(Kind kind) {
    switch (kind) {
    case Kind::Real:
        return "REAL";
    case Kind::Integer:
        return "INTEGER";
    case Kind::Text:
        return "TEXT";
    }
    return "";
}

// "\"convertedTorque\", ..." or, with their types, "\"convertedTorque\" REAL, ...".
QString fieldColumns(bool withTypes) {
    QStringList columns;
    for (const Field& field : fields) {
        QString column = QStringLiteral("\"%1\"").arg(QLatin1String(field.name));
        if (withTypes) {
            column += QLatin1Char(' ') + QLatin1String(sqlType(field.kind));
        }
        columns.append(column);
    }
    return columns.join(QStringLiteral(", "));
}

const QString rowFieldColumns =
    QStringLiteral("id, serialId, receivedAt, eventData, sentAt, ") + fieldColumns(false);

void bindText(sqlite3_stmt* statement, int index, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    sqlite3_bind_text(statement, index, bytes.constData(), bytes.size(), SQLITE_TRANSIENT);
}

// A value the map does not hold, or that is not of the column's kind, is
// stored as null in its column; the JSON keeps what there was.
void bindField(sqlite3_stmt* statement, int index, const Field& field, const QVariantMap& map) {
    const QVariant value = map.value(QLatin1String(field.name));
    bool ok = false;
    switch (field.kind) {
    case Kind::Real: {
        const double number = value.toDouble(&ok);
        ok ? sqlite3_bind_double(statement, index, number) : sqlite3_bind_null(statement, index);
        return;
    }
    case Kind::Integer: {
        const qlonglong number = value.toLongLong(&ok);
        ok ? sqlite3_bind_int64(statement, index, number) : sqlite3_bind_null(statement, index);
        return;
    }
    case Kind::Text:
        value.isValid() ? bindText(statement, index, value.toString())
                        : (void)sqlite3_bind_null(statement, index);
        return;
    }
}

QVariant columnValue(sqlite3_stmt* statement, int index) {
    switch (sqlite3_column_type(statement, index)) {
    case SQLITE_INTEGER:
        return sqlite3_column_int64(statement, index);
    case SQLITE_FLOAT:
        return sqlite3_column_double(statement, index);
    case SQLITE_TEXT:
        return QString::fromUtf8(
            reinterpret_cast<const char*>(sqlite3_column_text(statement, index)),
            sqlite3_column_bytes(statement, index));
    default:
        return {};
    }
}

struct Statement {
    sqlite3_stmt* handle = nullptr;
    ~Statement() { sqlite3_finalize(handle); }
};

// Created here, not by SQLite, so that only owner and group may read the
// results; the -wal and -shm files take the mode of the database file.
bool createFileIfMissing(const QString& path, QString* error) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0640);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    if (errno == EEXIST) {
        return true;
    }
    *error = QStringLiteral("cannot create the store %1: %2")
                 .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

// Changing the journal mode takes the file for a moment; while another
// process holds it, SQLite answers busy at once instead of waiting.
constexpr int journalModeTries = 100;
constexpr int journalModeRetryMs = 50;

} // namespace

DResultStore::~DResultStore() {
    close();
}

bool DResultStore::open(const QString& path, QString* error) {
    return openFile(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, true, error);
}

bool DResultStore::openForReading(const QString& path, QString* error) {
    return openFile(path, SQLITE_OPEN_READONLY, false, error);
}

bool DResultStore::openInMemory(QString* error) {
    return openFile(QStringLiteral(":memory:"), SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY, true,
                    error);
}

QString DResultStore::path() const {
    return m_path;
}

bool DResultStore::isInMemory() const {
    return m_path == QLatin1String(":memory:");
}

bool DResultStore::openFile(const QString& path, int flags, bool mayCreate, QString* error) {
    close();
    m_path = path;
    const bool isFile = !isInMemory();
    if (isFile && mayCreate && !createFileIfMissing(path, error)) {
        return false;
    }
    if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, flags, nullptr) != SQLITE_OK) {
        *error = failure(QStringLiteral("cannot open the store %1").arg(path));
        close();
        return false;
    }
    // Another process may hold the file for a moment (a reader, a
    // checkpoint, another host creating the same store).
    sqlite3_busy_timeout(m_db, 5000);
    // Everything is read before anything is written: a file that is not
    // ours, of another version or damaged is left exactly as it was.
    Header header;
    if ((isFile && mayCreate && !checkWritable(error)) || !readHeader(&header, error) ||
        !checkHeader(header, mayCreate, error) || !checkSound(error)) {
        close();
        return false;
    }
    if (!mayCreate) {
        if (header.version >= 2 && !readStoreId(error)) {
            close();
            return false;
        }
        return true;
    }
    // FULL: a commit reaches the disk before the result is printed and the
    // wrench has been told to forget it, so a power cut loses no result
    // either; it costs one fsync of the log per result.
    const QString placeholders =
        QStringLiteral("?, ").repeated(int(std::size(fields)) - 1) + QLatin1Char('?');
    if (!setWal(error) || !exec("PRAGMA synchronous=FULL", error) || !prepareSchema(error) ||
        !probeWrite(error) || !readStoreId(error) ||
        !prepare(QStringLiteral("INSERT INTO tightenings (serialId, receivedAt, eventData, "
                                "tighteningKey, %1) VALUES (?, ?, ?, ?, %2) "
                                "ON CONFLICT (tighteningKey) DO NOTHING")
                     .arg(fieldColumns(false), placeholders),
                 &m_insert, error)) {
        close();
        return false;
    }
    return true;
}

// The mode first: root may write to a file that nobody may write to, and a
// store whose owner made it read-only is not for this host to change.
bool DResultStore::checkWritable(QString* error) {
    struct stat status {};
    if (::stat(QFile::encodeName(m_path).constData(), &status) == 0 &&
        (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        *error = QStringLiteral("the store %1 is read-only (mode %2); it was left as it is")
                     .arg(m_path)
                     .arg(status.st_mode & 07777, 4, 8, QLatin1Char('0'));
        return false;
    }
    if (sqlite3_db_readonly(m_db, "main") == 1) {
        *error = QStringLiteral("the store %1 cannot be written; it was left as it is").arg(m_path);
        return false;
    }
    return true;
}

bool DResultStore::checkSound(QString* error) {
    Statement check;
    if (!prepare(QStringLiteral("PRAGMA quick_check(1)"), &check.handle, error)) {
        return false;
    }
    const int step = sqlite3_step(check.handle);
    const QString verdict = step == SQLITE_ROW ? columnValue(check.handle, 0).toString()
                                               : QString::fromUtf8(sqlite3_errmsg(m_db));
    if (verdict == QLatin1String("ok")) {
        return true;
    }
    *error =
        QStringLiteral("the store %1 is damaged (%2); it was left as it is").arg(m_path, verdict);
    return false;
}

// In one statement, so that another host creating the store cannot change
// it between the parts.
bool DResultStore::readHeader(Header* header, QString* error) const {
    Statement query;
    if (!prepare(QStringLiteral("SELECT (SELECT application_id FROM pragma_application_id()), "
                                "(SELECT user_version FROM pragma_user_version()), "
                                "(SELECT count(*) FROM sqlite_master)"),
                 &query.handle, error)) {
        return false;
    }
    if (sqlite3_step(query.handle) != SQLITE_ROW) {
        *error = failure(QStringLiteral("cannot read the store %1").arg(m_path));
        return false;
    }
    header->applicationId = sqlite3_column_int64(query.handle, 0);
    header->version = sqlite3_column_int64(query.handle, 1);
    header->tables = sqlite3_column_int64(query.handle, 2);
    return true;
}

bool DResultStore::checkHeader(const Header& header, bool mayCreate, QString* error) const {
    if (header.isEmpty()) {
        if (mayCreate) {
            return true;
        }
        *error =
            QStringLiteral("%1 is not a result store of wrench_host (it is empty)").arg(m_path);
        return false;
    }
    if (header.applicationId != applicationId) {
        *error = QStringLiteral("%1 is not a result store of wrench_host; it was left as it is")
                     .arg(m_path);
        return false;
    }
    if (header.version < 1 || header.version > schemaVersion) {
        *error = QStringLiteral("%1 is a result store of schema version %2; this wrench_host "
                                "reads versions 1 to %3 only, and left the file as it is")
                     .arg(m_path)
                     .arg(header.version)
                     .arg(schemaVersion);
        return false;
    }
    return true;
}

bool DResultStore::setWal(QString* error) {
    for (int tries = 1;; ++tries) {
        const int result = sqlite3_exec(m_db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        if (result == SQLITE_OK) {
            return true;
        }
        if ((result & 0xff) != SQLITE_BUSY || tries == journalModeTries) {
            *error = failure(QStringLiteral("the store %1").arg(m_path));
            return false;
        }
        QThread::msleep(journalModeRetryMs);
    }
}

// Decided again inside the write lock: another host may have created or
// upgraded the store since the header was read.
bool DResultStore::prepareSchema(QString* error) {
    if (!exec("BEGIN IMMEDIATE", error)) {
        return false;
    }
    Header header;
    bool ok = readHeader(&header, error) && checkHeader(header, true, error);
    if (ok && header.isEmpty()) {
        ok = createSchema(error);
    } else if (ok && header.version == 1) {
        ok = upgradeFromVersion1(error);
    }
    if (!ok || !exec("COMMIT", error)) {
        exec("ROLLBACK", nullptr);
        return false;
    }
    return true;
}

// The layout of version 1, then the same steps as an upgrade, so that a new
// store and an upgraded one are alike.
bool DResultStore::createSchema(QString* error) {
    const QString sql = QStringLiteral("CREATE TABLE tightenings ("
                                       " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                                       " serialId TEXT NOT NULL,"
                                       " receivedAt TEXT NOT NULL,"
                                       " eventData TEXT NOT NULL,"
                                       " sentAt TEXT, %1);"
                                       "CREATE INDEX received ON tightenings (receivedAt);")
                            .arg(fieldColumns(true));
    return exec(sql.toUtf8().constData(), error) && upgradeFromVersion1(error);
}

// Each old row gets its key; of rows that hold the same tightening, only the
// first one has it, and none is dropped.
bool DResultStore::upgradeFromVersion1(QString* error) {
    const QString sql =
        QStringLiteral("ALTER TABLE tightenings ADD COLUMN refusedAt TEXT;"
                       "ALTER TABLE tightenings ADD COLUMN refusal TEXT;"
                       "ALTER TABLE tightenings ADD COLUMN tighteningKey TEXT;"
                       "CREATE UNIQUE INDEX tighteningKey ON tightenings (tighteningKey);"
                       "DROP INDEX IF EXISTS unsent;"
                       "CREATE INDEX unsent ON tightenings (id) "
                       " WHERE sentAt IS NULL AND refusedAt IS NULL;"
                       "CREATE TABLE store (id TEXT NOT NULL);"
                       "INSERT INTO store (id) VALUES ('%1');"
                       "PRAGMA application_id=%2;"
                       "PRAGMA user_version=%3;")
            .arg(QUuid::createUuid().toString(QUuid::WithoutBraces))
            .arg(applicationId)
            .arg(schemaVersion);
    if (!exec(sql.toUtf8().constData(), error)) {
        return false;
    }
    QList<QPair<qint64, QString>> keys;
    Statement rows;
    if (!prepare(QStringLiteral("SELECT id, serialId, eventData FROM tightenings ORDER BY id"),
                 &rows.handle, error)) {
        return false;
    }
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(rows.handle)) == SQLITE_ROW) {
        const QJsonObject eventData =
            QJsonDocument::fromJson(columnValue(rows.handle, 2).toString().toUtf8()).object();
        keys.append({sqlite3_column_int64(rows.handle, 0),
                     tighteningKey(columnValue(rows.handle, 1).toString(), eventData)});
    }
    Statement update;
    if (step != SQLITE_DONE ||
        !prepare(QStringLiteral("UPDATE OR IGNORE tightenings SET tighteningKey = ? WHERE id = ?"),
                 &update.handle, error)) {
        *error = failure(QStringLiteral("cannot upgrade the store %1").arg(m_path));
        return false;
    }
    for (const auto& key : keys) {
        bindText(update.handle, 1, key.second);
        sqlite3_bind_int64(update.handle, 2, key.first);
        if (sqlite3_step(update.handle) != SQLITE_DONE) {
            *error = failure(QStringLiteral("cannot upgrade the store %1").arg(m_path));
            return false;
        }
        sqlite3_reset(update.handle);
    }
    return true;
}

// A write that is rolled back: the mode and SQLite may both allow writing
// to a file that the file system does not (immutable, read-only mount).
bool DResultStore::probeWrite(QString* error) {
    const bool ok = exec("BEGIN IMMEDIATE; UPDATE store SET id = id;", nullptr);
    if (!ok) {
        *error = failure(QStringLiteral("the store %1 cannot be written").arg(m_path));
    }
    exec("ROLLBACK", nullptr);
    return ok;
}

bool DResultStore::readStoreId(QString* error) {
    Statement query;
    if (!prepare(QStringLiteral("SELECT id FROM store"), &query.handle, error)) {
        return false;
    }
    if (sqlite3_step(query.handle) != SQLITE_ROW) {
        *error = failure(QStringLiteral("the store %1 has no identity").arg(m_path));
        return false;
    }
    m_storeId = columnValue(query.handle, 0).toString();
    return true;
}

DResultSink::Taken DResultStore::takeResult(const Result& result) {
    if (!m_insert) {
        return {Taken::Outcome::Failed, 0, QStringLiteral("the store is not open")};
    }
    const QJsonObject eventData = DJsonOutput::toJson(result.eventData).toObject();
    const QString key = tighteningKey(result.serialId, eventData);
    if (result.mayBeRepeat) {
        const qint64 row = lastRowOf(result.serialId, key);
        if (row != 0) {
            return {Taken::Outcome::Repeat, row, {}};
        }
    }
    // Another tightening that looks the same gets the next free key of its
    // kind: "KEY", "KEY-2", "KEY-3", ...
    for (int occurrence = 1; occurrence <= maxOccurrences; ++occurrence) {
        const QString occurrenceKey =
            occurrence == 1 ? key : key + QLatin1Char('-') + QString::number(occurrence);
        // Looked up first: a refused insert would still use up a row id.
        if (hasKey(occurrenceKey)) {
            continue;
        }
        const int step = insert(result, eventData, occurrenceKey);
        if (step != SQLITE_DONE) {
            return {Taken::Outcome::Failed, 0,
                    failure(QStringLiteral("cannot store the result in %1").arg(m_path))};
        }
        if (sqlite3_changes(m_db) != 0) {
            m_lastRowId = sqlite3_last_insert_rowid(m_db);
            return {Taken::Outcome::Kept, m_lastRowId, {}};
        }
    }
    return {Taken::Outcome::Failed, 0,
            QStringLiteral("cannot store the result in %1: %2 tightenings already look the same")
                .arg(m_path)
                .arg(maxOccurrences)};
}

int DResultStore::insert(const Result& result, const QJsonObject& eventData, const QString& key) {
    sqlite3_reset(m_insert);
    bindText(m_insert, 1, result.serialId);
    bindText(m_insert, 2, timeText(result.receivedAt));
    bindText(m_insert, 3, QString::fromUtf8(DJsonOutput::compact(eventData)));
    bindText(m_insert, 4, key);
    int index = 5;
    for (const Field& field : fields) {
        bindField(m_insert, index++, field, result.eventData);
    }
    const int step = sqlite3_step(m_insert);
    sqlite3_reset(m_insert);
    return step;
}

bool DResultStore::hasKey(const QString& key) const {
    Statement query;
    QString unused;
    if (!prepare(QStringLiteral("SELECT 1 FROM tightenings WHERE tighteningKey = ?"), &query.handle,
                 &unused)) {
        return false;
    }
    bindText(query.handle, 1, key);
    return sqlite3_step(query.handle) == SQLITE_ROW;
}

// The newest row of the serial ID, when it holds the tightening of key.
qint64 DResultStore::lastRowOf(const QString& serialId, const QString& key) const {
    Statement query;
    QString unused;
    if (!prepare(QStringLiteral("SELECT id, eventData FROM tightenings WHERE serialId = ? "
                                "ORDER BY id DESC LIMIT 1"),
                 &query.handle, &unused)) {
        return 0;
    }
    bindText(query.handle, 1, serialId);
    if (sqlite3_step(query.handle) != SQLITE_ROW) {
        return 0;
    }
    const QJsonObject stored =
        QJsonDocument::fromJson(columnValue(query.handle, 1).toString().toUtf8()).object();
    return tighteningKey(serialId, stored) == key ? sqlite3_column_int64(query.handle, 0) : 0;
}

qint64 DResultStore::lastRowId() const {
    return m_lastRowId;
}

QString DResultStore::storeId() const {
    return m_storeId;
}

QList<DResultStore::Row> DResultStore::unsent(qint64 afterId, int limit, QString* error) const {
    QList<Row> rows;
    Statement query;
    if (!prepare(QStringLiteral("SELECT %1 FROM tightenings WHERE sentAt IS NULL AND refusedAt IS "
                                "NULL AND id > ? ORDER BY id LIMIT ?")
                     .arg(rowColumns()),
                 &query.handle, error)) {
        return rows;
    }
    sqlite3_bind_int64(query.handle, 1, afterId);
    sqlite3_bind_int(query.handle, 2, limit);
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(query.handle)) == SQLITE_ROW) {
        rows.append(readRow(query.handle));
    }
    if (step != SQLITE_DONE) {
        *error = failure(QStringLiteral("cannot read %1").arg(m_path));
    }
    return rows;
}

int DResultStore::unsentCount(QString* error) const {
    Statement query;
    if (!prepare(QStringLiteral("SELECT count(*) FROM tightenings WHERE sentAt IS NULL AND "
                                "refusedAt IS NULL"),
                 &query.handle, error)) {
        return -1;
    }
    if (sqlite3_step(query.handle) != SQLITE_ROW) {
        *error = failure(QStringLiteral("cannot read %1").arg(m_path));
        return -1;
    }
    return sqlite3_column_int(query.handle, 0);
}

bool DResultStore::markRefused(qint64 id, const QString& reason, QString* error) {
    Statement update;
    if (!prepare(QStringLiteral("UPDATE tightenings SET refusedAt = ?, refusal = ? WHERE id = ?"),
                 &update.handle, error)) {
        return false;
    }
    bindText(update.handle, 1, timeText(QDateTime::currentDateTimeUtc()));
    bindText(update.handle, 2, reason);
    sqlite3_bind_int64(update.handle, 3, id);
    if (sqlite3_step(update.handle) != SQLITE_DONE) {
        *error = failure(QStringLiteral("cannot mark result %1 as refused").arg(id));
        return false;
    }
    return true;
}

bool DResultStore::markSent(const QList<qint64>& ids, QString* error) {
    Statement update;
    if (!prepare(QStringLiteral("UPDATE tightenings SET sentAt = ? WHERE id = ?"), &update.handle,
                 error) ||
        !exec("BEGIN", error)) {
        return false;
    }
    bindText(update.handle, 1, timeText(QDateTime::currentDateTimeUtc()));
    for (const qint64 id : ids) {
        sqlite3_bind_int64(update.handle, 2, id);
        if (sqlite3_step(update.handle) != SQLITE_DONE) {
            *error = failure(QStringLiteral("cannot mark result %1 as sent").arg(id));
            exec("ROLLBACK", nullptr);
            return false;
        }
        sqlite3_reset(update.handle);
    }
    return exec("COMMIT", error);
}

bool DResultStore::forEach(const QString& since, const std::function<void(const Row&)>& visit,
                           QString* error) const {
    Statement query;
    if (!prepare(QStringLiteral("SELECT %1 FROM tightenings WHERE receivedAt >= ? ORDER BY id")
                     .arg(rowColumns()),
                 &query.handle, error)) {
        return false;
    }
    bindText(query.handle, 1, since);
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(query.handle)) == SQLITE_ROW) {
        visit(readRow(query.handle));
    }
    if (step != SQLITE_DONE) {
        *error = failure(QStringLiteral("cannot read %1").arg(m_path));
        return false;
    }
    return true;
}

QByteArray DResultStore::toJson(const Row& row, const QJsonObject& beside) {
    QJsonObject object = beside;
    object.insert(QStringLiteral("id"), row.id);
    object.insert(QStringLiteral("serialId"), row.serialId);
    object.insert(QStringLiteral("receivedAt"), row.receivedAt);
    // The stored text goes in as it is: parsed and written again, a double
    // above 2^53 could come out different.
    return "{\"eventData\":" + row.eventData + ',' + DJsonOutput::compact(object).mid(1);
}

QString DResultStore::tighteningKey(const QString& serialId, const QJsonObject& eventData) {
    QJsonObject fromWrench = eventData;
    fromWrench.remove(QStringLiteral("eventCountNo"));
    fromWrench.remove(QStringLiteral("presetNo"));
    const QJsonObject canonical{{QStringLiteral("eventData"), fromWrench},
                                {QStringLiteral("serialId"), serialId}};
    return QString::fromLatin1(
        QCryptographicHash::hash(DJsonOutput::compact(canonical), QCryptographicHash::Sha256)
            .toHex());
}

QStringList DResultStore::fieldNames() {
    QStringList names;
    for (const Field& field : fields) {
        names.append(QLatin1String(field.name));
    }
    return names;
}

QString DResultStore::timeText(const QDateTime& time) {
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

bool DResultStore::exec(const char* sql, QString* error) const {
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK) {
        return true;
    }
    if (error) {
        *error = failure(QStringLiteral("the store %1").arg(m_path));
    }
    return false;
}

bool DResultStore::prepare(const QString& sql, sqlite3_stmt** statement, QString* error) const {
    if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, statement, nullptr) == SQLITE_OK) {
        return true;
    }
    *error = failure(QStringLiteral("the store %1").arg(m_path));
    return false;
}

QString DResultStore::failure(const QString& what) const {
    return QStringLiteral("%1: %2").arg(
        what, QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : "out of memory"));
}

// A store of version 1, read for export, has no keys yet; only version 2
// and later have an identity.
QString DResultStore::rowColumns() const {
    return rowFieldColumns +
           (m_storeId.isEmpty() ? QStringLiteral(", NULL") : QStringLiteral(", tighteningKey"));
}

DResultStore::Row DResultStore::readRow(sqlite3_stmt* statement) {
    Row row;
    row.id = sqlite3_column_int64(statement, 0);
    row.serialId = columnValue(statement, 1).toString();
    row.receivedAt = columnValue(statement, 2).toString();
    row.eventData = columnValue(statement, 3).toString().toUtf8();
    row.sentAt = columnValue(statement, 4);
    for (int index = 0; index < int(std::size(fields)); ++index) {
        row.fields.append(columnValue(statement, 5 + index));
    }
    row.tighteningKey = columnValue(statement, 5 + int(std::size(fields))).toString();
    return row;
}

void DResultStore::close() {
    sqlite3_finalize(m_insert);
    m_insert = nullptr;
    sqlite3_close(m_db);
    m_db = nullptr;
    m_storeId.clear();
}
