// Stations keeping their records: burnkit-cli writing to a station's file and to a line's
// PostgreSQL server (a real one, started in a scratch folder), and burnkit-records
// answering from them.
#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <sstream>
#include <thread>

#include "tests/support/PostgresServer.h"
#include "tests/support/SimulatedChip.h"

namespace {

struct Outcome {
    int status;
    std::string output;  // standard output and error together
};

Outcome Records(const std::string& arguments) {
    const std::string command = std::string(BURNKIT_RECORDS) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    Outcome o{-1, {}};
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) o.output.append(buf, n);
    const int raw = pclose(pipe);
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return o;
}

// The CSV export's rows after its header, split into fields (none of these hold a comma).
std::vector<std::vector<std::string>> Rows(const std::string& csv) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(csv);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string f; std::getline(cells, f, ',');) fields.push_back(f);
        rows.push_back(fields);
    }
    return rows;
}

// Columns of the export: time 0, slot 2, station 17.
std::string Identity(const std::vector<std::string>& row) { return row[17] + "|" + row[0] + "|" + row[2]; }

// The fixture: the flashed module taken out and the next one put in.
void NextModule(testsupport::SimulatedChip& chip) {
    chip.SetInserted(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    chip.SetInserted(true);
}

}  // namespace

// The line's test: two stations (two processes) share the server; one of them loses it
// in the middle of its batch, flashes on, and sends what it queued when it is back.
TEST(RecordsLine, TwoStationsOneCutOffMidBatchAndEveryModuleIsThereOnce) {
    testsupport::PostgresServer server;
    if (!server.Problem().empty()) GTEST_SKIP() << "no PostgreSQL server for the test: " << server.Problem();
    testsupport::ScratchDir dir;
    testsupport::WriteFile(dir / "image.bin", testsupport::RandomBytes(3000, 31));
    testsupport::SimulatedChip a;
    testsupport::SimulatedChip b1, b2, b3;
    testsupport::ChildProcess stationA({BURNKIT_CLI, "--port", a.Path(), "--image", dir / "image.bin", "--auto",
                                        "--quiet-ms", "300", "--records", server.Url(), "--local-records",
                                        dir / "a.sqlite", "--station", "station-a", "--lot", "L9"},
                                       dir.Path());
    testsupport::ChildProcess stationB({BURNKIT_CLI, "--port", b1.Path(), "--port", b2.Path(), "--port", b3.Path(),
                                        "--image", dir / "image.bin", "--records", server.Url(), "--local-records",
                                        dir / "b.sqlite", "--station", "station-b"},
                                       dir.Path());
    ASSERT_TRUE(stationA.WaitFor(": module 1: Burn Flash Img Success !", std::chrono::seconds(30))) << stationA.Output();
    EXPECT_EQ(stationB.Wait(std::chrono::seconds(60)), 0) << stationB.Output();
    NextModule(a);
    ASSERT_TRUE(stationA.WaitFor(": module 2: Burn Flash Img Success !", std::chrono::seconds(30))) << stationA.Output();

    ASSERT_TRUE(server.Stop()) << server.Problem();
    for (int module = 3; module <= 4; ++module) {
        NextModule(a);
        ASSERT_TRUE(stationA.WaitFor(": module " + std::to_string(module) + ": Burn Flash Img Success !",
                                     std::chrono::seconds(30)))
            << stationA.Output();
    }
    ASSERT_TRUE(stationA.WaitFor("burnkit-cli: records: cannot send to the line's database", std::chrono::seconds(10)))
        << stationA.Output();
    ASSERT_TRUE(server.Start()) << server.Problem();
    NextModule(a);
    ASSERT_TRUE(stationA.WaitFor(": module 5: Burn Flash Img Success !", std::chrono::seconds(30))) << stationA.Output();
    ASSERT_TRUE(stationA.WaitFor("is back: the queued records were sent", std::chrono::seconds(15))) << stationA.Output();
    stationA.Signal(SIGINT);
    EXPECT_EQ(stationA.Wait(std::chrono::seconds(10)), 130) << stationA.Output();

    const Outcome exported = Records("--records '" + server.Url() + "' export");
    ASSERT_EQ(exported.status, 0) << exported.output;
    const auto rows = Rows(exported.output);
    std::set<std::string> identities;
    int ofA = 0, ofB = 0;
    for (const auto& row : rows) {
        ASSERT_GE(row.size(), 18u) << exported.output;
        identities.insert(Identity(row));
        ofA += row[17] == "station-a";
        ofB += row[17] == "station-b";
    }
    EXPECT_EQ(ofA, 5) << exported.output;
    EXPECT_EQ(ofB, 3) << exported.output;
    EXPECT_EQ(identities.size(), rows.size()) << exported.output;
    const Outcome summary = Records("--records '" + server.Url() + "' summary --by station");
    EXPECT_NE(summary.output.find("station-a                                       5        5        0   100.0%"),
              std::string::npos)
        << summary.output;
}

// A station's own file: the questions a quality engineer asks, and the tool's answers
// to input it cannot use.
TEST(RecordsLine, BurnkitRecordsAnswersFromAStationsFile) {
    testsupport::ScratchDir dir;
    testsupport::WriteFile(dir / "image.bin", testsupport::RandomBytes(2000, 32));
    testsupport::SimulatedChip chip;
    const std::string file = dir / "runs.sqlite";
    const std::string cli = std::string(BURNKIT_CLI) + " --port " + chip.Path() + " --port " + (dir / "ttyGONE") +
                            " --image " + (dir / "image.bin") + " --records " + file + " --operator Ann >/dev/null 2>&1";
    EXPECT_NE(std::system(cli.c_str()), 0);  // one port would not open
    EXPECT_NE(std::system(cli.c_str()), 0);
    const std::string records = "--records " + file + " ";
    Outcome o = Records(records + "yield");
    ASSERT_EQ(o.status, 0) << o.output;
    EXPECT_NE(o.output.find("all                                             4        2        2    50.0%"),
              std::string::npos)
        << o.output;
    o = Records(records + "failures");
    EXPECT_NE(o.output.find("     2      3  no port to flash through"), std::string::npos) << o.output;
    o = Records(records + "history --port " + (dir / "ttyGONE"));
    EXPECT_EQ(testsupport::CountOf(o.output, "\n"), 3u) << o.output;  // the heading and two runs
    EXPECT_EQ(testsupport::CountOf(o.output, "      3     0.0  Open" + (dir / "ttyGONE") + " Failed!"), 2u) << o.output;
    o = Records(records + "summary --by operator --since 2000-01-01");
    EXPECT_NE(o.output.find("Ann "), std::string::npos) << o.output;
    o = Records(records + "export --format json -o " + (dir / "runs.json"));
    ASSERT_EQ(o.status, 0) << o.output;
    const std::string json = testsupport::ReadFile(dir / "runs.json");
    EXPECT_EQ(testsupport::CountOf(json, "{\"time\":"), 4u) << json;
    EXPECT_NE(json.find("\"operator\":\"Ann\""), std::string::npos);
    o = Records(records + "report --since 2000-01-01 -o " + (dir / "report.html"));
    ASSERT_EQ(o.status, 0) << o.output;
    const std::string html = testsupport::ReadFile(dir / "report.html");
    EXPECT_NE(html.find("4 runs, 2 passed, 2 failed: yield 50.0 %"), std::string::npos);
    EXPECT_EQ(testsupport::CountOf(html, "<svg "), 2u);

    o = Records(records + "summary --since yesterday");
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.output.find("--since wants YYYY-MM-DD or YYYY-MM-DDThh:mm:ssZ, not \"yesterday\""), std::string::npos);
    o = Records(records + "summary --by colour");
    EXPECT_EQ(o.status, 2);
    o = Records("--records " + (dir / "none.sqlite") + " yield");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.output.find((dir / "none.sqlite") + ": no such records file"), std::string::npos) << o.output;
    o = Records(records + "send --local-records x.sqlite");
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.output.find("send needs a postgresql:// --records"), std::string::npos) << o.output;
}

// A records file the station cannot write: said before any module is flashed, and the
// module is left as it was.
TEST(RecordsLine, ARecordsFileOfANewerSchemaStopsTheStationBeforeItFlashes) {
    testsupport::ScratchDir dir;
    testsupport::WriteFile(dir / "image.bin", testsupport::RandomBytes(2000, 33));
    testsupport::SimulatedChip chip;
    const std::string file = dir / "runs.sqlite";
    ASSERT_EQ(Records("--records " + dir / "x.csv" + " yield").status, 1);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE burnkit_schema (version INTEGER NOT NULL);"
                               "INSERT INTO burnkit_schema VALUES (2)", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    const std::string before = chip.Flash();
    const std::string command = std::string(BURNKIT_CLI) + " --port " + chip.Path() + " --image " +
                                (dir / "image.bin") + " --records " + file + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    EXPECT_EQ(WEXITSTATUS(pclose(pipe)), 2) << out;
    EXPECT_NE(out.find("burnkit-cli: cannot keep records: " + file +
                       " was made by a newer version of the toolkit (schema 2; this one knows up to 1)"),
              std::string::npos)
        << out;
    EXPECT_EQ(chip.Flash(), before);
}

// A records file or folder the station may not write (root may write anything: the tool
// then runs as the user nobody). The store is opened before any port, so nothing is
// flashed unrecorded, and the status is 2.
TEST(RecordsLine, AReadOnlyRecordsFileOrFolderIsSaidBeforeAnyPortIsOpened) {
    testsupport::ScratchDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    testsupport::WriteFile(dir / "image.bin", testsupport::RandomBytes(2000, 34));
    ::chmod((dir / "image.bin").c_str(), 0644);
    const std::string file = dir / "runs.sqlite";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE notes (a)", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    const std::string as = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    for (const auto& [records, said] :
         {std::pair{file, file + ": attempt to write a readonly database"},
          std::pair{dir / "new.sqlite", (dir / "new.sqlite") + ": unable to open database file"}}) {
        const std::string command = as + BURNKIT_CLI + " --port /dev/null --image " + (dir / "image.bin") +
                                    " --records " + records + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        std::string out;
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
        EXPECT_EQ(WEXITSTATUS(pclose(pipe)), 2) << out;
        EXPECT_EQ(out, "burnkit-cli: cannot keep records: " + said + "\n");
    }
}
