#include "d_result_store.h"

#include "d_json_output.h"

#include <sqlite3.h>

#include <QJsonObject>

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

const QString rowColumns =
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
    if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, flags, nullptr) != SQLITE_OK) {
        *error = failure(QStringLiteral("cannot open the store %1").arg(path));
        close();
        return false;
    }
    // Another process may hold the file for a moment (a reader, a checkpoint).
    sqlite3_busy_timeout(m_db, 5000);
    if (!checkSchema(mayCreate, error)) {
        close();
        return false;
    }
    if (!mayCreate) {
        return true;
    }
    // FULL: a commit reaches the disk before the result is printed and the
    // wrench has been told to forget it, so a power cut loses no result
    // either; it costs one fsync of the log per result.
    const QString placeholders =
        QStringLiteral("?, ").repeated(int(std::size(fields)) - 1) + QLatin1Char('?');
    if (!exec("PRAGMA journal_mode=WAL", error) || !exec("PRAGMA synchronous=FULL", error) ||
        !prepare(QStringLiteral("INSERT INTO tightenings (serialId, receivedAt, eventData, %1) "
                                "VALUES (?, ?, ?, %2)")
                     .arg(fieldColumns(false), placeholders),
                 &m_insert, error)) {
        close();
        return false;
    }
    return true;
}

// Read before anything is written: a file that is not ours, or of another
// version, is left exactly as it was.
bool DResultStore::checkSchema(bool mayCreate, QString* error) {
    qint64 id = 0;
    qint64 version = 0;
    qint64 tables = 0;
    if (!pragmaNumber("application_id", &id, error) ||
        !pragmaNumber("user_version", &version, error)) {
        return false;
    }
    Statement count;
    if (!prepare(QStringLiteral("SELECT count(*) FROM sqlite_master"), &count.handle, error)) {
        return false;
    }
    if (sqlite3_step(count.handle) == SQLITE_ROW) {
        tables = sqlite3_column_int64(count.handle, 0);
    }
    if (id == 0 && version == 0 && tables == 0) {
        if (mayCreate) {
            return createSchema(error);
        }
        *error =
            QStringLiteral("%1 is not a result store of wrench_host (it is empty)").arg(m_path);
        return false;
    }
    if (id != applicationId) {
        *error = QStringLiteral("%1 is not a result store of wrench_host; it was left as it is")
                     .arg(m_path);
        return false;
    }
    if (version != schemaVersion) {
        *error = QStringLiteral("%1 is a result store of schema version %2; this wrench_host "
                                "reads version %3 only, and left the file as it is")
                     .arg(m_path)
                     .arg(version)
                     .arg(schemaVersion);
        return false;
    }
    return true;
}

bool DResultStore::createSchema(QString* error) {
    const QString sql =
        QStringLiteral("BEGIN IMMEDIATE;"
                       "CREATE TABLE IF NOT EXISTS tightenings ("
                       " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                       " serialId TEXT NOT NULL,"
                       " receivedAt TEXT NOT NULL,"
                       " eventData TEXT NOT NULL,"
                       " sentAt TEXT, %1);"
                       "CREATE INDEX IF NOT EXISTS unsent ON tightenings (id) WHERE sentAt IS NULL;"
                       "CREATE INDEX IF NOT EXISTS received ON tightenings (receivedAt);"
                       "PRAGMA application_id=%2;"
                       "PRAGMA user_version=%3;"
                       "COMMIT;")
            .arg(fieldColumns(true))
            .arg(applicationId)
            .arg(schemaVersion);
    if (!exec(sql.toUtf8().constData(), error)) {
        exec("ROLLBACK", nullptr);
        return false;
    }
    return true;
}

bool DResultStore::takeResult(const Result& result, QString* error) {
    if (!m_insert) {
        *error = QStringLiteral("the store is not open");
        return false;
    }
    sqlite3_reset(m_insert);
    bindText(m_insert, 1, result.serialId);
    bindText(m_insert, 2, timeText(result.receivedAt));
    bindText(
        m_insert, 3,
        QString::fromUtf8(DJsonOutput::compact(DJsonOutput::toJson(result.eventData).toObject())));
    int index = 4;
    for (const Field& field : fields) {
        bindField(m_insert, index++, field, result.eventData);
    }
    if (sqlite3_step(m_insert) != SQLITE_DONE) {
        *error = failure(QStringLiteral("cannot store the result in %1").arg(m_path));
        sqlite3_reset(m_insert);
        return false;
    }
    sqlite3_reset(m_insert);
    m_lastRowId = sqlite3_last_insert_rowid(m_db);
    return true;
}

qint64 DResultStore::lastRowId() const {
    return m_lastRowId;
}

QList<DResultStore::Row> DResultStore::unsent(qint64 afterId, int limit, QString* error) const {
    QList<Row> rows;
    Statement query;
    if (!prepare(QStringLiteral("SELECT %1 FROM tightenings WHERE sentAt IS NULL AND id > ? "
                                "ORDER BY id LIMIT ?")
                     .arg(rowColumns),
                 &query.handle, error)) {
        return rows;
    }
    sqlite3_bind_int64(query.handle, 1, afterId);
    sqlite3_bind_int(query.handle, 2, limit);
    while (sqlite3_step(query.handle) == SQLITE_ROW) {
        rows.append(readRow(query.handle));
    }
    return rows;
}

int DResultStore::unsentCount() const {
    Statement query;
    QString unused;
    if (!prepare(QStringLiteral("SELECT count(*) FROM tightenings WHERE sentAt IS NULL"),
                 &query.handle, &unused) ||
        sqlite3_step(query.handle) != SQLITE_ROW) {
        return 0;
    }
    return sqlite3_column_int(query.handle, 0);
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
                     .arg(rowColumns),
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

bool DResultStore::pragmaNumber(const char* name, qint64* value, QString* error) const {
    Statement query;
    if (!prepare(QStringLiteral("PRAGMA %1").arg(QLatin1String(name)), &query.handle, error)) {
        return false;
    }
    const int step = sqlite3_step(query.handle);
    if (step != SQLITE_ROW) {
        *error = failure(QStringLiteral("cannot read the store %1").arg(m_path));
        return false;
    }
    *value = sqlite3_column_int64(query.handle, 0);
    return true;
}

QString DResultStore::failure(const QString& what) const {
    return QStringLiteral("%1: %2").arg(
        what, QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : "out of memory"));
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
    return row;
}

void DResultStore::close() {
    sqlite3_finalize(m_insert);
    m_insert = nullptr;
    sqlite3_close(m_db);
    m_db = nullptr;
}
