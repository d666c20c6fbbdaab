#include "flash/records/RecordQueries.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>

#include "flash/core/ResultCodes.h"

namespace records {

namespace {

// One row a grouping: its word and the record's value it groups by.
struct Grouping {
    GroupBy by;
    const char* word;
    std::string (*key)(const RunRecord&);
};
constexpr Grouping kGroupings[] = {
    {GroupBy::kDay, "day", [](const RunRecord& r) { return RecordIsoTime(r.when).substr(0, 10); }},
    {GroupBy::kStation, "station", [](const RunRecord& r) { return r.station; }},
    {GroupBy::kImage, "image", [](const RunRecord& r) { return r.imageSha256; }},
    {GroupBy::kLot, "lot", [](const RunRecord& r) { return r.lot; }},
    {GroupBy::kOperator, "operator", [](const RunRecord& r) { return r.operatorName; }},
};

const Grouping& GroupingOf(GroupBy by) {
    for (const Grouping& g : kGroupings)
        if (g.by == by) return g;
    return kGroupings[0];
}

std::string Hex(uint32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", code);
    return text;
}

}  // namespace

bool ParseGroupBy(const std::string& word, GroupBy& out) {
    for (const Grouping& g : kGroupings)
        if (word == g.word) return out = g.by, true;
    return false;
}

const char* GroupByName(GroupBy by) { return GroupingOf(by).word; }

std::vector<Tally> TallyBy(const std::vector<StoredRecord>& records, GroupBy by) {
    std::map<std::string, Tally> groups;
    const Grouping& g = GroupingOf(by);
    for (const StoredRecord& s : records) {
        const std::string key = g.key(s.record);
        Tally& t = groups[key];
        t.key = key;
        ++t.runs;
        if (s.record.code == 0) ++t.passed;
    }
    std::vector<Tally> out;
    for (auto& [key, t] : groups) out.push_back(t);
    return out;
}

Tally TallyAll(const std::vector<StoredRecord>& records) {
    Tally t;
    t.key = "all";
    for (const StoredRecord& s : records) ++t.runs, t.passed += s.record.code == 0;
    return t;
}

std::vector<FailureCount> Failures(const std::vector<StoredRecord>& records) {
    std::map<std::pair<uint32_t, std::string>, int> counts;
    for (const StoredRecord& s : records)
        if (s.record.code != 0) ++counts[{s.record.code, s.record.failure}];
    std::vector<FailureCount> out;
    for (const auto& [key, n] : counts) out.push_back({Hex(key.first), ResultMeaning(key.first), key.second, n});
    std::stable_sort(out.begin(), out.end(), [](const FailureCount& a, const FailureCount& b) { return a.count > b.count; });
    return out;
}

std::vector<StoredRecord> History(const std::vector<StoredRecord>& records, const std::string& port, int slot,
                                  const std::string& station) {
    std::vector<StoredRecord> out;
    for (const StoredRecord& s : records) {
        const bool ofIt = port.empty() ? s.record.slot == slot : s.record.port == port;
        if (ofIt && (station.empty() || s.record.station == station)) out.push_back(s);
    }
    return out;
}

std::vector<StoredRecord> Between(std::vector<StoredRecord> records, const std::string& since,
                                  const std::string& until) {
    std::erase_if(records, [&](const StoredRecord& s) {
        const std::string t = RecordIsoTime(s.record.when);
        return t < since || (!until.empty() && t >= until);
    });
    return records;
}

}  // namespace records
