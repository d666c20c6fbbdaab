#include "flash/records/PgRecords.h"

#include <libpq-fe.h>

#include <memory>

namespace records {

namespace {

// A server that does not answer at all (a cable pulled) must not hold a slot's record
// for long: the station queues it and tries again.
constexpr const char* kConnectTimeoutS = "3";
// Two stations starting at once: one migrates while the other waits.
constexpr const char* kMigrationLock = "SELECT pg_advisory_xact_lock(7316)";

struct ResultDeleter {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// libpq's messages end in a line feed and may run over several lines: one line.
std::string OneLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    std::string line;
    for (char c : text) {
        if (c == '\n' || c == '\t') c = ' ';
        if (c != ' ' || (!line.empty() && line.back() != ' ')) line += c;
    }
    return line;
}

}  // namespace

PgRecords::PgRecords(std::string url) : m_url(std::move(url)), m_shown(WithoutPassword(m_url)) {}

PgRecords::~PgRecords() { PQfinish(m_conn); }

std::string PgRecords::Failed() {
    std::string text = OneLine(PQerrorMessage(m_conn));
    if (PQstatus(m_conn) != CONNECTION_OK) PQfinish(m_conn), m_conn = nullptr;
    return text;
}

bool PgRecords::Connect(std::string& error) {
    if (m_conn) return true;
    // The URL's own connect_timeout, when it has one, wins over ours.
    const char* keywords[] = {"connect_timeout", "dbname", nullptr};
    const char* values[] = {kConnectTimeoutS, m_url.c_str(), nullptr};
    m_conn = PQconnectdbParams(keywords, values, 1);
    if (PQstatus(m_conn) != CONNECTION_OK) {
        error = m_shown + ": " + OneLine(PQerrorMessage(m_conn));
        PQfinish(m_conn), m_conn = nullptr;
        return false;
    }
    Exec("SET client_min_messages = warning", error);
    if (!Migrate(error)) {
        PQfinish(m_conn), m_conn = nullptr;
        return false;
    }
    return true;
}

bool PgRecords::Exec(const std::string& sql, std::string& error) {
    const Result r(PQexec(m_conn, sql.c_str()));
    const ExecStatusType status = PQresultStatus(r.get());
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return true;
    error = m_shown + ": " + Failed();
    return false;
}

bool PgRecords::Migrate(std::string& error) {
    if (!Exec("BEGIN", error)) return false;
    bool ok = Exec(kMigrationLock, error) && Exec(VersionTableStatement(), error);
    int version = 0;
    if (ok) {
        const Result r(PQexec(m_conn, "SELECT version FROM burnkit_schema"));
        if (PQresultStatus(r.get()) == PGRES_TUPLES_OK && PQntuples(r.get()) > 0)
            version = std::atoi(PQgetvalue(r.get(), 0, 0));
    }
    if (ok && version > kSchemaVersion) error = NewerSchemaText(m_shown, version), ok = false;
    for (const std::string& step : MigrationSteps(Dialect::kPostgres, version))
        if (ok) ok = Exec(step, error);
    if (!ok) {
        std::string ignored;
        if (m_conn) Exec("ROLLBACK", ignored);
        return false;
    }
    return Exec("COMMIT", error);
}

bool PgRecords::Add(const StoredRecord& stored, std::string& error) {
    if (!m_conn && !Connect(error)) return false;
    std::vector<std::string> fields = RunRecordFields(stored.record);
    fields.push_back(std::to_string(stored.sequence));
    std::vector<const char*> values;
    for (const std::string& f : fields) values.push_back(f.c_str());
    const Result r(PQexecParams(m_conn, InsertStatement(Dialect::kPostgres).c_str(), static_cast<int>(values.size()),
                                nullptr, values.data(), nullptr, nullptr, 0));
    if (PQresultStatus(r.get()) == PGRES_COMMAND_OK) return true;
    error = m_shown + ": " + Failed();
    return false;
}

bool PgRecords::Read(const std::string& since, std::vector<StoredRecord>& out, std::string& error) {
    if (!m_conn && !Connect(error)) return false;
    const char* values[] = {since.c_str()};
    const Result r(PQexecParams(m_conn, SelectStatement(Dialect::kPostgres).c_str(), 1, nullptr, values, nullptr,
                                nullptr, 0));
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK) return error = m_shown + ": " + Failed(), false;
    for (int row = 0; row < PQntuples(r.get()); ++row) {
        std::vector<std::string> fields;
        for (int i = 0; i < static_cast<int>(kRecordColumnCount); ++i) fields.push_back(PQgetvalue(r.get(), row, i));
        StoredRecord stored;
        if (!RecordFromFields(fields, stored.record, error)) return error = m_shown + ": " + error, false;
        stored.sequence = std::atoll(PQgetvalue(r.get(), row, static_cast<int>(kRecordColumnCount)));
        out.push_back(std::move(stored));
    }
    return true;
}

}  // namespace records
