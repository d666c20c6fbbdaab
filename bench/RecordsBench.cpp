// Sixteen slots finishing a batch at once, each keeping its run's record as the
// front ends do (the record on disk before the slot is free again): the batch time with
// the records in a CSV file, in a station's SQLite file and, when RECORDS_BENCH_POSTGRES
// names a server (postgresql://...), in a line's database. The batches are real runs
// through simulated chips paced at the line rates. Also the cost of the writes alone:
// sixteen threads appending one record each at the same moment. Every store is read
// back after each batch: a record lost or doubled fails the benchmark. The ratios to CSV
// are printed at the end.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <thread>

#include "flash/core/Procedure.h"
#include "flash/records/RecordStore.h"
#include "sim/PtyLine.h"
#include "sim/Simulator.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSlots = 16;
constexpr uint32_t kImageSize = 64u << 10;  // a short batch: the records weigh the most
const std::filesystem::path kDir = std::filesystem::temp_directory_path() / "records-bench";

struct Slot {
    sim::PtyLine line;
    std::unique_ptr<sim::Simulator> module;
    std::thread thread;
    std::unique_ptr<serial::SerialPort> port;
    std::unique_ptr<SerialPortLine> serialLine;
    BurnCounters counters;
    BurnJob job;
    std::string path;

    Slot(int index, const BurnBatch& batch) {
        std::string error;
        line.Open(error);
        sim::SimulatorOptions options;
        options.flashFile = (kDir / ("flash-" + std::to_string(index) + ".bin")).string();
        module = std::make_unique<sim::Simulator>(line, options);
        thread = std::thread([this] {
            std::string e;
            module->Run(e);
        });
        FlashLineSettings settings;
        settings.port = line.SlavePath();
        port = OpenFlashPort(settings, error);
        serialLine = std::make_unique<SerialPortLine>(*port);
        path = line.SlavePath();
        job = MakeJob(batch, serialLine.get(), {}, &counters, nullptr, true, index, path);
    }
    ~Slot() {
        port->Close();
        module->Stop();
        thread.join();
    }
};

std::string ImagePath() {
    const std::string p = (kDir / "image.bin").string();
    std::mt19937 gen(1);
    std::string data(kImageSize, '\0');
    for (auto& c : data) c = static_cast<char>(gen());
    std::ofstream(p, std::ios::binary) << data;
    return p;
}

// A fresh store of the kind for each benchmark.
std::unique_ptr<records::RecordStore> FreshStore(const std::string& kind, std::string& destination) {
    records::StoreOptions options;
    if (kind == "csv" || kind == "sqlite") {
        destination = (kDir / ("runs." + kind)).string();
        std::filesystem::remove(destination);
        std::filesystem::remove(destination + "-wal");
    } else {
        const char* url = std::getenv("RECORDS_BENCH_POSTGRES");
        if (!url) return nullptr;
        destination = url;
        options.localPath = (kDir / "station.sqlite").string();
        std::filesystem::remove(options.localPath);
    }
    std::string error;
    auto store = records::OpenRecordStore(destination, options, error);
    if (!store) std::fprintf(stderr, "records_bench: %s\n", error.c_str());
    return store;
}

// How many records of this run (its station name) the store holds.
std::size_t Count(records::RecordStore& store, const std::string& station) {
    std::vector<records::StoredRecord> all;
    std::string error;
    if (!store.Read("", all, error)) return 0;
    std::size_t n = 0;
    for (const auto& s : all) n += s.record.station == station;
    return n;
}

std::map<std::string, double> g_batchSeconds, g_appendSeconds;

// A whole batch, each slot keeping its record as it ends.
void BM_Batch(benchmark::State& state, const std::string& kind) {
    std::filesystem::create_directories(kDir);
    BurnBatch batch = PrepareImages(ImagePath());
    std::string destination;
    auto store = FreshStore(kind, destination);
    if (!store) return state.SkipWithError("no such store here (RECORDS_BENCH_POSTGRES unset?)");
    const std::string station = "bench-" + kind + "-" + std::to_string(std::time(nullptr));
    double total = 0;
    int batches = 0;
    for (auto _ : state) {
        std::vector<std::unique_ptr<Slot>> slots;
        for (int i = 0; i < kSlots; ++i) slots.push_back(std::make_unique<Slot>(i, batch));
        std::atomic<int> failed{0};
        const auto start = Clock::now();
        std::vector<std::thread> workers;
        for (auto& s : slots)
            workers.emplace_back([&, &slot = *s] {
                const auto runStart = Clock::now();
                const uint32_t code = BurnImage(slot.job);
                RunDetails details;
                details.job = &slot.job;
                RunRecord r = MakeRunRecord("records_bench", slot.job.slot + 1, slot.path, batch, code,
                                            std::chrono::duration<double>(Clock::now() - runStart).count(), details);
                r.station = station;
                std::string error;
                if (code != 0 || !store->Append(r, error)) ++failed;
            });
        for (auto& w : workers) w.join();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds, ++batches;
        if (failed) state.SkipWithError("a run or a record failed");
    }
    store->Flush(30000);
    if (Count(*store, station) != static_cast<std::size_t>(kSlots * batches))
        state.SkipWithError("records lost or doubled");
    state.counters["batch_s"] = total / batches;
    g_batchSeconds[kind] = total / batches;
    ReleaseImages(batch);
}

// The writes alone: sixteen slots ending at the same moment.
void BM_SixteenAppendsAtOnce(benchmark::State& state, const std::string& kind) {
    std::filesystem::create_directories(kDir);
    std::string destination;
    auto store = FreshStore(kind, destination);
    if (!store) return state.SkipWithError("no such store here (RECORDS_BENCH_POSTGRES unset?)");
    RunRecord r;
    r.when = std::time(nullptr);
    r.station = "bench-append-" + kind + "-" + std::to_string(r.when);
    r.program = "records_bench";
    double total = 0;
    int rounds = 0;
    for (auto _ : state) {
        std::atomic<int> failed{0};
        const auto start = Clock::now();
        std::vector<std::thread> writers;
        for (int slot = 1; slot <= kSlots; ++slot)
            writers.emplace_back([&, slot] {
                RunRecord mine = r;
                mine.slot = slot;
                std::string error;
                if (!store->Append(mine, error)) ++failed;
            });
        for (auto& w : writers) w.join();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds, ++rounds;
        if (failed) state.SkipWithError("a record failed");
    }
    store->Flush(30000);
    if (Count(*store, r.station) != static_cast<std::size_t>(kSlots * rounds)) state.SkipWithError("records lost or doubled");
    g_appendSeconds[kind] = total / rounds;
}

void PrintRatios() {
    const auto csv = g_batchSeconds.find("csv");
    if (csv == g_batchSeconds.end()) return;
    for (const auto& [kind, seconds] : g_batchSeconds)
        std::printf("16-slot batch with records in %s: %.3f s, %.4f of the batch with CSV\n", kind.c_str(), seconds,
                    seconds / csv->second);
    for (const auto& [kind, seconds] : g_appendSeconds)
        std::printf("16 records at once in %s: %.2f ms\n", kind.c_str(), seconds * 1000);
}

}  // namespace

// Interleaved, so that a load change on the machine falls on each store alike.
BENCHMARK_CAPTURE(BM_SixteenAppendsAtOnce, csv, std::string("csv"))->UseManualTime()->Iterations(50)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SixteenAppendsAtOnce, sqlite, std::string("sqlite"))->UseManualTime()->Iterations(50)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SixteenAppendsAtOnce, postgres, std::string("postgres"))->UseManualTime()->Iterations(50)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Batch, csv, std::string("csv"))->UseManualTime()->Iterations(3)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_Batch, sqlite, std::string("sqlite"))->UseManualTime()->Iterations(3)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_Batch, postgres, std::string("postgres"))->UseManualTime()->Iterations(3)->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    PrintRatios();
    benchmark::Shutdown();
    return 0;
}
