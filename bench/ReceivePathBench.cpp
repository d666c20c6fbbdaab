// Receive path throughput, unpaced: bytes written into a pseudo-terminal's master side,
// read on the slave side. The baseline is a bare read loop on the same kind of pair; the
// measured path adds the receive worker, the capture log and the per-byte callback.
// Compare the two bytes_per_second figures of one run.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "CaptureLog.h"
#include "CommPort.h"

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

}  // namespace

BENCHMARK_MAIN();
