#include "flash/records/RecordSchema.h"

#include <cstdio>
#include <cstdlib>

namespace records {

namespace {

// Identifiers are quoted: "time", "size" and "operator" are words of SQL.
std::string Quoted(const char* name) { return std::string("\"") + name + "\""; }

std::string SqlType(ColumnKind kind) {
    switch (kind) {
    case ColumnKind::kInteger: return "BIGINT NOT NULL DEFAULT 0";
    case ColumnKind::kReal: return "DOUBLE PRECISION NOT NULL DEFAULT 0";
    case ColumnKind::kText: break;
    }
    return "TEXT NOT NULL DEFAULT ''";
}

std::string ColumnList() {
    std::string list;
    for (const RecordColumn& c : kRecordColumns) list += Quoted(c.name) + ", ";
    return list + "sequence";
}

// Schema 1: the record's columns as the CSV has them since the station and lot were
// added, the sequence, and (in a station's SQLite file) the records still to be sent.
std::vector<std::string> Schema1(Dialect dialect) {
    std::string table = "CREATE TABLE runs (id ";
    table += dialect == Dialect::kSqlite ? "INTEGER PRIMARY KEY" : "BIGSERIAL PRIMARY KEY";
    for (const RecordColumn& c : kRecordColumns) table += ", " + Quoted(c.name) + " " + SqlType(c.kind);
    table += ", sequence BIGINT NOT NULL)";
    std::vector<std::string> steps = {
        table,
        "CREATE UNIQUE INDEX runs_identity ON runs (\"station\", \"time\", \"slot\", sequence)",
        "CREATE INDEX runs_time ON runs (\"time\")",
    };
    if (dialect == Dialect::kSqlite) steps.push_back("CREATE TABLE outbox (run_id INTEGER PRIMARY KEY)");
    return steps;
}

// One row a version: what brings the schema before it to it.
struct Migration {
    int toVersion;
    std::vector<std::string> (*steps)(Dialect);
};
constexpr Migration kMigrations[] = {
    {1, Schema1},
};
static_assert(sizeof kMigrations / sizeof kMigrations[0] == kSchemaVersion, "one migration a version");

bool ParseWhole(const std::string& text, int base, uint64_t& out) {
    if (text.empty()) return out = 0, true;
    char* end = nullptr;
    out = std::strtoull(text.c_str(), &end, base);
    return *end == '\0' && text[0] != '-';
}

}  // namespace

std::string VersionTableStatement() { return "CREATE TABLE IF NOT EXISTS burnkit_schema (version INTEGER NOT NULL)"; }

std::vector<std::string> MigrationSteps(Dialect dialect, int from) {
    std::vector<std::string> steps;
    for (const Migration& m : kMigrations) {
        if (m.toVersion <= from) continue;
        for (std::string& s : m.steps(dialect)) steps.push_back(std::move(s));
    }
    if (!steps.empty()) {
        const std::string version = std::to_string(kSchemaVersion);
        steps.push_back("DELETE FROM burnkit_schema");
        steps.push_back("INSERT INTO burnkit_schema (version) VALUES (" + version + ")");
    }
    return steps;
}

std::string InsertStatement(Dialect dialect) {
    std::string values;
    const char mark = dialect == Dialect::kSqlite ? '?' : '$';
    for (std::size_t i = 1; i <= kRecordColumnCount; ++i) values += mark + std::to_string(i) + ", ";
    const std::string insert = "INSERT INTO runs (" + ColumnList() + ") VALUES (" + values;
    if (dialect == Dialect::kSqlite) return insert + "(SELECT COALESCE(MAX(sequence), 0) + 1 FROM runs))";
    return insert + "$" + std::to_string(kRecordColumnCount + 1) +
           ") ON CONFLICT (\"station\", \"time\", \"slot\", sequence) DO NOTHING";
}

std::string SelectStatement(Dialect dialect) {
    return "SELECT " + ColumnList() + " FROM runs WHERE \"time\" >= " + (dialect == Dialect::kSqlite ? "?1" : "$1") +
           " ORDER BY \"time\", id";
}

std::string NewerSchemaText(const std::string& where, int version) {
    return where + " was made by a newer version of the toolkit (schema " + std::to_string(version) +
           "; this one knows up to " + std::to_string(kSchemaVersion) + ")";
}

bool RecordFromFields(const std::vector<std::string>& f, RunRecord& r, std::string& error) {
    auto at = [&](std::size_t i) { return i < f.size() ? f[i] : std::string(); };
    if (!ParseIsoTime(at(0), r.when)) return error = "the time column holds '" + at(0) + "'", false;
    // The whole numbers: their column, their base.
    constexpr struct { std::size_t column; int base; } kWhole[] = {{2, 10}, {5, 10}, {7, 16}, {10, 10}, {12, 10}, {13, 10}};
    uint64_t n[6] = {};
    for (std::size_t i = 0; i < 6; ++i)
        if (!ParseWhole(at(kWhole[i].column), kWhole[i].base, n[i]))
            return error = std::string("the ") + kRecordColumns[kWhole[i].column].name + " column holds '" +
                           at(kWhole[i].column) + "'",
                   false;
    r.slot = static_cast<int>(n[0]), r.imageSize = n[1], r.code = static_cast<uint32_t>(n[2]);
    r.bytesPerSecond = n[3], r.rateUsed = static_cast<uint32_t>(n[4]), r.packetRepeats = static_cast<uint32_t>(n[5]);
    r.program = at(1), r.port = at(3), r.imagePath = at(4), r.imageSha256 = at(6);
    r.seconds = std::strtod(at(9).c_str(), nullptr);
    r.imageFullPath = at(11), r.failure = at(14), r.portError = at(15), r.version = at(16), r.station = at(17);
    r.operatorName = at(18), r.lot = at(19), r.logPath = at(20);
    return true;
}

namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar (H. Hinnant's
// days_from_civil).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

}  // namespace

bool ParseIsoTime(const std::string& text, std::time_t& out) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, used = 0;
    if (text.size() == 10) {
        if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &used) != 3 || used != 10) return false;
    } else if (text.size() != 20 || std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ%n", &y, &mo, &d, &h, &mi, &s,
                                                &used) != 6 || used != 20) {
        return false;
    }
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60 || h < 0 || mi < 0 || s < 0) return false;
    out = static_cast<std::time_t>(DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 86400 +
                                   h * 3600 + mi * 60 + s);
    return true;
}

}  // namespace records
