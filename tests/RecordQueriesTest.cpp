// The answers burnkit-records gives, over records made here: tallies, failures, one
// port's history, and the report page with its pictures.
#include <gtest/gtest.h>

#include "flash/records/RecordQueries.h"
#include "flash/records/RecordsReport.h"
#include "tests/support/TestSupport.h"

using namespace records;

namespace {

StoredRecord MadeRun(const char* time, const char* station, int slot, uint32_t code, const char* failure = "",
                 const char* lot = "L1") {
    StoredRecord s;
    ParseIsoTime(time, s.record.when);
    s.record.station = station;
    s.record.slot = slot;
    s.record.port = "/dev/ttyUSB" + std::to_string(slot);
    s.record.code = code;
    s.record.failure = failure;
    s.record.lot = lot;
    s.record.imageSha256 = "ab12";
    return s;
}

const std::vector<StoredRecord> kRuns = {
    MadeRun("2024-06-01T08:00:00Z", "st-a", 1, 0),
    MadeRun("2024-06-01T08:01:00Z", "st-a", 2, 0xB0003, "loader: no answer"),
    MadeRun("2024-06-01T09:00:00Z", "st-b", 1, 0, "", "L2"),
    MadeRun("2024-06-02T07:00:00Z", "st-b", 2, 0xB0003, "loader: no answer", "L2"),
    MadeRun("2024-06-02T07:30:00Z", "st-a", 1, 0xA0002, "boot ROM: no sync"),
    MadeRun("2024-06-03T10:00:00Z", "st-a", 2, 0),
};

}  // namespace

TEST(RecordQueries, TalliesGroupRunsAndCountThePassedOnes) {
    const auto days = TallyBy(kRuns, GroupBy::kDay);
    ASSERT_EQ(days.size(), 3u);
    EXPECT_EQ(days[0].key, "2024-06-01");
    EXPECT_EQ(days[0].runs, 3);
    EXPECT_EQ(days[0].passed, 2);
    EXPECT_EQ(days[1].passed, 0);
    EXPECT_DOUBLE_EQ(days[2].YieldPercent(), 100.0);
    const auto stations = TallyBy(kRuns, GroupBy::kStation);
    ASSERT_EQ(stations.size(), 2u);
    EXPECT_EQ(stations[0].key, "st-a");
    EXPECT_EQ(stations[0].runs, 4);
    EXPECT_EQ(TallyBy(kRuns, GroupBy::kLot)[1].Failed(), 1);
    const Tally all = TallyAll(kRuns);
    EXPECT_EQ(all.runs, 6);
    EXPECT_DOUBLE_EQ(all.YieldPercent(), 50.0);
    GroupBy by;
    EXPECT_TRUE(ParseGroupBy("operator", by));
    EXPECT_EQ(by, GroupBy::kOperator);
    EXPECT_FALSE(ParseGroupBy("colour", by));
}

TEST(RecordQueries, FailuresComeByCodeAndStepTheMostFirst) {
    const auto failures = Failures(kRuns);
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].code, "b0003");
    EXPECT_EQ(failures[0].step, "loader: no answer");
    EXPECT_EQ(failures[0].count, 2);
    EXPECT_EQ(failures[1].code, "a0002");
    EXPECT_EQ(failures[1].count, 1);
}

TEST(RecordQueries, HistoryOfAPortOrASlotAndATimeWindow) {
    EXPECT_EQ(History(kRuns, "", 1, "").size(), 3u);
    EXPECT_EQ(History(kRuns, "", 1, "st-a").size(), 2u);
    EXPECT_EQ(History(kRuns, "/dev/ttyUSB2", 0, "").size(), 3u);
    const auto second = Between(kRuns, "2024-06-02T00:00:00Z", "2024-06-03T00:00:00Z");
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(second[0].record.station, "st-b");
}

// The page must open on a machine without a network: nothing it shows comes from
// elsewhere, and the words of a record cannot make markup.
TEST(RecordsReport, OnePageWithItsPicturesAndNothingFromElsewhere) {
    std::vector<StoredRecord> runs = kRuns;
    runs.push_back(MadeRun("2024-06-03T11:00:00Z", "<b>st-c</b>", 3, 0xB0004, "step \"<script>\" & more"));
    const std::string html = RecordsReportHtml(runs, {"runs.sqlite", "2024-06-01", "2024-06-04T00:00:00Z"});
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_EQ(testsupport::CountOf(html, "<svg "), 2u);
    EXPECT_NE(html.find("aria-label=\"Yield per day\""), std::string::npos);
    EXPECT_NE(html.find("aria-label=\"Failures by cause\""), std::string::npos);
    EXPECT_NE(html.find("7 runs, 3 passed, 4 failed: yield 42.9 %"), std::string::npos);
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_NE(html.find("&lt;b&gt;st-c&lt;/b&gt;"), std::string::npos);
    // The only address on the page is SVG's name space, which nothing fetches.
    std::size_t addresses = 0;
    for (std::size_t at = html.find("http"); at != std::string::npos; at = html.find("http", at + 1)) {
        EXPECT_EQ(html.compare(at, 26, "http://www.w3.org/2000/svg"), 0) << html.substr(at, 60);
        ++addresses;
    }
    EXPECT_EQ(addresses, 2u);
    for (const char* fetched : {"src=", "href=", "url(", "@import"}) EXPECT_EQ(html.find(fetched), std::string::npos);
}

TEST(RecordsReport, YieldChartPutsEachDayAtItsYield) {
    const std::string svg = YieldChartSvg(TallyBy(kRuns, GroupBy::kDay));
    // Three days over 664 units from x=48: their middles; yields 66.7, 0 and 100 % of 204
    // units down from y=16.
    EXPECT_NE(svg.find("points=\"158.7,84.0 380.0,220.0 601.3,16.0 \""), std::string::npos) << svg;
    EXPECT_NE(svg.find("<title>2024-06-02: 0.0 % of 2</title>"), std::string::npos);
    EXPECT_NE(FailureChartSvg({}).find("no failures"), std::string::npos);
}
