// Bytes in to window messages out on one core: the framer, checksum, parsers, epoch
// logic and message posting of the link, with a sink that does nothing. The stream is
// the simulator's 10 Hz output of four constellations. The baseline is a bare scan that
// only XORs the same bytes, the least any receive path must do.
#include <benchmark/benchmark.h>

#include <string>

#include "NmeaThread.h"
#include "ReceiverOutput.h"

namespace {

class NullSink : public ILinkSink {
public:
    void Post(const LinkMessage&) override { ++posted; }
    uint64_t posted = 0;
};

const std::string& Stream() {
    static const std::string stream = [] {
        sim::ReceiverOptions options;
        options.epochsPerSecond = 10;
        sim::ReceiverOutput out(options);
        std::string s;
        for (int e = 0; e < 600; ++e) s += out.Epoch(e);
        return s;
    }();
    return stream;
}

uint64_t CountLines(const std::string& s) {
    uint64_t n = 0;
    for (char c : s) n += c == '\n';
    return n;
}

void BM_XorScanBaseline(benchmark::State& state) {
    const std::string& s = Stream();
    for (auto _ : state) {
        uint8_t sum = 0;
        for (char c : s) sum ^= static_cast<uint8_t>(c);
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}
BENCHMARK(BM_XorScanBaseline);

void BM_BytesToMessages(benchmark::State& state) {
    const std::string& s = Stream();
    NullSink sink;
    CNmeaThread link("bench", 0, &sink, nullptr);  // no thread: dispatch inline
    for (auto _ : state) {
        for (std::size_t at = 0; at < s.size(); at += 4096) {
            const std::size_t end = std::min(s.size(), at + 4096);
            for (std::size_t i = at; i < end; ++i) link.FeedRxByte(static_cast<uint8_t>(s[i]));
            link.ProcessPending();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
    state.counters["sentences/s"] = benchmark::Counter(static_cast<double>(state.iterations() * CountLines(s)),
                                                       benchmark::Counter::kIsRate);
    state.counters["messages/s"] = benchmark::Counter(static_cast<double>(sink.posted), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BytesToMessages);

}  // namespace

BENCHMARK_MAIN();
