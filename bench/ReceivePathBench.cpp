// The receive path on a pseudo-terminal.
//
// Throughput, unpaced: bytes written into the master side, read on the slave side. The
// baseline is a bare read loop on the same kind of pair; the measured path adds the
// receive worker, the capture log and the per-byte callback. Compare the two
// bytes_per_second figures of one run.
//
// Epoch latency: from the last byte of an epoch on the line to the link's last window
// message for it (the VTG's), through the receive worker, the capture log and the link
// thread, with the simulator's four constellations paced at the line's rate: at 9600
// baud, where a 1 Hz epoch outlasts its second and the line never pauses, and at 115200,
// at 1 Hz (a pause after every epoch) and at 10 Hz (full again).
// The baseline is the link's own latency in the same run: each epoch written at once
// onto a quiet line. The end prints each latency as a ratio to it.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/PacedLine.h"
#include "monitor/link/CaptureLog.h"
#include "monitor/link/CommPort.h"
#include "monitor/link/NmeaThread.h"

namespace {

constexpr std::size_t kStreamBytes = 32 << 20;

struct Pty {
    int master = -1;
    std::string slavePath;
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        grantpt(master);
        unlockpt(master);
        slavePath = ptsname(master);
    }
    ~Pty() { close(master); }
};

// Writes `total` bytes into the master side as fast as the reader takes them.
std::thread StartWriter(int master, std::size_t total) {
    return std::thread([master, total] {
        std::string chunk(65536, '\0');
        for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 31 + 7);
        std::size_t done = 0;
        while (done < total) {
            const ssize_t n = write(master, chunk.data(), std::min(chunk.size(), total - done));
            if (n <= 0) return;
            done += static_cast<std::size_t>(n);
        }
    });
}

void BM_BareReadLoop(benchmark::State& state) {
    for (auto _ : state) {
        Pty pty;
        const int fd = open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY);
        termios tio{};
        tcgetattr(fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
        std::thread writer = StartWriter(pty.master, kStreamBytes);
        static char buffer[8192];
        std::size_t got = 0;
        while (got < kStreamBytes) {
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        writer.join();
        close(fd);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kStreamBytes));
}
BENCHMARK(BM_BareReadLoop)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReceiveWorkerWithCaptureLog(benchmark::State& state) {
    const std::string dir = std::filesystem::temp_directory_path() / "receive-path-bench";
    for (auto _ : state) {
        Pty pty;
        CaptureLog log(dir);
        log.Name(pty.slavePath);
        std::atomic<std::size_t> got{0};
        uint32_t sum = 0;
        CCommPort port(&log);
        port.Configure(pty.slavePath, 921600, 0, 8, 0, 20);
        port.Open([&](uint8_t b) {
            sum += b;  // stand-in for the framer: touch every byte
            got.fetch_add(1, std::memory_order_relaxed);
        });
        std::thread writer = StartWriter(pty.master, kStreamBytes);
        while (got.load(std::memory_order_relaxed) < kStreamBytes)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        writer.join();
        port.Close();
        log.Close();
        benchmark::DoNotOptimize(sum);
    }
    std::filesystem::remove_all(dir);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kStreamBytes));
}
BENCHMARK(BM_ReceiveWorkerWithCaptureLog)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CloseWithReadPending(benchmark::State& state) {
    Pty pty;
    for (auto _ : state) {
        state.PauseTiming();
        CCommPort port(nullptr);
        port.Configure(pty.slavePath, 9600, 0, 8, 0, 20);
        port.Open([](uint8_t) {});
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        state.ResumeTiming();
        port.Close();
    }
}
BENCHMARK(BM_CloseWithReadPending)->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(20);

using bench::Clock;

// The time the link posted each epoch's last message: epochs are counted by their GGA,
// and the VTG's velocity message is the last one an epoch gives.
class EpochSink : public ILinkSink {
public:
    void Post(const LinkMessage& message) override {
        std::lock_guard lock(m_mutex);
        if (message.number == msg::kGga) ++m_epoch;
        else if (message.number == msg::kVelocityVtg && m_epoch > 0) m_done[m_epoch - 1] = Clock::now();
    }
    std::size_t Done() {
        std::lock_guard lock(m_mutex);
        return m_done.size();
    }
    std::map<std::size_t, Clock::time_point> Times() {
        std::lock_guard lock(m_mutex);
        return m_done;
    }

private:
    std::mutex m_mutex;
    std::size_t m_epoch = 0;
    std::map<std::size_t, Clock::time_point> m_done;
};

// range(0): the line's rate, 0 for whole epochs at once; range(1): epochs per second;
// range(2): epochs.
void BM_EpochToLinkMessages(benchmark::State& state) {
    const auto baudRate = static_cast<uint32_t>(state.range(0));
    const int perSecond = static_cast<int>(state.range(1));
    const std::vector<std::string> epochs = bench::SimulatedEpochs(static_cast<int>(state.range(2)), perSecond);
    const std::string dir = std::filesystem::temp_directory_path() / "receive-path-bench";
    std::vector<double> ms;
    for (auto _ : state) {
        Pty pty;
        CaptureLog log(dir);
        EpochSink sink;
        CNmeaThread link(pty.slavePath, baudRate == 0 ? 115200 : baudRate, &sink, &log);
        link.Start();
        if (!link.Connect()) {
            state.SkipWithError(link.OpenErrorText().c_str());
            break;
        }
        const auto lastByte = bench::PaceEpochs(pty.master, epochs, baudRate, perSecond).lastByte;
        const auto waitEnd = Clock::now() + std::chrono::seconds(20);
        while (sink.Done() < epochs.size() && Clock::now() < waitEnd)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        link.Shutdown();
        for (const auto& [epoch, posted] : sink.Times())
            if (epoch < lastByte.size())
                ms.push_back(std::chrono::duration<double, std::milli>(posted - lastByte[epoch]).count());
    }
    std::filesystem::remove_all(dir);
    if (ms.empty()) return;
    std::sort(ms.begin(), ms.end());
    std::size_t bytes = 0;
    for (const std::string& e : epochs) bytes += e.size();
    state.counters["epoch_bytes"] = static_cast<double>(bytes) / epochs.size();
    state.counters["epochs_seen"] = static_cast<double>(ms.size());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["p95_ms"] = ms[ms.size() * 95 / 100];
    state.counters["max_ms"] = ms.back();
}
BENCHMARK(BM_EpochToLinkMessages)
    ->ArgNames({"baud", "hz", "epochs"})
    ->Args({0, 1, 100})
    ->Args({9600, 1, 30})
    ->Args({115200, 1, 30})
    ->Args({115200, 10, 100})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

// Prints the usual table, then each paced latency as a ratio to the whole-epoch
// baseline measured in the same run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto median = run.counters.find("median_ms");
            if (run.run_type == Run::RT_Iteration && median != run.counters.end())
                m_medians.emplace_back(run.run_name.args, median->second.value);
        }
    }
    void PrintRatios() const {
        double baseline = 0;
        for (const auto& [args, median] : m_medians)
            if (args.rfind("baud:0/", 0) == 0) baseline = median;
        if (baseline <= 0) return;
        for (const auto& [args, median] : m_medians) {
            char line[160];
            std::snprintf(line, sizeof line, "epoch latency %-28s median %8.1f ms, %6.2f times the link's own\n",
                          args.c_str(), median, median / baseline);
            GetOutputStream() << line;
        }
    }

private:
    std::vector<std::pair<std::string, double>> m_medians;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
