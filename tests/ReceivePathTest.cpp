// The whole receive path against the simulated module: pseudo-terminal, paced line,
// receive worker, capture log and byte callback.
#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "monitor/link/CaptureLog.h"
#include "monitor/link/CommPort.h"
#include "monitor/link/NmeaThread.h"
#include "sim/PtyLine.h"
#include "sim/Simulator.h"
#include "tests/support/LinkHarness.h"
#include "tests/support/TestSupport.h"

using namespace std::chrono;
using testsupport::ScratchDir;
using testsupport::WaitUntil;

namespace {

class ByteSink {
public:
    void Add(const uint8_t* p, std::size_t n) {
        std::lock_guard lock(m_mutex);
        m_bytes.append(reinterpret_cast<const char*>(p), n);
    }
    std::string Bytes() {
        std::lock_guard lock(m_mutex);
        return m_bytes;
    }

private:
    std::mutex m_mutex;
    std::string m_bytes;
};

// Host connected first, then the module starts talking; ends when the module's source
// is exhausted and everything it sent has arrived.
struct SimulatedLink {
    ScratchDir dir;
    CaptureLog log{dir / "LOG"};
    sim::PtyLine line;
    ByteSink sent, received;
    CCommPort port{&log};
    std::unique_ptr<sim::Simulator> module;
    std::thread moduleThread;

    explicit SimulatedLink(sim::SimulatorOptions options, uint32_t baud) {
        std::string error;
        EXPECT_TRUE(line.Open(error)) << error;
        log.Name(line.SlavePath());
        port.Configure(line.SlavePath(), baud, 0, 8, 0, 20);
        EXPECT_TRUE(port.Open([this](uint8_t b) { received.Add(&b, 1); })) << port.OpenErrorText();
        module = std::make_unique<sim::Simulator>(line, std::move(options));
        module->OnSent([this](const uint8_t* p, std::size_t n) { sent.Add(p, n); });
        moduleThread = std::thread([this] {
            std::string e;
            module->Run(e);
        });
    }
    ~SimulatedLink() { Finish(); }

    bool RunToEnd(seconds limit) {
        return WaitUntil([&] { return module->SourceDone() && received.Bytes().size() >= module->BytesSent(); },
                         duration_cast<milliseconds>(limit));
    }
    void Finish() {
        port.Close();
        log.Close();
        if (moduleThread.joinable()) {
            module->Stop();
            moduleThread.join();
        }
    }
};

sim::SimulatorOptions NmeaEpochs(int epochs, bool paced) {
    sim::SimulatorOptions o;
    o.maxEpochs = epochs;
    o.flood = true;
    o.paced = paced;
    return o;
}

}  // namespace

TEST(ReceivePath, TenMegabytesOfRandomBytesUnpacedArriveWholeAndLoggedExactly) {
    ScratchDir data;
    const std::string stream = testsupport::RandomBytes(10 * 1000 * 1000, 11);
    testsupport::WriteFile(data / "random.bin", stream);
    sim::SimulatorOptions options;
    options.replayFile = data / "random.bin";
    options.paced = false;
    SimulatedLink link(options, 921600);
    ASSERT_TRUE(link.RunToEnd(seconds(120)));
    link.Finish();
    ASSERT_EQ(link.module->BytesDropped(), 0u);
    EXPECT_TRUE(link.sent.Bytes() == stream);
    EXPECT_TRUE(link.received.Bytes() == stream) << "received " << link.received.Bytes().size();
    EXPECT_TRUE(testsupport::ReadFile(link.log.FilePath()) == stream);
}

class PacedNmea : public ::testing::TestWithParam<std::pair<uint32_t, int>> {};

TEST_P(PacedNmea, EveryByteArrivesInOrderAndTheLogMatches) {
    const auto [baud, epochs] = GetParam();
    SimulatedLink link(NmeaEpochs(epochs, true), baud);
    const auto start = steady_clock::now();
    ASSERT_TRUE(link.RunToEnd(seconds(60)));
    const double elapsed = duration<double>(steady_clock::now() - start).count();
    link.Finish();
    const std::string sent = link.sent.Bytes();
    ASSERT_GT(sent.size(), 1000u);
    EXPECT_EQ(link.received.Bytes(), sent);
    EXPECT_EQ(testsupport::ReadFile(link.log.FilePath()), sent);
    // Paced: never faster than the line (10 bits a byte) allows.
    EXPECT_GE(elapsed, 0.9 * static_cast<double>(sent.size()) * 10 / baud);
}

INSTANTIATE_TEST_SUITE_P(LineRates, PacedNmea,
                         ::testing::Values(std::pair{9600u, 1}, std::pair{921600u, 40}));

// Notes how many bytes the module had put on the line when each GGA was posted.
class GgaAtByte : public ILinkSink {
public:
    explicit GgaAtByte(const sim::Simulator& module) : m_module(module) {}
    void Post(const LinkMessage& message) override {
        if (message.number != msg::kGga) return;
        std::lock_guard lock(m_mutex);
        m_sentAt.push_back(m_module.BytesSent());
    }
    std::vector<uint64_t> SentAt() {
        std::lock_guard lock(m_mutex);
        return m_sentAt;
    }

private:
    const sim::Simulator& m_module;
    std::mutex m_mutex;
    std::vector<uint64_t> m_sentAt;
};

// Four constellations at 9600 baud: an epoch (about 1180 bytes) outlasts its second, so
// the line never pauses. Each epoch must reach the windows as it comes, not with a whole
// block of 8192 bytes (seven epochs, 8.5 s of the line) behind it. Counted in bytes on
// the line rather than in time, which leaves seconds for a loaded machine.
TEST(ReceivePath, AFullLineAt9600ReachesTheWindowsEpochByEpoch) {
    sim::PtyLine line;
    std::string error;
    ASSERT_TRUE(line.Open(error)) << error;
    sim::Simulator module(line, NmeaEpochs(20, true));  // more than a block holds
    GgaAtByte sink(module);
    CNmeaThread link(line.SlavePath(), 9600, &sink, nullptr);
    link.Start();
    ASSERT_TRUE(link.Connect()) << link.OpenErrorText();
    std::thread moduleThread([&] { module.Run(error); });
    const bool two = WaitUntil([&] { return sink.SentAt().size() >= 2; }, seconds(30));
    module.Stop();
    moduleThread.join();
    link.Shutdown();
    ASSERT_TRUE(two);
    EXPECT_LT(sink.SentAt()[1], kCommBlockSize) << "the second epoch's GGA came after a block's worth of bytes";
}

TEST(ReceivePath, SimulatorFloodAt921600ReachesTheWindowsWithNothingLost) {
    testsupport::RecordingSink sink;
    sim::PtyLine line;
    std::string error;
    ASSERT_TRUE(line.Open(error)) << error;
    CNmeaThread link(line.SlavePath(), 921600, &sink, nullptr);
    link.Start();
    ASSERT_TRUE(link.Connect()) << link.OpenErrorText();
    sim::SimulatorOptions options = NmeaEpochs(100, true);
    options.receiver.epochsPerSecond = 10;
    sim::Simulator module(line, options);
    std::thread moduleThread([&] { module.Run(error); });
    ASSERT_TRUE(WaitUntil([&] { return module.SourceDone(); }, seconds(60)));
    const auto count = [&](int number) {
        int n = 0;
        for (const auto& m : sink.Messages()) n += m.number == number;
        return n;
    };
    // An epoch's satellites follow its GGA: the last one's cycle is waited for too.
    EXPECT_TRUE(WaitUntil([&] { return count(msg::kGga) == 100; }, seconds(10))) << count(msg::kGga);
    EXPECT_TRUE(WaitUntil([&] { return count(msg::kSatellitesInView) >= 100; }, seconds(10)))
        << "at least one satellite cycle per epoch: " << count(msg::kSatellitesInView);
    module.Stop();
    moduleThread.join();
    link.Shutdown();
    EXPECT_EQ(link.Stream().DroppedSentences(), 0u);
}
