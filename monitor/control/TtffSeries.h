// A series of restarts of one kind, each timed to its first 3D fix, and what the cycles
// come to. Plain code without a clock or a port of its own: the command panel and zrctl
// feed it the link's messages in the order the link posts them, with their own clock's
// seconds, and send the restart command when a cycle begins.
#pragma once

#include <ctime>
#include <span>
#include <string>
#include <vector>

#include "monitor/control/CommandTable.h"
#include "monitor/control/Ttff.h"
#include "monitor/link/ReceiverState.h"

inline constexpr double kDefaultTtffTimeoutS = 300;
inline constexpr int kMaxTtffCycles = 999;

struct TtffCycle {
    int number;           // from 1
    Restart restart;
    std::time_t started;  // when its restart command went out (UTC)
    double seconds;       // to the 3D fix; negative when the cycle timed out
    bool TimedOut() const { return seconds < 0; }
};

// Of the cycles that reached 3D: a cycle that timed out is counted, never averaged.
struct TtffStatistics {
    int reached = 0, timedOut = 0;
    double minimum = 0, median = 0, mean = 0, maximum = 0;  // 0 when none reached 3D
};
TtffStatistics StatisticsOf(std::span<const TtffCycle> cycles);

class TtffSeries {
public:
    TtffSeries(Restart restart, int cycles, double timeoutS);

    // The caller has just sent the restart command of the next cycle. `hostS` is the
    // caller's steady clock in seconds, `started` the wall clock.
    void BeginCycle(double hostS, std::time_t started);
    // A GGA's time, seconds of the day: the receiver's epoch clock.
    void OnEpochTime(double secondOfDay);
    // A completed satellite cycle's fix type; true when it ends the cycle at 3D.
    bool OnFixReport(char fixType, double hostS);
    // True when the cycle under way has run `timeoutS` without a 3D fix: it is recorded
    // as timed out.
    bool CheckTimeout(double hostS);
    // Ends the series; a cycle under way is dropped (it was not measured).
    void Stop() { m_running = false; }

    bool CycleRunning() const { return m_running; }
    // Whether the cycle under way (or the last one) saw the module report no fix.
    bool SawNoFix() const { return m_timing; }
    bool Finished() const { return static_cast<int>(m_cycles.size()) >= m_wanted; }
    int Wanted() const { return m_wanted; }
    Restart Kind() const { return m_restart; }
    double TimeoutS() const { return m_timeoutS; }
    const std::vector<TtffCycle>& Cycles() const { return m_cycles; }

private:
    Restart m_restart;
    int m_wanted;
    double m_timeoutS;
    std::vector<TtffCycle> m_cycles;
    bool m_running = false;
    double m_cycleBeganHostS = 0;
    std::time_t m_cycleStarted = 0;
    TtffMeasurement m_rule;  // the first no-fix report after the restart, then 3D
    double m_epochS = -1;    // the latest GGA's time, until a fix report has used it
    double m_startEpochS = -1, m_startHostS = 0;
    bool m_timing = false;
};

// A GGA's time as seconds of the day: what the series is given as the epoch clock.
double EpochSecondOf(const GgaRecord& gga);

// The texts the panel and zrctl share.
const char* RestartName(Restart restart);           // "cold", "warm", "hot"
std::string StartedText(std::time_t started);       // "2026-12-08T08:30:12Z"
std::string SecondsText(const TtffCycle& cycle);    // "2.0" or "time-out"
// "cycle 2  hot  2.0 s  2026-12-08T08:30:12Z"
std::string CycleLine(const TtffCycle& cycle);
// "3 of 4 cycles reached 3D (1 time-out): min 1.9 s, median 2.00 s, mean 2.03 s, max 2.2 s"
std::string StatisticsLine(const TtffStatistics& s);

// The cycles as CSV, then a blank line and the statistics:
//   cycle,restart,ttff_s,started
//   1,hot,2.0,2026-12-08T08:30:12Z
//   2,hot,time-out,2026-12-08T08:35:12Z
//
//   statistic,value
//   cycles,2
//   reached_3d,1 ...
std::string TtffCsv(std::span<const TtffCycle> cycles);
// Writes the CSV to `path`; the reason when that fails ("cannot write PATH: ...").
std::string WriteTtffCsv(const std::string& path, std::span<const TtffCycle> cycles);
