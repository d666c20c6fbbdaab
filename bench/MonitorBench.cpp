// skyLedger's own cost, on the offscreen platform, connected to a pseudo-terminal that
// carries the simulator's output of four constellations:
// - cost: the process's CPU time over a run of S seconds (default 60) at 10 epochs a
//   second, each written at once, as a share of one core, and its resident memory after
//   the first epochs and at the end; the same at 1 epoch a second beside it;
// - latency: from the last byte of an epoch on the line until every window has handled
//   its messages of that epoch and painted them, with the bytes paced at the line's rate:
//   9600 baud at 1 epoch a second, where an epoch takes 1.23 s of the line and the next
//   follows at once, and 115200 at 10, where an epoch takes 102 ms and the line is full
//   again. The baseline is the link's own latency in the same run, as receive_path_bench
//   takes it: the link alone (the same bytes to a sink that notes when it posted each
//   epoch's last message), each epoch written at once onto a quiet line. Each figure is
//   given as a ratio to it; beside it, the link alone on the same paced line.
//
//   monitor_bench [--seconds S] [--fast-seconds S] [--slow-seconds S] [--report-every S]
//                 [--cost-only yes] [--epochs N] [--baud B [--rate HZ]]
//
// The cost runs play the simulator's square route (zrsim --route) to a monitor at 256000
// baud; --fast-seconds and --slow-seconds set the 10 and 1 Hz runs apart (0 leaves one
// out), --report-every prints the figures so far at that interval. Each run ends with
// what the windows did: messages and paints by window against the epochs written, the
// longest repaint pass, how late the last message of an epoch came at worst and how many
// came later than one epoch period.
//
// --baud measures the latency on that line alone (at --rate epochs a second, 1 unless
// given); --epochs sets how many epochs each line is measured over, six a connection
// (default 60 at 1 Hz, 30 s of epochs at higher rates); --seconds 0 leaves the cost out,
// --cost-only yes the latency (for runs of an hour).
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/PacedLine.h"
#include "bench/WindowTrace.h"
#include "monitor/app/MainFrame.h"
#include "monitor/app/MonitorApp.h"
#include "monitor/link/CaptureLog.h"
#include "monitor/link/CommPort.h"
#include "monitor/link/NmeaThread.h"
#include "monitor/windows/WindowTypes.h"
#include "platform/notifier/Notifier.h"

namespace {

using bench::CpuSeconds;
using bench::Pty;

using bench::Clock;
using bench::kWindows;

// The first epoch of a connection is left out: its sky report and summary wait for the
// next epoch, as the link learns from it which sentence ends an epoch. So is the last: the
// line goes quiet after it, and the quiet rule ends its read.
constexpr std::size_t kWarmUpEpochs = 1;

bool Measured(std::size_t epoch, std::size_t written) { return epoch >= kWarmUpEpochs && epoch + 1 < written; }

// After the last byte: the link's read time-outs and the windows' paints are long over.
constexpr int kSettleMs = 500;
// Epochs measured on one connection (see MeasureLine).
constexpr int kEpochsPerConnection = 6;
// The yardstick: the link alone, each epoch written at once onto a quiet line, so that
// the read ends on the 20 ms pause after it, whatever the place of its last byte.
constexpr int kYardstickEpochs = 100;

// The event loop as the program runs it: asleep until something happens.
void Pump(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The link alone: when it posted each epoch's last message.
class LinkTimes : public ILinkSink {
public:
    void Post(const LinkMessage& message) override {
        const int epoch = m_order.Of(message);
        if (epoch < 0) return;
        std::lock_guard lock(m_mutex);
        if (m_last.size() <= static_cast<std::size_t>(epoch)) m_last.resize(static_cast<std::size_t>(epoch) + 1);
        m_last[static_cast<std::size_t>(epoch)] = Clock::now();
    }
    std::vector<Clock::time_point> Last() {
        std::lock_guard lock(m_mutex);
        return m_last;
    }

private:
    bench::EpochOrder m_order;
    std::mutex m_mutex;
    std::vector<Clock::time_point> m_last;
};

struct LineCase {
    uint32_t baudRate;
    int perSecond;
};

struct Spread {
    double median = 0, p95 = 0, max = 0;
};

Spread SpreadOf(std::vector<double> ms) {
    if (ms.empty()) return {};
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back()};
}

// What one line gave over all its connections, in ms per measured epoch.
struct LineSamples {
    std::vector<double> link;           // last byte to the link's last message
    std::vector<double> windows;        // last byte to every window shown
    std::vector<double> afterMessages;  // the windows' last message to every window shown
    std::array<std::vector<double>, kWindows> byWindow;  // last byte to each window shown
    std::size_t allWindows = 0;                          // epochs that reached every window
    int connections = 0;
    Clock::duration longestPause{};
    int quietPauses = 0;

    void AddPacing(const bench::PacedEpochs& paced) {
        longestPause = std::max(longestPause, paced.longestPause);
        quietPauses += paced.quietPauses;
    }
};

void AddWindowSamples(LineSamples& samples, const std::vector<bench::EpochInWindows>& shown,
                      const std::vector<Clock::time_point>& lastByte) {
    for (std::size_t e = 0; e < shown.size() && e < lastByte.size(); ++e) {
        if (!Measured(e, lastByte.size())) continue;
        Clock::time_point handled{}, every{};
        std::size_t windows = 0;
        for (std::size_t w = 0; w < kWindows; ++w) {
            if (shown[e].shown[w] == Clock::time_point{}) continue;
            ++windows;
            handled = std::max(handled, shown[e].handled[w]);
            every = std::max(every, shown[e].shown[w]);
            samples.byWindow[w].push_back(Ms(shown[e].shown[w] - lastByte[e]));
        }
        if (windows == 0) continue;
        samples.allWindows += windows == kWindows;
        samples.windows.push_back(Ms(every - lastByte[e]));
        samples.afterMessages.push_back(Ms(every - handled));
    }
}

// The monitor as a user sees it, its windows tiled in a 1600 x 1000 frame, connected.
void ShowAndConnect(CMonitorApp& monitor, const RecordingNotifier& notifier) {
    monitor.MainFrame().resize(1600, 1000);
    monitor.Show();
    monitor.MainFrame().ConnectOrDisconnect();
    if (!notifier.messages.isEmpty()) {
        std::fprintf(stderr, "monitor_bench: %s\n", notifier.messages.join("; ").toStdString().c_str());
        std::exit(1);
    }
}

// The whole monitor on one connection: the epochs begin `phase` after it.
void MonitorOnLine(const LineCase& line, const std::vector<std::string>& epochs, Clock::duration phase,
                   LineSamples& samples) {
    Pty pty;
    RecordingNotifier notifier;
    CMonitorApp monitor(notifier, {QString::fromStdString(pty.slave)}, static_cast<int>(line.baudRate));
    ShowAndConnect(monitor, notifier);
    bench::WindowTrace trace(monitor.Registry());
    QCoreApplication::instance()->installEventFilter(&trace);
    bench::PacedEpochs paced;
    QEventLoop loop;
    std::thread writer([&] {
        std::this_thread::sleep_for(phase);
        paced = bench::PaceEpochs(pty.master, epochs, line.baudRate, line.perSecond);
        PostToWindowThread(&loop, [&loop] { loop.quit(); });
    });
    loop.exec();
    writer.join();
    Pump(kSettleMs);
    QCoreApplication::instance()->removeEventFilter(&trace);
    monitor.MainFrame().ConnectOrDisconnect();
    AddWindowSamples(samples, bench::EpochsInWindows(trace, epochs.size()), paced.lastByte);
    samples.AddPacing(paced);
}

// The link alone on one connection, capturing as the monitor does.
void LinkOnLine(const LineCase& line, const std::vector<std::string>& epochs, Clock::duration phase,
                LineSamples& samples) {
    Pty pty;
    CaptureLog log("LOG");
    LinkTimes sink;
    CNmeaThread link(pty.slave, line.baudRate == 0 ? 115200 : line.baudRate, &sink, &log);
    link.Start();
    if (!link.Connect()) {
        std::fprintf(stderr, "monitor_bench: %s\n", link.OpenErrorText().c_str());
        std::exit(1);
    }
    std::this_thread::sleep_for(phase);
    const bench::PacedEpochs paced = bench::PaceEpochs(pty.master, epochs, line.baudRate, line.perSecond);
    std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
    link.Shutdown();
    const std::vector<Clock::time_point> last = sink.Last();
    for (std::size_t e = 0; e < last.size() && e < paced.lastByte.size(); ++e)
        if (Measured(e, paced.lastByte.size()) && last[e] != Clock::time_point{})
            samples.link.push_back(Ms(last[e] - paced.lastByte[e]));
    samples.AddPacing(paced);
}

// On a full line an epoch's latency is mostly where its last byte falls in the receive
// worker's 50 ms read, and that place moves only slowly from epoch to epoch (two reads
// last about as long as an epoch at 115200 and 10 Hz, 24 as long at 9600 and 1 Hz), or
// stays for minutes. So each line is measured over many short connections whose epochs
// begin at points spread evenly over one read, the link alone and then the monitor at
// each.
LineSamples MeasureLine(const LineCase& line, int measuredEpochs) {
    const int connections = (measuredEpochs + kEpochsPerConnection - 1) / kEpochsPerConnection;
    const int perConnection = (measuredEpochs + connections - 1) / connections;
    const std::vector<std::string> epochs =
        bench::SimulatedEpochs(static_cast<int>(kWarmUpEpochs) + perConnection + 1, line.perSecond);
    LineSamples samples;
    samples.connections = connections;
    for (int c = 0; c < connections; ++c) {
        const auto phase = std::chrono::microseconds(kReadTotalTimeoutMs * 1000 * (2 * c + 1) / (2 * connections));
        LinkOnLine(line, epochs, phase, samples);
        MonitorOnLine(line, epochs, phase, samples);
    }
    return samples;
}

Spread Yardstick() {
    LineSamples samples;
    LinkOnLine({0, 10}, bench::SimulatedEpochs(kYardstickEpochs, 10), Clock::duration{}, samples);
    return SpreadOf(samples.link);
}

void PrintAgainst(const char* what, const std::vector<double>& ms, const Spread& yardstick) {
    const Spread s = SpreadOf(ms);
    std::printf("  %s (ms): median %.1f, 95%% %.1f, max %.1f; %.2f and %.2f times the link's own\n", what, s.median,
                s.p95, s.max, s.median / yardstick.median, s.p95 / yardstick.p95);
}

void PrintLine(const LineCase& line, const LineSamples& samples, const Spread& yardstick) {
    const std::vector<std::string> epochs = bench::SimulatedEpochs(10, line.perSecond);
    std::size_t bytes = 0;
    for (const std::string& e : epochs) bytes += e.size();
    const double lineMs = 1e4 * static_cast<double>(bytes) / static_cast<double>(epochs.size()) / line.baudRate;
    std::printf("%u baud, %d epoch/s, %zu epochs over %d connections: an epoch takes %.0f ms of the line (%s);"
                " longest pause %.1f ms, %d of 20 ms or more\n",
                line.baudRate, line.perSecond, samples.windows.size(), samples.connections, lineMs,
                lineMs * line.perSecond >= 1000 ? "full" : "quiet between", Ms(samples.longestPause),
                samples.quietPauses);
    PrintAgainst("last byte to every window painted", samples.windows, yardstick);
    PrintAgainst("the link alone on the same line", samples.link, yardstick);
    std::printf("  %zu of %zu epochs reached all %zu windows; windows / link alone on the same line: median %.2f,"
                " 95%% %.2f\n",
                samples.allWindows, samples.windows.size(), kWindows,
                SpreadOf(samples.windows).median / SpreadOf(samples.link).median,
                SpreadOf(samples.windows).p95 / SpreadOf(samples.link).p95);
    const Spread after = SpreadOf(samples.afterMessages);
    std::printf("  the windows' last message of an epoch to all painted (ms): median %.1f, 95%% %.1f, max %.1f\n",
                after.median, after.p95, after.max);
    std::printf("  each window, median (95%%) ms after the last byte (negative: its part of the epoch came"
                " earlier):\n   ");
    for (const MonitorWindowType& row : MonitorWindowTypes()) {
        const Spread s = SpreadOf(samples.byWindow[static_cast<std::size_t>(row.type)]);
        std::printf(" %s %.1f (%.1f);", row.title, s.median, s.p95);
    }
    std::printf("\n");
}

// The process's resident memory now, in MiB (Linux: /proc/self/statm).
double ResidentMiB() {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

struct Cost {
    double cpuShare;
    double startMiB, endMiB;  // resident after the first minute's tenth, and at the end
};

// The line as the target is stated: the simulator's square route at 256000 baud.
constexpr uint32_t kCostBaud = 256000;

// Satellites in view in an epoch: the totals of the first sentence of each GSV group.
int SatellitesInView(const std::string& epoch) {
    int total = 0;
    for (std::size_t at = epoch.find("GSV,"); at != std::string::npos; at = epoch.find("GSV,", at + 4)) {
        int count = 0, number = 0, inView = 0;
        if (std::sscanf(epoch.c_str() + at + 4, "%d,%d,%d", &count, &number, &inView) == 3 && number == 1)
            total += inView;
    }
    return total;
}

void PrintTally(const bench::WindowTally& tally, long written) {
    std::printf("  %ld epochs written, %ld begun in the windows, %ld sky reports timed (the first three are left"
                " out); link messages / paint events by window:\n   ",
                written, tally.Epochs(), tally.SkyReports());
    for (const MonitorWindowType& row : MonitorWindowTypes()) {
        const auto w = static_cast<std::size_t>(row.type);
        std::printf(" %s %ld/%ld;", row.title, tally.Messages(w), tally.Paints(w));
    }
    std::printf("\n  longest repaint pass %.1f ms; an epoch's sky report reached the Sky view at most %.1f ms after"
                " the epoch was written, %ld later than one epoch period\n",
                Ms(tally.LongestPass()), Ms(tally.WorstSkyLag()), tally.LateSkyReports());
}

// The line paced at `perSecond` epochs a second by a writer of its own, each epoch at
// once. Memory is first read once the windows have taken their first epochs in; every
// `reportEvery` seconds (0: never) the figures so far are printed.
Cost CostOver(double seconds, int perSecond, double reportEvery) {
    const int count = std::max(1, static_cast<int>(seconds * perSecond));
    const std::vector<std::string> epochs = bench::SimulatedEpochs(std::min(count, 3600), perSecond, true);
    std::printf("%d epoch/s, %d satellites in view, %u baud: the run begins\n", perSecond,
                SatellitesInView(epochs.front()), kCostBaud);
    std::fflush(stdout);
    Pty pty;
    RecordingNotifier notifier;
    CMonitorApp monitor(notifier, {QString::fromStdString(pty.slave)}, static_cast<int>(kCostBaud));
    ShowAndConnect(monitor, notifier);
    std::atomic<bool> stop{false};
    std::atomic<long> written{0};
    const auto start = Clock::now();
    const auto period = std::chrono::microseconds(1000000 / perSecond);
    bench::WindowTally tally(monitor.Registry(), start, period);
    QCoreApplication::instance()->installEventFilter(&tally);
    std::thread writer([&] {
        for (std::size_t e = 0; !stop; ++e) {
            pty.Write(epochs[e % epochs.size()]);
            pty.Drain();
            ++written;
            std::this_thread::sleep_until(start + period * (e + 1));
        }
    });
    const int warmMs = std::min(6000, static_cast<int>(seconds * 100));
    Pump(warmMs);
    Cost cost{};
    cost.startMiB = ResidentMiB();
    const double cpuBefore = CpuSeconds();
    const auto measured = Clock::now();
    const double totalS = seconds - warmMs / 1000.0;
    // Whole reports while a whole interval is left, then the rest of the run.
    double lastCpu = cpuBefore;
    for (int k = 1; reportEvery > 0 && k * reportEvery < totalS; ++k) {
        const auto until = measured + std::chrono::duration<double>(k * reportEvery);
        Pump(static_cast<int>(std::chrono::duration<double, std::milli>(until - Clock::now()).count()));
        const double doneS = std::chrono::duration<double>(Clock::now() - measured).count();
        const double cpu = CpuSeconds();
        std::printf("  %d epoch/s, %.0f s measured: CPU %.2f%% of one core so far (%.2f%% over the last %.0f s);"
                    " resident %.1f MiB (%+.2f MiB)\n",
                    perSecond, doneS, 100 * (cpu - cpuBefore) / doneS, 100 * (cpu - lastCpu) / reportEvery,
                    reportEvery, ResidentMiB(), ResidentMiB() - cost.startMiB);
        std::fflush(stdout);
        lastCpu = cpu;
    }
    const auto end = measured + std::chrono::duration<double>(totalS);
    Pump(static_cast<int>(std::max(0.0, std::chrono::duration<double, std::milli>(end - Clock::now()).count())));
    cost.cpuShare = (CpuSeconds() - cpuBefore) / std::chrono::duration<double>(Clock::now() - measured).count();
    cost.endMiB = ResidentMiB();
    stop = true;
    writer.join();
    Pump(kSettleMs);
    QCoreApplication::instance()->removeEventFilter(&tally);
    monitor.MainFrame().ConnectOrDisconnect();
    PrintTally(tally, written);
    return cost;
}

void PrintCost(double seconds, int perSecond, const Cost& c) {
    const double perDay = (c.endMiB - c.startMiB) * 86400.0 / seconds;
    std::printf("%d epoch/s over %.0f s, four constellations: CPU %.2f%% of one core; resident %.1f MiB after the "
                "first epochs, %.1f MiB at the end (%+.1f MiB, %+.0f MiB a day if it went on so)\n",
                perSecond, seconds, 100 * c.cpuShare, c.startMiB, c.endMiB, c.endMiB - c.startMiB, perDay);
    std::fflush(stdout);
}

int Usage() {
    std::fprintf(stderr, "usage: monitor_bench [--seconds S] [--fast-seconds S] [--slow-seconds S] [--report-every S]"
                         " [--cost-only yes] [--epochs N (10 or more)] [--baud B [--rate 1-10]]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 60;
    double fastSeconds = -1, slowSeconds = -1;  // by --seconds unless given
    double reportEvery = 0;
    int epochCount = 0;  // by the rate
    bool costOnly = false;  // CPU and memory, no latency: for long runs
    std::vector<LineCase> lines = {{9600, 1}, {115200, 10}};
    LineCase chosen{0, 1};
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 >= argc) return Usage();
        if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--fast-seconds") == 0) fastSeconds = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--slow-seconds") == 0) slowSeconds = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--report-every") == 0) reportEvery = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--epochs") == 0) epochCount = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--baud") == 0) chosen.baudRate = static_cast<uint32_t>(std::atol(argv[i + 1]));
        else if (std::strcmp(argv[i], "--rate") == 0) chosen.perSecond = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--cost-only") == 0) costOnly = std::strcmp(argv[i + 1], "yes") == 0;
        else return Usage();
    }
    if (fastSeconds < 0) fastSeconds = seconds;
    if (slowSeconds < 0) slowSeconds = seconds;
    if (seconds < 0 || reportEvery < 0 || (epochCount != 0 && epochCount < 10) || chosen.perSecond < 1 || chosen.perSecond > 10 ||
        chosen.baudRate > 4000000)
        return Usage();
    if (chosen.baudRate != 0) lines = {chosen};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir scratch;  // the capture logs go here
    QDir::setCurrent(scratch.path());

    // The cost at 10 Hz, against the same run at 1 Hz; either may be left out (0 s).
    Cost fast{}, slow{};
    if (fastSeconds > 0) PrintCost(fastSeconds, 10, fast = CostOver(fastSeconds, 10, reportEvery));
    if (slowSeconds > 0) PrintCost(slowSeconds, 1, slow = CostOver(slowSeconds, 1, reportEvery));
    if (fastSeconds > 0 && slowSeconds > 0)
        std::printf("10 Hz against 1 Hz: CPU %.2f times\n", slow.cpuShare > 0 ? fast.cpuShare / slow.cpuShare : 0.0);
    if (costOnly) return 0;
    const Spread yardstick = Yardstick();
    std::printf("the link's own latency, each epoch written at once onto a quiet line at 115200 (ms): median %.1f,"
                " 95%% %.1f, max %.1f\n",
                yardstick.median, yardstick.p95, yardstick.max);
    for (const LineCase& line : lines) {
        const int measured = epochCount != 0 ? epochCount : std::max(60, 30 * line.perSecond);
        PrintLine(line, MeasureLine(line, measured), yardstick);
    }
    return 0;
}
