// A series of restarts timed to 3D: the statistics, the timing rule the panel and zrctl
// share, and the CSV.
#include <gtest/gtest.h>

#include "monitor/control/TtffSeries.h"
#include "tests/support/TestSupport.h"

namespace {

std::vector<TtffCycle> CyclesOf(std::initializer_list<double> seconds) {
    std::vector<TtffCycle> cycles;
    for (double s : seconds) cycles.push_back({static_cast<int>(cycles.size()) + 1, Restart::Hot, 0, s});
    return cycles;
}

// One epoch of the receiver: its GGA time, then its fix report, handled at `hostS`.
bool Epoch(TtffSeries& series, double secondOfDay, char fixType, double hostS) {
    series.OnEpochTime(secondOfDay);
    return series.OnFixReport(fixType, hostS);
}

}  // namespace

TEST(TtffStatistics, MedianOfOddAndEvenCountsAndTimeOutsLeftOut) {
    const TtffStatistics odd = StatisticsOf(CyclesOf({3.0, -1, 1.0, 2.0}));
    EXPECT_EQ(odd.reached, 3);
    EXPECT_EQ(odd.timedOut, 1);
    EXPECT_DOUBLE_EQ(odd.minimum, 1.0);
    EXPECT_DOUBLE_EQ(odd.median, 2.0);
    EXPECT_DOUBLE_EQ(odd.mean, 2.0);
    EXPECT_DOUBLE_EQ(odd.maximum, 3.0);
    const TtffStatistics even = StatisticsOf(CyclesOf({4.0, 1.0, -1, -1, 3.0, 1.5}));
    EXPECT_DOUBLE_EQ(even.median, 2.25);  // between 1.5 and 3.0
    EXPECT_DOUBLE_EQ(even.mean, 2.375);
    EXPECT_EQ(even.timedOut, 2);
    EXPECT_EQ(StatisticsLine(even),
              "4 of 6 cycles reached 3D (2 time-outs): min 1.0 s, median 2.25 s, mean 2.38 s, max 4.0 s");
    const TtffStatistics none = StatisticsOf(CyclesOf({-1}));
    EXPECT_EQ(none.reached, 0);
    EXPECT_DOUBLE_EQ(none.maximum, 0);
    EXPECT_EQ(StatisticsLine(none), "0 of 1 cycles reached 3D (1 time-out)");
}

// The host handles the epochs late and in bursts (a slow line): the times are the
// receiver's, from its first no-fix report to its first 3D one.
TEST(TtffSeries, TimesEachCycleOnTheReceiversClockFromNoFixTo3D) {
    TtffSeries series(Restart::Warm, 2, 300);
    series.BeginCycle(100, 1765182612);
    EXPECT_FALSE(Epoch(series, 86399.0, '3', 100.2));  // still the old fix: not yet restarted
    EXPECT_FALSE(Epoch(series, 86399.5, '1', 101.0));
    EXPECT_FALSE(Epoch(series, 0.5, '2', 109.0));  // past midnight
    EXPECT_TRUE(Epoch(series, 12.5, '3', 109.1));
    ASSERT_EQ(series.Cycles().size(), 1u);
    EXPECT_DOUBLE_EQ(series.Cycles()[0].seconds, 13.0);
    EXPECT_EQ(CycleLine(series.Cycles()[0]), "cycle 1  warm  13.0 s  2025-12-08T08:30:12Z");
    EXPECT_FALSE(series.Finished());

    // A no-fix report with no GGA time of its own (a receiver that sends an empty time
    // before its fix) is never timed from the GGA before the restart: the host's clock.
    series.BeginCycle(200, 1765182700);
    series.OnEpochTime(40.0);
    EXPECT_FALSE(Epoch(series, 41.0, '3', 200.5));
    EXPECT_FALSE(series.OnFixReport('1', 201.0));
    EXPECT_TRUE(Epoch(series, 50.0, '3', 204.5));
    EXPECT_DOUBLE_EQ(series.Cycles()[1].seconds, 3.5);
    EXPECT_TRUE(series.Finished());
    EXPECT_FALSE(series.OnFixReport('1', 205));  // after the series: nothing more
}

TEST(TtffSeries, TimeOutIsRecordedAndStopDropsTheCycleUnderWay) {
    TtffSeries series(Restart::Cold, 3, 30);
    series.BeginCycle(10, 0);
    EXPECT_FALSE(Epoch(series, 100, '1', 11));
    EXPECT_FALSE(series.CheckTimeout(39.9));
    EXPECT_TRUE(series.CheckTimeout(40));
    EXPECT_TRUE(series.Cycles().back().TimedOut());
    EXPECT_FALSE(series.CycleRunning());
    EXPECT_FALSE(Epoch(series, 101, '3', 41));  // too late for the cycle that timed out

    series.BeginCycle(50, 0);
    EXPECT_FALSE(Epoch(series, 110, '1', 51));
    series.Stop();
    EXPECT_FALSE(Epoch(series, 111, '3', 52));
    EXPECT_EQ(series.Cycles().size(), 1u);
    EXPECT_FALSE(series.Finished());
}

TEST(TtffCsv, CyclesThenStatisticsWrittenToTheFile) {
    std::vector<TtffCycle> cycles = CyclesOf({2.0, -1, 3.0});
    cycles[1].started = 1765182612;
    const std::string expected =
        "cycle,restart,ttff_s,started\n"
        "1,hot,2.0,1970-01-01T00:00:00Z\n"
        "2,hot,time-out,2025-12-08T08:30:12Z\n"
        "3,hot,3.0,1970-01-01T00:00:00Z\n"
        "\n"
        "statistic,value\n"
        "cycles,3\nreached_3d,2\ntime_outs,1\nmin_s,2.0\nmedian_s,2.50\nmean_s,2.50\nmax_s,3.0\n";
    testsupport::ScratchDir dir;
    EXPECT_EQ(WriteTtffCsv(dir / "ttff.csv", cycles), "");
    EXPECT_EQ(testsupport::ReadFile(dir / "ttff.csv"), expected);
    // No cycle reached 3D: the figures stay empty rather than read as 0 s.
    EXPECT_NE(TtffCsv(CyclesOf({-1})).find("min_s,\nmedian_s,\nmean_s,\nmax_s,\n"), std::string::npos);
    EXPECT_EQ(WriteTtffCsv(dir / "no/such/dir.csv", cycles),
              "cannot write " + dir / "no/such/dir.csv" + ": No such file or directory");
}
