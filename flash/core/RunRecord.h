// A production line keeps a record of every module it flashed: one CSV line a run,
// appended and on disk before the next run starts, so that a crash or a pulled plug
// loses nothing. The same record as one JSON object for scripts.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

struct BurnBatch;
struct BurnJob;

struct RunRecord {
    std::time_t when = 0;  // the end of the run, UTC
    std::string program;   // "Burnkit", "Gangburn", "burnkit-cli"
    int slot = 0;          // from 1
    std::string port;
    std::string imagePath;
    uint64_t imageSize = 0;
    std::string imageSha256;
    uint32_t code = 0;
    double seconds = 0;            // the whole run
    uint64_t bytesPerSecond = 0;   // the image over the whole run; 0 unless it succeeded
    // Columns added later, after the first ones, so that readers of those keep working.
    std::string imageFullPath;     // the image path made absolute
    uint32_t rateUsed = 0;         // the rate the image was written at; 0: not reached
    uint32_t packetRepeats = 0;
    std::string failure;           // the failing step in words
    std::string portError;         // why the port did not open
    std::string version;           // the toolkit's
    std::string station;           // the host's name
    std::string operatorName;
    std::string lot;
    std::string logPath;           // the run's step log
};

// What a front end knows of a run beyond its result: the job after BurnImage (for the
// rate, repeats and failure), why the port did not open, who ran it, the log.
struct RunDetails {
    const BurnJob* job = nullptr;
    std::string portError;
    std::string operatorName;
    std::string lot;
    std::string logPath;
};

// The record of a run that ended with `code` after `seconds`.
// The version and station are this program's and this machine's.
RunRecord MakeRunRecord(const std::string& program, int slot, const std::string& port, const BurnBatch& batch,
                        uint32_t code, double seconds, const RunDetails& details = {});

// The record's columns in order, as the CSV's header names them and a database's table
// holds them: one row a column, with the kind of value it holds.
enum class ColumnKind { kText, kInteger, kReal };
struct RecordColumn {
    const char* name;
    ColumnKind kind;
};
inline constexpr std::size_t kRecordColumnCount = 21;
extern const RecordColumn kRecordColumns[kRecordColumnCount];

// The record's values as the CSV shows them, one a column of kRecordColumns, unquoted.
std::vector<std::string> RunRecordFields(const RunRecord& r);

std::string RunRecordHeader();           // the CSV's first line, with its line end
std::string RunRecordCsv(const RunRecord& r);   // one line, with its line end
std::string RecordsCsvField(const std::string& s);  // quoted when it needs to be
std::string RecordIsoTime(std::time_t t);           // "2024-05-01T08:30:00Z"
std::string RunRecordJson(const RunRecord& r);  // one object, no line end

// Appends `r` to the CSV file at `path` (made with its header when new) and has it on
// disk before returning. False with the reason when it cannot. The record goes in one
// write; a file whose last line was cut (a full disk) has that line ended first, so the
// cut row stays alone and the new one is whole. A file that starts with another header
// (records of an older version) is renamed to `<path>.old` and `path` starts anew:
// `notice` then says so, else it is left empty.
bool AppendRunRecord(const std::string& path, const RunRecord& r, std::string& error);
bool AppendRunRecord(const std::string& path, const RunRecord& r, std::string& error, std::string& notice);

// Lower-case hexadecimal SHA-256 of `size` bytes.
std::string Sha256Hex(const uint8_t* data, uint64_t size);
