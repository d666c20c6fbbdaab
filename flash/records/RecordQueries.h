// The questions a quality engineer asks of the run records, answered over records read
// from any store: how many runs and how many passed, grouped by day, station, image,
// lot or operator; which failures came most, by result code and failing step; what one
// port or slot did. Plain functions over the records, the same for every store.
#pragma once

#include <string>
#include <vector>

#include "flash/records/RecordSchema.h"

namespace records {

enum class GroupBy { kDay, kStation, kImage, kLot, kOperator };

// "day", "station", "image", "lot", "operator"; false for another word.
bool ParseGroupBy(const std::string& word, GroupBy& out);
const char* GroupByName(GroupBy by);

struct Tally {
    std::string key;  // the day ("2024-05-01"), the station, the image's SHA-256, ...
    int runs = 0;
    int passed = 0;
    int Failed() const { return runs - passed; }
    double YieldPercent() const { return runs ? 100.0 * passed / runs : 0; }
};

// A tally per group, in the key's order (days oldest first); an empty key stays a group.
std::vector<Tally> TallyBy(const std::vector<StoredRecord>& records, GroupBy by);
Tally TallyAll(const std::vector<StoredRecord>& records);

struct FailureCount {
    std::string code;     // the result code in hexadecimal, as the CSV has it
    std::string meaning;  // what the code means
    std::string step;     // the failing step in words
    int count = 0;
};

// The failed runs by result code and failing step, the most frequent first.
std::vector<FailureCount> Failures(const std::vector<StoredRecord>& records);

// The runs of one port (`port` not empty) or slot (`slot` > 0), on one station when
// `station` is not empty, oldest first.
std::vector<StoredRecord> History(const std::vector<StoredRecord>& records, const std::string& port, int slot,
                                  const std::string& station);

// The records from `since` until before `until` (ISO times; empty: no bound).
std::vector<StoredRecord> Between(std::vector<StoredRecord> records, const std::string& since,
                                  const std::string& until);

}  // namespace records
