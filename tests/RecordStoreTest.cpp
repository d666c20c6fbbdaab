// The record stores: a station's SQLite file and a line's PostgreSQL server (a real one,
// started in a scratch folder), and what a station does when the server goes away.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "flash/records/PgRecords.h"
#include "flash/records/RecordStore.h"
#include "flash/records/SqliteRecords.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/TestSupport.h"

using namespace records;

namespace {

RunRecord Sample(int slot, uint32_t code = 0, const std::string& station = "station-a") {
    RunRecord r;
    r.when = 1717230600;  // 2024-06-01T08:30:00Z
    r.program = "burnkit-cli";
    r.slot = slot;
    r.port = "/dev/ttyUSB" + std::to_string(slot - 1);
    r.imagePath = "fw, \"final\".bin";  // a separator and quotes in a field
    r.imageSize = 524288;
    r.imageSha256 = std::string(64, 'a');
    r.code = code;
    r.seconds = 41.5;
    r.bytesPerSecond = code ? 0 : 12633;
    r.imageFullPath = "/srv/fw, \"final\".bin";
    r.rateUsed = 921600;
    r.packetRepeats = 2;
    r.failure = code ? "loader: no answer to the packet at 0x10000" : "";
    r.version = "1.2.0";
    r.station = station;
    r.operatorName = "Ann";
    r.lot = "L-7";
    r.logPath = "/var/log/run.log";
    return r;
}

// The record as every column shows it: two records are the same when these are.
std::string Columns(const RunRecord& r) { return RunRecordCsv(r); }

std::unique_ptr<RecordStore> Open(const std::string& destination, std::string& error, const std::string& local = {},
                                  std::function<void(const std::string&)> onNotice = {}) {
    StoreOptions options;
    options.localPath = local;
    options.onNotice = std::move(onNotice);
    options.resendMs = 200;
    return OpenRecordStore(destination, options, error);
}

void SetSchemaVersion(const std::string& path, int version) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    const std::string sql = "UPDATE burnkit_schema SET version = " + std::to_string(version);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

}  // namespace

TEST(RecordSchema, EveryCsvColumnComesBackFromItsField) {
    for (uint32_t code : {0u, 0xB0003u}) {
        const RunRecord r = Sample(3, code);
        RunRecord back;
        std::string error;
        ASSERT_TRUE(RecordFromFields(RunRecordFields(r), back, error)) << error;
        EXPECT_EQ(Columns(back), Columns(r));
    }
    RunRecord back;
    std::string error;
    std::vector<std::string> fields = RunRecordFields(Sample(1));
    fields[7] = "zz";
    EXPECT_FALSE(RecordFromFields(fields, back, error));
    EXPECT_EQ(error, "the result column holds 'zz'");
}

TEST(RecordSchema, IsoTimesAndDaysReadAsUtc) {
    std::time_t t = 0;
    ASSERT_TRUE(ParseIsoTime("2024-06-01T08:30:00Z", t));
    EXPECT_EQ(t, 1717230600);
    ASSERT_TRUE(ParseIsoTime("2000-03-01", t));
    EXPECT_EQ(t, 951868800);
    for (const char* bad : {"2024-13-01", "2024-06-01T08:30:00", "yesterday", "2024-6-1", ""})
        EXPECT_FALSE(ParseIsoTime(bad, t)) << bad;
}

TEST(SqliteRecords, RecordsComeBackWholeNumberedAndTheFileIsInWalMode) {
    testsupport::ScratchDir dir;
    std::string error;
    auto store = Open(dir / "runs.sqlite", error);
    ASSERT_TRUE(store) << error;
    for (int slot = 1; slot <= 3; ++slot) ASSERT_TRUE(store->Append(Sample(slot, slot == 2 ? 0xB0003 : 0), error));
    std::vector<StoredRecord> back;
    ASSERT_TRUE(store->Read("", back, error)) << error;
    ASSERT_EQ(back.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Columns(back[i].record), Columns(Sample(i + 1, i == 1 ? 0xB0003 : 0)));
        EXPECT_EQ(back[i].sequence, i + 1);
    }
    store.reset();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir / "runs.sqlite").c_str(), &db), SQLITE_OK);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &s, nullptr);
    ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)), "wal");
    sqlite3_finalize(s);
    sqlite3_close(db);
}

// Sixteen slots finishing at once: every record kept once, each with its own number.
TEST(SqliteRecords, SixteenSlotsWritingAtOnceLoseAndDoubleNothing) {
    testsupport::ScratchDir dir;
    std::string error;
    auto store = Open(dir / "runs.sqlite", error);
    ASSERT_TRUE(store) << error;
    constexpr int kSlots = 16, kEach = 20;
    std::vector<std::thread> slots;
    std::atomic<int> failed{0};
    for (int slot = 1; slot <= kSlots; ++slot)
        slots.emplace_back([&, slot] {
            for (int i = 0; i < kEach; ++i) {
                std::string why;
                if (!store->Append(Sample(slot), why)) ++failed;
            }
        });
    for (auto& t : slots) t.join();
    EXPECT_EQ(failed.load(), 0);
    std::vector<StoredRecord> back;
    ASSERT_TRUE(store->Read("", back, error)) << error;
    ASSERT_EQ(back.size(), std::size_t{kSlots * kEach});
    std::set<int64_t> sequences;
    std::vector<int> perSlot(kSlots + 1);
    for (const StoredRecord& s : back) sequences.insert(s.sequence), ++perSlot[s.record.slot];
    EXPECT_EQ(sequences.size(), back.size());
    for (int slot = 1; slot <= kSlots; ++slot) EXPECT_EQ(perSlot[slot], kEach) << slot;
}

TEST(SqliteRecords, FilesItCannotWriteSayWhyAndKeepWhatTheyHold) {
    testsupport::ScratchDir dir;
    std::string error;
    {
        auto store = Open(dir / "runs.sqlite", error);
        ASSERT_TRUE(store) << error;
        ASSERT_TRUE(store->Append(Sample(1), error));
    }
    SetSchemaVersion(dir / "runs.sqlite", 9);
    EXPECT_FALSE(Open(dir / "runs.sqlite", error));
    EXPECT_EQ(error, (dir / "runs.sqlite") + " was made by a newer version of the toolkit (schema 9; this one knows up to 1)");
    SetSchemaVersion(dir / "runs.sqlite", 1);
    std::vector<StoredRecord> back;
    ASSERT_TRUE(ReadRecords(dir / "runs.sqlite", "", back, error)) << error;
    EXPECT_EQ(back.size(), 1u);

    testsupport::WriteFile(dir / "notes.db", "these are someone's notes, not records\n");
    EXPECT_FALSE(Open(dir / "notes.db", error));
    EXPECT_EQ(error, (dir / "notes.db") + ": file is not a database");
    EXPECT_EQ(testsupport::ReadFile(dir / "notes.db"), "these are someone's notes, not records\n");
    EXPECT_FALSE(ReadRecords(dir / "missing.sqlite", "", back, error));
    EXPECT_EQ(error, (dir / "missing.sqlite") + ": no such records file");
}

TEST(CsvRecords, AFileOfAppendedRecordsReadsBackAndACutLineIsLeftOut) {
    testsupport::ScratchDir dir;
    std::string error;
    auto store = Open(dir / "runs.csv", error);
    ASSERT_TRUE(store) << error;
    ASSERT_TRUE(store->Append(Sample(1), error));
    ASSERT_TRUE(store->Append(Sample(2, 0xA0002), error));
    const std::string whole = testsupport::ReadFile(dir / "runs.csv");
    testsupport::WriteFile(dir / "runs.csv", whole + RunRecordCsv(Sample(3)).substr(0, 40));  // a full disk
    std::vector<StoredRecord> back;
    ASSERT_TRUE(store->Read("", back, error)) << error;
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(Columns(back[1].record), Columns(Sample(2, 0xA0002)));
    back.clear();
    EXPECT_TRUE(store->Read("2024-06-02", back, error));
    EXPECT_TRUE(back.empty());
}

class LineRecords : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_server.Problem().empty()) GTEST_SKIP() << "no PostgreSQL server for the test: " << m_server.Problem();
    }
    std::vector<StoredRecord> OnServer() {
        std::vector<StoredRecord> out;
        std::string error;
        EXPECT_TRUE(ReadRecords(m_server.Url(), "", out, error)) << error;
        return out;
    }
    std::function<void(const std::string&)> Collect() {
        return [this](const std::string& notice) {
            std::lock_guard lock(m_mutex);
            m_notices.push_back(notice);
        };
    }
    std::string Notices() {
        std::lock_guard lock(m_mutex);
        std::string all;
        for (const auto& n : m_notices) all += n + "\n";
        return all;
    }

    testsupport::PostgresServer m_server;
    testsupport::ScratchDir m_dir;
    std::mutex m_mutex;
    std::vector<std::string> m_notices;
};

TEST_F(LineRecords, ARecordSentTwiceIsKeptOnce) {
    PgRecords server(m_server.Url());
    std::string error;
    StoredRecord stored{Sample(1), 7};
    ASSERT_TRUE(server.Add(stored, error)) << error;
    ASSERT_TRUE(server.Add(stored, error)) << error;  // its "sent" lost with the connection
    stored.sequence = 8;                               // the next module, in the same second
    ASSERT_TRUE(server.Add(stored, error)) << error;
    const auto all = OnServer();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(Columns(all[0].record), Columns(Sample(1)));
}

// The server goes away in the middle of a batch and comes back: the station says it
// queues, keeps every record in its own file, and the server gets each once.
TEST_F(LineRecords, AStationCutOffQueuesSaysSoAndSendsEachRecordOnceWhenTheServerIsBack) {
    std::string error;
    auto store = Open(m_server.Url(), error, m_dir / "station.sqlite", Collect());
    ASSERT_TRUE(store) << error;
    for (int slot = 1; slot <= 3; ++slot) ASSERT_TRUE(store->Append(Sample(slot), error)) << error;
    ASSERT_TRUE(store->Flush(10000)) << store->State().problem;
    ASSERT_TRUE(m_server.Stop());
    for (int slot = 4; slot <= 6; ++slot) ASSERT_TRUE(store->Append(Sample(slot), error)) << error;
    ASSERT_TRUE(testsupport::WaitUntil([&] { return store->State().queueing && store->State().queued == 3; },
                                       std::chrono::seconds(10)));
    EXPECT_FALSE(store->Flush(300));
    EXPECT_NE(Notices().find("records: cannot send to the line's database: postgresql://burnkit:***@"),
              std::string::npos) << Notices();
    EXPECT_NE(Notices().find(" record(s) queued in " + (m_dir / "station.sqlite")), std::string::npos) << Notices();
    EXPECT_EQ(Notices().find("secret"), std::string::npos) << "the password is never shown";
    ASSERT_TRUE(m_server.Start()) << m_server.Problem();
    ASSERT_TRUE(store->Flush(15000)) << store->State().problem;
    EXPECT_FALSE(store->State().queueing);
    EXPECT_NE(Notices().find("is back: the queued records were sent"), std::string::npos) << Notices();
    const auto all = OnServer();
    ASSERT_EQ(all.size(), 6u);
    std::set<int> slots;
    for (const auto& s : all) slots.insert(s.record.slot);
    EXPECT_EQ(slots.size(), 6u);
    std::vector<StoredRecord> local;
    ASSERT_TRUE(ReadRecords(m_dir / "station.sqlite", "", local, error)) << error;
    EXPECT_EQ(local.size(), 6u);  // the station's own file keeps them all
}

// What the station cannot fix itself (a wrong password, a database of a newer schema)
// is said; the records wait in the station's file and a later start sends them.
TEST_F(LineRecords, WrongCredentialsAndANewerServerSchemaKeepTheRecordsQueued) {
    std::string error;
    {
        auto store = Open(m_server.Url("wrong"), error, m_dir / "station.sqlite", Collect());
        ASSERT_TRUE(store) << error;
        ASSERT_TRUE(store->Append(Sample(1), error));
        EXPECT_FALSE(store->Flush(2000));
        EXPECT_NE(store->State().problem.find("password authentication failed for user \"burnkit\""),
                  std::string::npos) << store->State().problem;
        EXPECT_EQ(store->State().queued, 1);
    }
    ASSERT_TRUE(OnServer().empty());  // makes the schema
    m_server.Psql("UPDATE burnkit_schema SET version = 5");
    {
        auto store = Open(m_server.Url(), error, m_dir / "station.sqlite", Collect());
        ASSERT_TRUE(store) << error;
        EXPECT_FALSE(store->Flush(2000));
        EXPECT_NE(store->State().problem.find("was made by a newer version of the toolkit (schema 5; this one knows up to 1)"),
                  std::string::npos) << store->State().problem;
    }
    m_server.Psql("UPDATE burnkit_schema SET version = 1");
    auto store = Open(m_server.Url(), error, m_dir / "station.sqlite", Collect());
    ASSERT_TRUE(store) << error;
    ASSERT_TRUE(store->Flush(10000)) << store->State().problem;
    EXPECT_EQ(OnServer().size(), 1u);
}
