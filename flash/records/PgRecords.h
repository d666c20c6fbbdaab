// A line's records in a PostgreSQL database that several stations share, through
// PostgreSQL's client library (libpq). One connection; whoever uses it from more than one
// thread guards it.
#pragma once

#include <string>
#include <vector>

#include "flash/records/RecordStore.h"

struct pg_conn;

namespace records {

class PgRecords {
public:
    explicit PgRecords(std::string url);
    ~PgRecords();
    PgRecords(const PgRecords&) = delete;
    PgRecords& operator=(const PgRecords&) = delete;

    // Connects when not connected and migrates the schema; false with the reason (the
    // server's own words) when it cannot, or when the database is of a newer schema.
    bool Connect(std::string& error);
    bool Connected() const { return m_conn != nullptr; }
    // Adds a record with its station's sequence; one already there is kept as it is.
    bool Add(const StoredRecord& stored, std::string& error);
    bool Read(const std::string& since, std::vector<StoredRecord>& out, std::string& error);
    // The URL with its password left out, for messages.
    const std::string& Shown() const { return m_shown; }

private:
    bool Exec(const std::string& sql, std::string& error);
    bool Migrate(std::string& error);
    std::string Failed() ;  // the connection's last error; a connection gone is dropped

    std::string m_url;
    std::string m_shown;
    pg_conn* m_conn = nullptr;
};

}  // namespace records
