// One schema for a station's SQLite file and a line's PostgreSQL database. The table
// `runs` holds the record's columns (kRecordColumns, the CSV's columns one to one) and
// each record's sequence on its station; a record's identity (station, time, slot,
// sequence) is unique, so a record sent twice is kept once. `burnkit_schema` holds the
// schema's version: a tool migrates an older database and refuses to write into one
// made by a newer version.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "flash/core/RunRecord.h"

namespace records {

inline constexpr int kSchemaVersion = 1;

enum class Dialect { kSqlite, kPostgres };

// A record as a store keeps it: with its sequence on its station.
struct StoredRecord {
    RunRecord record;
    int64_t sequence = 0;
};

// The statement that makes the version table when there is none.
std::string VersionTableStatement();

// The statements that bring a database of schema `from` (0: empty) to kSchemaVersion, in
// order; none when it is there already.
std::vector<std::string> MigrationSteps(Dialect dialect, int from);

// Adds one record: the columns' values as parameters 1 to kRecordColumnCount. SQLite
// numbers the record's sequence itself; PostgreSQL takes it as the last parameter and
// keeps a record it already has once.
std::string InsertStatement(Dialect dialect);

// Every record from `since` (parameter 1, an ISO time) on, oldest first: the columns,
// then the sequence.
std::string SelectStatement(Dialect dialect);

// "<where> was made by a newer version of the toolkit (schema 3; this one knows up to 1)"
std::string NewerSchemaText(const std::string& where, int version);

// The record from its values as RunRecordFields gives them (an older CSV's fewer columns
// leave the later ones empty); false when a value cannot be read (`error` says which).
bool RecordFromFields(const std::vector<std::string>& fields, RunRecord& out, std::string& error);

// "2024-05-01" or "2024-05-01T08:30:00Z" as seconds since 1970 (UTC); false otherwise.
bool ParseIsoTime(const std::string& text, std::time_t& out);

}  // namespace records
