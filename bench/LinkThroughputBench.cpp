// Bytes in to window messages out on one core: the framer and ring, checksum, parsers,
// epoch logic and message posting of the link (RxStream and NmeaDispatcher as the link
// thread drives them), with a sink that does nothing. The stream is the simulator's
// 10 Hz output of four constellations.
//
// Two yardsticks run on the same bytes in the same run:
// - a bare framing-and-checksum scan (split at LF, XOR between "$" and "*", compare with
//   the two digits), the least any receive path must do;
// - a small stand-alone parser (ReferenceNmea) that frames, checks and parses the six
//   standard sentences into plain structs and nothing more.
// At the end the link's figures are printed as ratios to both.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/ReferenceNmea.h"
#include "monitor/link/NmeaDispatcher.h"
#include "monitor/link/RxStream.h"
#include "sim/ReceiverOutput.h"

namespace {

constexpr std::size_t kBlockSize = 4096;  // what one receive block hands on, about

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

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Lines whose checksum holds.
uint64_t FrameAndCheck(const std::string& s) {
    uint64_t good = 0;
    const char* p = s.data();
    const char* const end = p + s.size();
    while (p < end) {
        const auto* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        if (!lf) break;
        if (*p == '$') {
            uint8_t sum = 0;
            const char* q = p + 1;
            for (; q < lf && *q != '*'; ++q) sum ^= static_cast<uint8_t>(*q);
            if (lf - q >= 3) good += (HexDigit(q[1]) << 4 | HexDigit(q[2])) == sum;
        }
        p = lf + 1;
    }
    return good;
}

void SetRates(benchmark::State& state, const std::string& s) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
    state.counters["sentences/s"] =
        benchmark::Counter(static_cast<double>(state.iterations() * CountLines(s)), benchmark::Counter::kIsRate);
}

void BM_FrameChecksumScan(benchmark::State& state) {
    const std::string& s = Stream();
    uint64_t good = 0;
    for (auto _ : state) {
        good = FrameAndCheck(s);
        benchmark::DoNotOptimize(good);
    }
    SetRates(state, s);
    state.counters["checked"] = static_cast<double>(good);
}
BENCHMARK(BM_FrameChecksumScan);

void BM_ReferenceParser(benchmark::State& state) {
    const std::string& s = Stream();
    reference::Sentence last;
    std::size_t parsed = 0;
    for (auto _ : state) {
        parsed = reference::ParseStream(s, last);
        benchmark::DoNotOptimize(parsed);
        benchmark::DoNotOptimize(last);
    }
    SetRates(state, s);
    state.counters["parsed"] = static_cast<double>(parsed);
}
BENCHMARK(BM_ReferenceParser);

// The link thread's loop without the thread: the receive worker's feed, then everything
// queued taken and dispatched, one block at a time.
// With `console`, each sentence is copied into the console's batch as well, and the batch
// handed over after every block: more often than the link thread's quarter second, so
// that no line is left out of a full batch and every one is paid for.
struct LinkPath {
    NullSink sink;
    RxStream stream;
    NmeaDispatcher dispatcher{&sink, {}};
    ConsoleFeed feed;
    bool console = false;
    char text[kMaxSentenceText + 1];

    void Dispatch() {
        SentenceDescriptor d;
        auto* bytes = reinterpret_cast<uint8_t*>(text);
        while (stream.PopSentence(d, bytes)) {
            if (console) feed.Received(std::string_view(text, static_cast<std::size_t>(d.length)), false, ConsoleNowMs());
            if (d.kind == SentenceKind::Binary) dispatcher.DispatchBinary(bytes, d.length);
            else if (d.kind == SentenceKind::Ubx) dispatcher.DispatchUbx(bytes, d.length);
            else dispatcher.DispatchText(text, d.length, d.id);
        }
        ConsoleBatch batch;
        if (console && feed.TakeDue(ConsoleNowMs(), true, batch)) dispatcher.PostConsole(std::move(batch));
    }
};

template <bool kBlockFeed, bool kConsole = false>
void BytesToMessages(benchmark::State& state) {
    const std::string& s = Stream();
    const auto* bytes = reinterpret_cast<const uint8_t*>(s.data());
    auto link = std::make_unique<LinkPath>();
    link->console = kConsole;
    for (auto _ : state) {
        for (std::size_t at = 0; at < s.size(); at += kBlockSize) {
            const std::size_t n = std::min(s.size() - at, kBlockSize);
            if constexpr (kBlockFeed) {
                link->stream.FeedRxBytes(bytes + at, n);
            } else {
                for (std::size_t i = 0; i < n; ++i) link->stream.FeedRxByte(bytes[at + i]);
            }
            link->Dispatch();
        }
    }
    SetRates(state, s);
    state.counters["messages/s"] =
        benchmark::Counter(static_cast<double>(link->sink.posted), benchmark::Counter::kIsRate);
}

void BM_BytesToMessages(benchmark::State& state) { BytesToMessages<true>(state); }
BENCHMARK(BM_BytesToMessages);

// The monitor's link with its console on: every sentence also copied for the window.
void BM_BytesToMessagesWithConsole(benchmark::State& state) { BytesToMessages<true, true>(state); }
BENCHMARK(BM_BytesToMessagesWithConsole);

// The same fed one byte at a time, as a byte callback does.
void BM_BytesToMessagesByteFeed(benchmark::State& state) { BytesToMessages<false>(state); }
BENCHMARK(BM_BytesToMessagesByteFeed);

// Prints the usual table and remembers each benchmark's bytes per second, so that the
// ratios come from figures measured in this run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto rate = run.counters.find("bytes_per_second");
            if (run.run_type == Run::RT_Iteration && rate != run.counters.end())
                m_rates[run.run_name.function_name].push_back(rate->second.value);
        }
    }
    void PrintRatios() const {
        const double scan = Best("BM_FrameChecksumScan"), reference = Best("BM_ReferenceParser");
        for (const char* name : {"BM_BytesToMessages", "BM_BytesToMessagesByteFeed", "BM_ReferenceParser"}) {
            const double rate = Best(name);
            if (rate <= 0) continue;
            char line[160];
            std::snprintf(line, sizeof line,
                          "%-28s %7.1f MiB/s  %.3f of the framing-and-checksum scan, %.3f of the reference parser\n",
                          name, rate / 1048576.0, scan > 0 ? rate / scan : 0.0, reference > 0 ? rate / reference : 0.0);
            GetOutputStream() << line;
        }
    }

private:
    // The best repetition: on a shared machine the slow ones measure the neighbours.
    double Best(const std::string& name) const {
        const auto it = m_rates.find(name);
        double best = 0;
        if (it != m_rates.end())
            for (double r : it->second) best = std::max(best, r);
        return best;
    }
    std::map<std::string, std::vector<double>> m_rates;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Stream();  // made once, before anything is measured
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
