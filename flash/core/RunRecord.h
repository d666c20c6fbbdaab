// A production line keeps a record of every module it flashed: one CSV line a run,
// appended and on disk before the next run starts, so that a crash or a pulled plug
// loses nothing. The same record as one JSON object for scripts.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

struct BurnBatch;

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
};

// The record of a run that ended with `code` after `seconds`.
RunRecord MakeRunRecord(const std::string& program, int slot, const std::string& port, const BurnBatch& batch,
                        uint32_t code, double seconds);

std::string RunRecordHeader();           // the CSV's first line, with its line end
std::string RunRecordCsv(const RunRecord& r);   // one line, with its line end
std::string RunRecordJson(const RunRecord& r);  // one object, no line end

// Appends `r` to the CSV file at `path` (made with its header when new) and has it on
// disk before returning. False with the reason when it cannot.
bool AppendRunRecord(const std::string& path, const RunRecord& r, std::string& error);

// Lower-case hexadecimal SHA-256 of `size` bytes.
std::string Sha256Hex(const uint8_t* data, uint64_t size);
