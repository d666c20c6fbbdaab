// Flashing a 1 MiB image through the simulated chip, paced at the line rates: the
// loader stage's throughput against the protocol's own limit at 921600 baud (1024
// payload bytes per 1027 on the wire, 10 bits a byte), the whole run's time, four and
// sixteen ports at once against one, and what a USB bridge's latency timer costs (the
// chip's answers held 1 or 16 ms). The ratios are printed at the end.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <thread>

#include "flash/core/Procedure.h"
#include "sim/PtyLine.h"
#include "sim/Simulator.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kImageSize = 1u << 20;
constexpr double kProtocolLimit = 92160.0 * 1024.0 / 1027.0;  // payload bytes a second

struct Timing {
    Clock::time_point loaderStart{};
};

void MarkLoaderStage(BurnJob& job) {
    auto* t = static_cast<Timing*>(job.owner);
    if (job.counters->bar.load() == 30 && job.counters->bytesDone.load() == 0 && t->loaderStart == Clock::time_point{})
        t->loaderStart = Clock::now();
}

struct Station {
    sim::PtyLine line;
    std::unique_ptr<sim::Simulator> module;
    std::thread thread;
    std::unique_ptr<serial::SerialPort> port;
    std::unique_ptr<SerialPortLine> serialLine;
    BurnCounters counters;
    Timing timing;
    BurnJob job;
    uint32_t result = 1;
    double loaderSeconds = 0, runSeconds = 0;

    Station(const std::string& flashPath, const BurnBatch& batch, bool fourPort, int adapterLatencyMs) {
        std::string error;
        line.Open(error);
        sim::SimulatorOptions options;
        options.flashFile = flashPath;
        options.adapterLatencyMs = adapterLatencyMs;
        module = std::make_unique<sim::Simulator>(line, options);
        thread = std::thread([this] {
            std::string e;
            module->Run(e);
        });
        FlashLineSettings settings;
        settings.port = line.SlavePath();
        port = OpenFlashPort(settings, error);
        serialLine = std::make_unique<SerialPortLine>(*port);
        job.line = serialLine.get();
        job.loader = batch.loader.get();
        job.image = *batch.image;
        job.fourPort = fourPort;
        job.counters = &counters;
        job.notify = MarkLoaderStage;
        job.owner = &timing;
    }
    void Burn() {
        const auto start = Clock::now();
        result = BurnImage(job);
        const auto end = Clock::now();
        runSeconds = std::chrono::duration<double>(end - start).count();
        loaderSeconds = std::chrono::duration<double>(end - timing.loaderStart).count();
    }
    ~Station() {
        port->Close();
        module->Stop();
        thread.join();
    }
};

std::string ImagePath() {
    static const std::string path = [] {
        const std::string p = std::filesystem::temp_directory_path() / "flash-bench-image.bin";
        std::mt19937 gen(1);
        std::string data(kImageSize, '\0');
        for (auto& c : data) c = static_cast<char>(gen());
        std::ofstream(p, std::ios::binary) << data;
        return p;
    }();
    return path;
}

// Batch seconds and loader rates by benchmark, for the ratios at the end.
std::map<std::string, std::pair<double, double>> g_results;

void RunStations(benchmark::State& state, const char* name, int count, int adapterLatencyMs = 0) {
    BurnBatch batch = PrepareImages(ImagePath());
    for (auto _ : state) {
        std::vector<std::unique_ptr<Station>> stations;
        for (int i = 0; i < count; ++i)
            stations.push_back(std::make_unique<Station>(std::filesystem::temp_directory_path() /
                                                             ("flash-bench-" + std::to_string(i) + ".bin"),
                                                         batch, count > 1, adapterLatencyMs));
        const auto start = Clock::now();
        std::vector<std::thread> workers;
        for (auto& s : stations) workers.emplace_back([&s] { s->Burn(); });
        for (auto& w : workers) w.join();
        const double batchSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(batchSeconds);
        double loaderRate = 0;
        for (auto& s : stations) {
            if (s->result != 0) state.SkipWithError("a run failed");
            loaderRate += (kImageSize - 4) / s->loaderSeconds / count;
        }
        state.counters["loader_B/s"] = loaderRate;
        state.counters["share_of_protocol_limit_%"] = 100.0 * loaderRate / kProtocolLimit;
        state.counters["run_s"] = stations[0]->runSeconds;
        state.counters["batch_s"] = batchSeconds;
        g_results[name] = {batchSeconds, loaderRate};
    }
}

void BM_OnePort1MiB(benchmark::State& state) { RunStations(state, "BM_OnePort1MiB", 1); }
void BM_FourPorts1MiB(benchmark::State& state) { RunStations(state, "BM_FourPorts1MiB", 4); }
void BM_SixteenPorts1MiB(benchmark::State& state) { RunStations(state, "BM_SixteenPorts1MiB", 16); }
void BM_OnePortAdapter1ms(benchmark::State& state) { RunStations(state, "BM_OnePortAdapter1ms", 1, 1); }
void BM_OnePortAdapter16ms(benchmark::State& state) { RunStations(state, "BM_OnePortAdapter16ms", 1, 16); }
BENCHMARK(BM_OnePort1MiB)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_FourPorts1MiB)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_SixteenPorts1MiB)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_OnePortAdapter1ms)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_OnePortAdapter16ms)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

void PrintRatios() {
    auto find = [](const char* prefix) -> const std::pair<double, double>* {
        for (const auto& [name, result] : g_results)
            if (name.rfind(prefix, 0) == 0) return &result;
        return nullptr;
    };
    const auto* one = find("BM_OnePort1MiB");
    if (!one) return;
    for (const char* many : {"BM_FourPorts1MiB", "BM_SixteenPorts1MiB"})
        if (const auto* r = find(many)) std::printf("%s batch time / one port: %.3f\n", many, r->first / one->first);
    for (const char* slow : {"BM_OnePortAdapter1ms", "BM_OnePortAdapter16ms"})
        if (const auto* r = find(slow))
            std::printf("%s loader rate / no adapter latency: %.3f (%.1f %% of the protocol limit)\n", slow,
                        r->second / one->second, 100.0 * r->second / kProtocolLimit);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    PrintRatios();
    benchmark::Shutdown();
    return 0;
}
