#include "flash/records/RecordStore.h"

#include <fstream>
#include <sstream>

namespace records {

// The database stores (DatabaseStores.cpp), in a build that has SQLite and libpq.
std::unique_ptr<RecordStore> OpenDatabaseStore(const std::string& destination, const StoreOptions& options,
                                               std::string& error);
bool ReadDatabase(const std::string& destination, const std::string& since, std::vector<StoredRecord>& out,
                  std::string& error);

namespace {

// Splits CSV text into rows of fields: quoted fields may hold separators, quotes ("")
// and line breaks.
std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1);
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c != '"') field += c;
            else if (i + 1 < text.size() && text[i + 1] == '"') field += '"', ++i;
            else quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().push_back(std::move(field)), field.clear();
        } else if (c == '\n') {
            rows.back().push_back(std::move(field)), field.clear();
            rows.emplace_back();
        } else if (c != '\r') {
            field += c;
        }
    }
    if (!field.empty() || !rows.back().empty()) rows.back().push_back(field);
    if (rows.back().empty()) rows.pop_back();
    return rows;
}

class CsvStore : public RecordStore {
public:
    explicit CsvStore(std::string path) : m_path(std::move(path)) {}
    bool Append(const RunRecord& r, std::string& error) override {
        std::string notice;
        if (AppendRunRecord(m_path, r, error, notice)) return true;
        error = m_path + ": " + error;
        return false;
    }
    bool Read(const std::string& since, std::vector<StoredRecord>& out, std::string& error) override {
        std::vector<StoredRecord> all;
        if (!ReadRecordsCsv(m_path, all, error)) return false;
        for (StoredRecord& s : all)
            if (RecordIsoTime(s.record.when) >= since) out.push_back(std::move(s));
        return true;
    }
    std::string Where() const override { return m_path; }

private:
    std::string m_path;
};

}  // namespace

std::string WithoutPassword(const std::string& url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string::npos) return url;
    const std::size_t at = url.find('@', scheme + 3);
    const std::size_t colon = url.find(':', scheme + 3);
    if (at == std::string::npos || colon == std::string::npos || colon > at) return url;
    return url.substr(0, colon + 1) + "***" + url.substr(at);
}

DestinationKind KindOf(const std::string& destination) {
    if (destination.starts_with("postgresql://") || destination.starts_with("postgres://")) return DestinationKind::kLine;
    if (destination.size() >= 4 && destination.compare(destination.size() - 4, 4, ".csv") == 0)
        return DestinationKind::kCsv;
    return DestinationKind::kSqlite;
}

bool ReadRecordsCsv(const std::string& path, std::vector<StoredRecord>& out, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return error = path + ": cannot be read", false;
    std::stringstream text;
    text << in.rdbuf();
    const auto rows = CsvRows(text.str());
    if (rows.empty()) return true;
    if (rows[0].empty() || rows[0][0] != kRecordColumns[0].name)
        return error = path + ": the first line is not the records' header", false;
    int64_t sequence = 0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        // A line a full disk cut (AppendRunRecord ends it) has fewer fields: no record.
        if (rows[i].size() != rows[0].size()) continue;
        StoredRecord stored;
        std::string why;
        if (!RecordFromFields(rows[i], stored.record, why))
            return error = path + ": record " + std::to_string(i) + ": " + why, false;
        stored.sequence = ++sequence;
        out.push_back(std::move(stored));
    }
    return true;
}

bool ReadRecords(const std::string& destination, const std::string& since, std::vector<StoredRecord>& out,
                 std::string& error) {
    const DestinationKind kind = KindOf(destination);
    if (kind != DestinationKind::kLine && !std::ifstream(destination))
        return error = destination + ": no such records file", false;
    if (kind == DestinationKind::kCsv) return CsvStore(destination).Read(since, out, error);
    return ReadDatabase(destination, since, out, error);
}

std::unique_ptr<RecordStore> OpenRecordStore(const std::string& destination, const StoreOptions& options,
                                             std::string& error) {
    if (destination.empty()) return error = "no records destination given", nullptr;
    if (KindOf(destination) == DestinationKind::kCsv) return std::make_unique<CsvStore>(destination);
    return OpenDatabaseStore(destination, options, error);
}

}  // namespace records
