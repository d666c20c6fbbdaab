#include "monitor/control/TtffSeries.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "platform/system/System.h"

namespace {

constexpr double kSecondsPerDay = 86400;

std::string Format(const char* format, double value) {
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

TtffStatistics StatisticsOf(std::span<const TtffCycle> cycles) {
    TtffStatistics s;
    std::vector<double> reached;
    for (const TtffCycle& c : cycles) {
        if (c.TimedOut()) ++s.timedOut;
        else reached.push_back(c.seconds);
    }
    s.reached = static_cast<int>(reached.size());
    if (reached.empty()) return s;
    std::sort(reached.begin(), reached.end());
    const std::size_t n = reached.size();
    s.minimum = reached.front();
    s.maximum = reached.back();
    s.median = n % 2 ? reached[n / 2] : (reached[n / 2 - 1] + reached[n / 2]) / 2;
    double sum = 0;
    for (double v : reached) sum += v;
    s.mean = sum / static_cast<double>(n);
    return s;
}

TtffSeries::TtffSeries(Restart restart, int cycles, double timeoutS)
    : m_restart(restart), m_wanted(std::clamp(cycles, 1, kMaxTtffCycles)), m_timeoutS(timeoutS) {}

void TtffSeries::BeginCycle(double hostS, std::time_t started) {
    m_running = true;
    m_timing = false;
    m_cycleBeganHostS = hostS;
    m_cycleStarted = started;
    m_rule.Rearm();
}

void TtffSeries::OnEpochTime(double secondOfDay) { m_epochS = secondOfDay; }

// From the first no-fix report after the restart to the first 3D report, on the
// receiver's own epoch clock: a slow line delivers seconds of sentences at once and a
// busy PC handles them late, so the host's clock would measure the line and the PC, not
// the receiver. A report counts with the time of the GGA before it only once: a receiver
// that sends no GGA time while it has no fix must not be timed from a stale one. When
// either end has no epoch time, the host's clock is all there is.
bool TtffSeries::OnFixReport(char fixType, double hostS) {
    const double epochS = m_epochS;
    m_epochS = -1;
    if (!m_running) return false;
    if (m_rule.OnFixReport(fixType)) {
        m_timing = true;
        m_startEpochS = epochS;
        m_startHostS = hostS;
    }
    if (!m_timing || m_rule.CurrentState() != TtffMeasurement::kFixed) return false;
    double took = hostS - m_startHostS;
    if (m_startEpochS >= 0 && epochS >= 0) {
        took = epochS - m_startEpochS;
        if (took < 0) took += kSecondsPerDay;  // across midnight
    }
    m_cycles.push_back({static_cast<int>(m_cycles.size()) + 1, m_restart, m_cycleStarted, took});
    m_running = false;
    return true;
}

bool TtffSeries::CheckTimeout(double hostS) {
    if (!m_running || hostS - m_cycleBeganHostS < m_timeoutS) return false;
    m_cycles.push_back({static_cast<int>(m_cycles.size()) + 1, m_restart, m_cycleStarted, -1});
    m_running = false;
    return true;
}

double EpochSecondOf(const GgaRecord& gga) { return gga.hour * 3600.0 + gga.minute * 60.0 + gga.second; }

const char* RestartName(Restart restart) {
    switch (restart) {
        case Restart::Cold: return "cold";
        case Restart::Warm: return "warm";
        case Restart::Hot: return "hot";
    }
    return "";
}

std::string StartedText(std::time_t started) {
    const std::tm utc = platform::UtcTime(started);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string SecondsText(const TtffCycle& cycle) {
    return cycle.TimedOut() ? "time-out" : Format("%.1f", cycle.seconds);
}

std::string CycleLine(const TtffCycle& cycle) {
    const std::string ttff = cycle.TimedOut() ? "time-out" : SecondsText(cycle) + " s";
    return "cycle " + std::to_string(cycle.number) + "  " + RestartName(cycle.restart) + "  " + ttff + "  " +
           StartedText(cycle.started);
}

std::string StatisticsLine(const TtffStatistics& s) {
    const int all = s.reached + s.timedOut;
    std::string line = std::to_string(s.reached) + " of " + std::to_string(all) + " cycles reached 3D";
    if (s.timedOut) line += " (" + std::to_string(s.timedOut) + (s.timedOut == 1 ? " time-out)" : " time-outs)");
    if (s.reached == 0) return line;
    return line + ": min " + Format("%.1f", s.minimum) + " s, median " + Format("%.2f", s.median) + " s, mean " +
           Format("%.2f", s.mean) + " s, max " + Format("%.1f", s.maximum) + " s";
}

std::string TtffCsv(std::span<const TtffCycle> cycles) {
    std::string csv = "cycle,restart,ttff_s,started\n";
    for (const TtffCycle& c : cycles)
        csv += std::to_string(c.number) + "," + RestartName(c.restart) + "," + SecondsText(c) + "," +
               StartedText(c.started) + "\n";
    const TtffStatistics s = StatisticsOf(cycles);
    csv += "\nstatistic,value\n";
    csv += "cycles," + std::to_string(s.reached + s.timedOut) + "\n";
    csv += "reached_3d," + std::to_string(s.reached) + "\n";
    csv += "time_outs," + std::to_string(s.timedOut) + "\n";
    // Without a cycle that reached 3D there is nothing to take a figure of: empty fields.
    const auto figure = [&](const char* name, double v, const char* format) {
        csv += std::string(name) + "," + (s.reached ? Format(format, v) : "") + "\n";
    };
    figure("min_s", s.minimum, "%.1f");
    figure("median_s", s.median, "%.2f");
    figure("mean_s", s.mean, "%.2f");
    figure("max_s", s.maximum, "%.1f");
    return csv;
}

std::string WriteTtffCsv(const std::string& path, std::span<const TtffCycle> cycles) {
    errno = 0;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string csv = TtffCsv(cycles);
    if (out) out.write(csv.data(), static_cast<std::streamsize>(csv.size()));
    if (out) out.close();
    if (!out) return "cannot write " + path + ": " + std::strerror(errno ? errno : EIO);
    return "";
}
