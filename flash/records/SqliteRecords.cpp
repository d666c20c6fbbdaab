#include "flash/records/SqliteRecords.h"

#include <sqlite3.h>

namespace records {

namespace {

// How long a writer waits for another process's transaction on the same file.
constexpr int kBusyTimeoutMs = 10000;

// A prepared statement, finalized at the end of its scope.
class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) { m_ok = sqlite3_prepare_v2(db, sql.c_str(), -1, &m_s, nullptr) == SQLITE_OK; }
    ~Statement() { sqlite3_finalize(m_s); }
    bool Ok() const { return m_ok; }
    sqlite3_stmt* operator*() const { return m_s; }
    void Bind(int at, const std::string& text) { sqlite3_bind_text(m_s, at, text.c_str(), -1, SQLITE_TRANSIENT); }
    std::string Text(int column) const {
        const auto* text = sqlite3_column_text(m_s, column);
        return text ? reinterpret_cast<const char*>(text) : "";
    }

private:
    sqlite3_stmt* m_s = nullptr;
    bool m_ok = false;
};

// A row of SelectStatement's columns; `error` is left empty when it reads.
StoredRecord ReadRow(const Statement& s, std::string& error) {
    std::vector<std::string> fields;
    for (int i = 0; i < static_cast<int>(kRecordColumnCount); ++i) fields.push_back(s.Text(i));
    StoredRecord stored;
    error.clear();
    RecordFromFields(fields, stored.record, error);
    stored.sequence = sqlite3_column_int64(*s, static_cast<int>(kRecordColumnCount));
    return stored;
}

}  // namespace

std::unique_ptr<SqliteRecords> SqliteRecords::Open(const std::string& path, std::string& error) {
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                                       nullptr);
    if (opened != SQLITE_OK) {
        error = path + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(opened));
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<SqliteRecords> store(new SqliteRecords(db, path));
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    if (!store->Exec("PRAGMA journal_mode=WAL", error) || !store->Exec("PRAGMA synchronous=FULL", error) ||
        !store->Migrate(error))
        return nullptr;
    return store;
}

SqliteRecords::~SqliteRecords() { sqlite3_close(m_db); }

std::string SqliteRecords::Failed(const std::string& what) const {
    return m_path + ": " + what + ": " + sqlite3_errmsg(m_db);
}

bool SqliteRecords::Exec(const std::string& sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
    error = m_path + ": " + (message ? message : sqlite3_errmsg(m_db));
    sqlite3_free(message);
    return false;
}

bool SqliteRecords::Migrate(std::string& error) {
    // IMMEDIATE: two programs opening a new file at once migrate it one after the other.
    if (!Exec("BEGIN IMMEDIATE", error)) return false;
    int version = 0;
    bool ok = Exec(VersionTableStatement(), error);
    if (ok) {
        Statement s(m_db, "SELECT version FROM burnkit_schema");
        if (s.Ok() && sqlite3_step(*s) == SQLITE_ROW) version = sqlite3_column_int(*s, 0);
    }
    if (ok && version > kSchemaVersion) error = NewerSchemaText(m_path, version), ok = false;
    for (const std::string& step : MigrationSteps(Dialect::kSqlite, version))
        if (ok) ok = Exec(step, error);
    std::string ignored;
    if (!ok) return Exec("ROLLBACK", ignored), false;
    return Exec("COMMIT", error);
}

bool SqliteRecords::Add(const RunRecord& r, bool queue, std::string& error) {
    std::lock_guard lock(m_mutex);
    if (!Exec("BEGIN IMMEDIATE", error)) return false;
    Statement insert(m_db, InsertStatement(Dialect::kSqlite));
    bool ok = insert.Ok();
    const std::vector<std::string> fields = RunRecordFields(r);
    for (std::size_t i = 0; ok && i < fields.size(); ++i) insert.Bind(static_cast<int>(i + 1), fields[i]);
    ok = ok && sqlite3_step(*insert) == SQLITE_DONE;
    if (ok && queue) {
        Statement mark(m_db, "INSERT INTO outbox (run_id) VALUES (last_insert_rowid())");
        ok = mark.Ok() && sqlite3_step(*mark) == SQLITE_DONE;
    }
    if (!ok) {
        error = Failed("cannot add the record");
        std::string ignored;
        Exec("ROLLBACK", ignored);
        return false;
    }
    return Exec("COMMIT", error);
}

bool SqliteRecords::Read(const std::string& since, std::vector<StoredRecord>& out, std::string& error) {
    std::lock_guard lock(m_mutex);
    Statement s(m_db, SelectStatement(Dialect::kSqlite));
    if (!s.Ok()) return error = Failed("cannot read the records"), false;
    s.Bind(1, since);
    int step;
    while ((step = sqlite3_step(*s)) == SQLITE_ROW) {
        std::string why;
        out.push_back(ReadRow(s, why));
        if (!why.empty()) return error = m_path + ": " + why, false;
    }
    if (step != SQLITE_DONE) return error = Failed("cannot read the records"), false;
    return true;
}

bool SqliteRecords::Queued(std::size_t limit, std::vector<QueuedRecord>& out, std::string& error) {
    std::lock_guard lock(m_mutex);
    std::string sql = SelectStatement(Dialect::kSqlite);
    sql.replace(sql.find(" FROM runs"), 10, ", id FROM runs JOIN outbox ON outbox.run_id = runs.id");
    sql.replace(sql.find(" ORDER BY"), std::string::npos, " ORDER BY id LIMIT " + std::to_string(limit));
    Statement s(m_db, sql);
    if (!s.Ok()) return error = Failed("cannot read the queued records"), false;
    s.Bind(1, "");
    while (sqlite3_step(*s) == SQLITE_ROW) {
        QueuedRecord q;
        std::string why;
        q.stored = ReadRow(s, why);
        q.rowId = sqlite3_column_int64(*s, static_cast<int>(kRecordColumnCount) + 1);
        if (!why.empty()) return error = m_path + ": " + why, false;
        out.push_back(std::move(q));
    }
    return true;
}

bool SqliteRecords::Unqueue(int64_t rowId, std::string& error) {
    std::lock_guard lock(m_mutex);
    Statement s(m_db, "DELETE FROM outbox WHERE run_id = ?1");
    if (!s.Ok()) return error = Failed("cannot mark a record sent"), false;
    sqlite3_bind_int64(*s, 1, rowId);
    if (sqlite3_step(*s) != SQLITE_DONE) return error = Failed("cannot mark a record sent"), false;
    return true;
}

int64_t SqliteRecords::QueuedCount() {
    std::lock_guard lock(m_mutex);
    Statement s(m_db, "SELECT COUNT(*) FROM outbox");
    return s.Ok() && sqlite3_step(*s) == SQLITE_ROW ? sqlite3_column_int64(*s, 0) : 0;
}

}  // namespace records
