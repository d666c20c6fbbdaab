// burnkit-cli: writes a firmware image into the module's flash on one or more ports,
// for scripts and production lines. Several ports run in parallel, as the four-port
// dialog does. Exit status 0 only when every port succeeded.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CancelEvent.h"
#include "Fixture.h"
#include "Procedure.h"
#include "ProgramInfo.h"
#include "RunRecord.h"
#include "System.h"

namespace {

void Usage(FILE* to) {
    std::fputs(
        "usage: burnkit-cli --port DEV [--port DEV]... --image FILE [options]\n"
        "  --baud N           rate to open the port at: 9600 19200 38400 57600 115200 (default 115200)\n"
        "  --data-bits N      8, 7 or 6 (default 8)\n"
        "  --parity P         NOPARITY ODDPARITY EVENPARITY MARKPARITY SPACEPARITY (default NOPARITY)\n"
        "  --stop-bits S      ONESTOPBIT ONE5STOPBITS TWOSTOPBITS (default ONESTOPBIT)\n"
        "  --handshake-attempts N   replies the boot ROM handshake waits for per rate, 1 to 1000000\n"
        "                           (default 1000)\n"
        "  --handshake-passes N     passes over 115200 and 9600, 1 to 1000 (default 10)\n"
        "  --report FILE      append a CSV line per port to FILE (made with a header when new)\n"
        "  --json             one JSON object per port on standard output; progress goes to standard error\n"
        "  --auto             flash every module put into the fixture on each port: a port waits for a\n"
        "                     quiet line, flashes when NMEA starts, waits until the line is quiet\n"
        "                     again (module taken out); until Ctrl+C\n"
        "  --quiet-ms MS      how long a line must be silent to count as an empty fixture (default 1500)\n"
        "Ctrl+C (or SIGTERM) stops every run at its next wait, frees the ports and exits with 130.\n",
        to);
}

// A whole decimal number within [low, high], or nothing.
bool ParseCount(const std::string& text, uint32_t low, uint32_t high, uint32_t& out) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v < low || v > high) return false;
    out = static_cast<uint32_t>(v);
    return true;
}

// Set from the stop request (a signal handler on Linux): the runs see it at their next wait.
serial::CancelEvent* g_stop = nullptr;
std::atomic<int> g_stopRequest{0};

void OnStopRequest(int request) {
    g_stopRequest.store(request);
    if (g_stop) g_stop->Set();  // a write to an event descriptor, or SetEvent: safe there
}

bool OneOf(const std::string& value, const std::vector<std::string>& allowed) {
    for (const auto& a : allowed)
        if (a == value) return true;
    return false;
}

struct PortRun {
    std::string path;
    std::unique_ptr<serial::SerialPort> port;
    std::unique_ptr<SerialPortLine> line;
    BurnJob job;
    BurnCounters counters;
    std::thread worker;
    uint32_t result = 0;
    std::atomic<bool> finished{false};
    double seconds = 0;
    ThroughputMeter meter;
};

std::string ProgressLine(PortRun& r) {
    const uint32_t bar = r.counters.bar.load();
    std::string cells(20, '.');
    for (uint32_t i = 0; i < bar / 5 && i < 20; ++i) cells[i] = '#';
    char text[256];
    const int64_t now = SteadyMs();
    r.meter.Note(r.counters.stage.load(), r.counters.stageStartMs.load(), r.counters.bytesDone.load(), now);
    std::snprintf(text, sizeof text, "%-20s [%s] %3u%%  %-12s %s", r.path.c_str(), cells.c_str(), bar,
                  r.meter.Text(now).c_str(), UsedTimeText(r.counters.secondsUsed.load()).c_str());
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (AnswerVersion(argc, argv, "burnkit-cli")) return 0;
    std::vector<std::string> ports;
    std::string image;
    FlashLineSettings settings;
    uint32_t attempts = 1000, passes = 10;
    std::string report;
    bool json = false;
    bool autoMode = false;
    uint32_t quietMs = fixture::kQuietMs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "burnkit-cli: %s needs a value\n", arg.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--port") ports.push_back(value());
        else if (arg == "--image") image = value();
        else if (arg == "--baud") settings.baudRate = value();
        else if (arg == "--data-bits") settings.dataBits = value();
        else if (arg == "--parity") settings.parity = value();
        else if (arg == "--stop-bits") settings.stopBits = value();
        else if (arg == "--handshake-attempts" || arg == "--handshake-passes") {
            const bool isAttempts = arg == "--handshake-attempts";
            const std::string text = value();
            if (!ParseCount(text, 1, isAttempts ? 1000000 : 1000, isAttempts ? attempts : passes)) {
                std::fprintf(stderr, "burnkit-cli: %s takes a whole number from 1 to %s, not '%s'\n", arg.c_str(),
                             isAttempts ? "1000000" : "1000", text.c_str());
                return 2;
            }
        }
        else if (arg == "--report") report = value();
        else if (arg == "--json") json = true;
        else if (arg == "--auto") autoMode = true;
        else if (arg == "--quiet-ms") {
            const std::string text = value();
            if (!ParseCount(text, 100, 60000, quietMs)) {
                std::fprintf(stderr, "burnkit-cli: --quiet-ms takes a whole number from 100 to 60000, not '%s'\n",
                             text.c_str());
                return 2;
            }
        }
        else if (arg == "--help" || arg == "-h") return Usage(stdout), 0;
        else {
            std::fprintf(stderr, "burnkit-cli: unknown argument %s\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
    }
    if (ports.empty() || image.empty()) {
        std::fprintf(stderr, "burnkit-cli: %s\n", ports.empty() ? "no --port given" : "no --image given");
        Usage(stderr);
        return 2;
    }
    const char* bad = !OneOf(settings.baudRate, kFlashBaudRates)   ? "--baud"
                      : !OneOf(settings.dataBits, kFlashDataBits)  ? "--data-bits"
                      : !OneOf(settings.parity, kFlashParities)    ? "--parity"
                      : !OneOf(settings.stopBits, kFlashStopBits)  ? "--stop-bits"
                                                                   : nullptr;
    if (bad) {
        std::fprintf(stderr, "burnkit-cli: %s has a value the programmer does not offer (see --help)\n", bad);
        return 2;
    }

    BurnBatch batch = PrepareImages(image);
    if (batch.loadResult != 0) {
        std::fprintf(stderr, "burnkit-cli: image %s: %s\n", image.c_str(), ImageLoadText(batch.loadResult).c_str());
        return 2;
    }
    if (batch.image->size < 4) {
        std::fprintf(stderr, "burnkit-cli: image %s is %u bytes; an image needs at least 4\n", image.c_str(),
                     batch.image->size);
        return 2;
    }

    serial::CancelEvent stop;
    g_stop = &stop;
    platform::OnStopRequest(OnStopRequest);

    const bool fourPort = ports.size() > 1;
    std::vector<std::unique_ptr<PortRun>> runs;
    bool allOpened = true;
    std::vector<std::pair<int, std::string>> unopened;  // slot, path: recorded as runs without a port
    for (std::size_t slot = 0; slot < ports.size(); ++slot) {
        auto r = std::make_unique<PortRun>();
        r->path = ports[slot];
        FlashLineSettings s = settings;
        s.port = r->path;
        std::string error;
        r->port = OpenFlashPort(s, error);
        if (!r->port) {
            std::fprintf(stderr, "burnkit-cli: %s\n", error.c_str());
            allOpened = false;
            unopened.emplace_back(static_cast<int>(slot) + 1, r->path);
            continue;
        }
        r->line = std::make_unique<SerialPortLine>(*r->port);
        r->job = MakeJob(batch, r->line.get(), {attempts, passes, SleepMs}, &r->counters, &stop, fourPort,
                         static_cast<int>(slot));
        r->counters.ResetForRun();
        runs.push_back(std::move(r));
    }
    // With --json standard output carries only the objects.
    FILE* const progress = json ? stderr : stdout;
    std::mutex outputMutex;  // auto-mode workers tell their results as they come
    // A record per run: as JSON on standard output, and appended to the report file.
    auto Record = [&](const RunRecord& record) {
        std::lock_guard lock(outputMutex);
        if (json) std::printf("%s\n", RunRecordJson(record).c_str()), std::fflush(stdout);
        std::string why;
        if (report.empty() || AppendRunRecord(report, record, why)) return true;
        std::fprintf(stderr, "burnkit-cli: cannot append the record of %s to %s: %s\n", record.port.c_str(),
                     report.c_str(), why.c_str());
        return false;
    };
    auto RunOnce = [](PortRun& run) {
        run.counters.ResetForRun();
        const int64_t start = SteadyMs();
        run.result = BurnImage(run.job);
        run.seconds = static_cast<double>(SteadyMs() - start) / 1000;
    };
    std::atomic<bool> recordsOk{true};
    for (auto& r : runs) {
        r->worker = std::thread([&, &run = *r] {
            if (!autoMode) {
                RunOnce(run);
                // On disk as soon as the module is done, whatever happens to the others.
                if (!Record(MakeRunRecord("burnkit-cli", run.job.slot + 1, run.path, batch, run.result, run.seconds)))
                    recordsOk = false;
                run.finished.store(true);
                return;
            }
            // Each module put into the fixture is flashed; its result is told at once,
            // and the next waits until this one was taken out. A module already in the
            // fixture at the start is not taken for a new one.
            if (!fixture::WaitUntilEmpty(*run.port, quietMs, &stop)) return run.finished.store(true);
            for (int module = 1; fixture::WaitForModule(*run.port, &stop); ++module) {
                RunOnce(run);
                {
                    std::lock_guard lock(outputMutex);
                    std::fprintf(progress, "%s: module %d: %s\n", run.path.c_str(), module,
                                 ResultLine(run.result).c_str());
                    std::fflush(progress);
                }
                if (!Record(MakeRunRecord("burnkit-cli", run.job.slot + 1, run.path, batch, run.result, run.seconds)))
                    recordsOk = false;
                if (run.result == burn::kStopped || !fixture::WaitUntilEmpty(*run.port, quietMs, &stop)) break;
            }
            run.finished.store(true);
        });
    }

    const bool tty = platform::IsTerminal(progress);
    std::vector<uint32_t> lastPrinted(runs.size(), 1000);
    auto lastTick = std::chrono::steady_clock::now();
    bool drawn = false;
    for (;;) {
        bool all = true;
        for (auto& r : runs) all = all && r->finished.load();
        const auto now = std::chrono::steady_clock::now();
        if (now - lastTick >= std::chrono::seconds(1)) {
            lastTick += std::chrono::seconds(1);
            for (auto& r : runs)
                if (!r->finished.load()) r->counters.Tick();
        }
        std::unique_lock lock(outputMutex);
        if (tty && !autoMode) {
            if (drawn) std::fprintf(progress, "\x1b[%zuA", runs.size());
            for (auto& r : runs) std::fprintf(progress, "\r%s\x1b[K\n", ProgressLine(*r).c_str());
            drawn = true;
        } else {
            // A line at each tenth of the bar, each once: the last one too.
            for (std::size_t i = 0; i < runs.size(); ++i) {
                const uint32_t decade = runs[i]->counters.bar.load() / 10;
                if (decade != lastPrinted[i]) {
                    lastPrinted[i] = decade;
                    std::fprintf(progress, "%s\n", ProgressLine(*runs[i]).c_str());
                }
            }
        }
        std::fflush(progress);
        lock.unlock();
        if (all) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    bool allOk = allOpened;
    for (auto& r : runs) {
        r->worker.join();
        r->port->Purge(serial::kPurgeRx | serial::kPurgeTx);
        r->port->Close();
        if (autoMode) continue;  // told module by module
        std::fprintf(progress, "%s: %s\n", r->path.c_str(), ResultLine(r->result).c_str());
        allOk = allOk && r->result == 0;
    }
    for (const auto& [slot, path] : unopened) Record(MakeRunRecord("burnkit-cli", slot, path, batch, burn::kNoPort, 0));
    allOk = allOk && recordsOk;
    std::fflush(stdout);
    ReleaseImages(batch);
    g_stop = nullptr;
    if (const int request = g_stopRequest.load()) {
        std::fprintf(stderr, "burnkit-cli: stopped by %s\n", platform::StopRequestName(request));
        return 130;
    }
    return allOk ? 0 : 1;
}
