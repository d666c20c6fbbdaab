// A station's records in an SQLite file, written through SQLite's own library: WAL mode
// and every commit on disk before it returns (synchronous=FULL), one transaction a
// record, so that a record is kept before the next module starts. Several slots (and
// several programs on the station) may write at once: one connection a store, guarded,
// and SQLite's file locks between processes.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "flash/records/RecordSchema.h"

struct sqlite3;

namespace records {

// A record waiting for the line's database, with its row in the station's file.
struct QueuedRecord {
    int64_t rowId = 0;
    StoredRecord stored;
};

class SqliteRecords {
public:
    // Opens the file at `path`, made when new, and migrates its schema; null with the
    // reason (naming the file) when it cannot be written or was made by a newer version.
    static std::unique_ptr<SqliteRecords> Open(const std::string& path, std::string& error);
    ~SqliteRecords();
    SqliteRecords(const SqliteRecords&) = delete;
    SqliteRecords& operator=(const SqliteRecords&) = delete;

    // Keeps `r` in one transaction, numbered after the file's last record; `queue`: also
    // marked as not yet sent to the line's database.
    bool Add(const RunRecord& r, bool queue, std::string& error);
    bool Read(const std::string& since, std::vector<StoredRecord>& out, std::string& error);
    // The oldest records not yet sent, at most `limit`.
    bool Queued(std::size_t limit, std::vector<QueuedRecord>& out, std::string& error);
    bool Unqueue(int64_t rowId, std::string& error);
    int64_t QueuedCount();
    const std::string& Path() const { return m_path; }

private:
    SqliteRecords(sqlite3* db, std::string path) : m_db(db), m_path(std::move(path)) {}
    bool Exec(const std::string& sql, std::string& error);
    bool Migrate(std::string& error);
    std::string Failed(const std::string& what) const;

    std::mutex m_mutex;  // one transaction at a time on the connection
    sqlite3* m_db;
    std::string m_path;
};

}  // namespace records
