// Finding the rate a module talks at: the sentence check, and the hunt against the
// simulated module at its own rate and against a silent line.
#include <gtest/gtest.h>

#include <thread>

#include "BaudHunt.h"
#include "CancelEvent.h"
#include "PtyLine.h"
#include "Simulator.h"
#include "TestSupport.h"

namespace {

int CountGood(const std::string& bytes, std::size_t piece) {
    GoodSentenceCounter counter;
    for (std::size_t at = 0; at < bytes.size(); at += piece)
        counter.Feed(reinterpret_cast<const uint8_t*>(bytes.data()) + at, std::min(piece, bytes.size() - at));
    return counter.Count();
}

// The simulated module talking at `baud` only, on a line a hunt can open.
struct ModuleAt {
    sim::PtyLine line;
    std::unique_ptr<sim::Simulator> module;
    std::thread thread;
    explicit ModuleAt(uint32_t baud) {
        std::string error;
        EXPECT_TRUE(line.Open(error)) << error;
        sim::SimulatorOptions options;
        options.moduleBaud = baud;
        module = std::make_unique<sim::Simulator>(line, options);
        thread = std::thread([this] {
            std::string e;
            module->Run(e);
        });
    }
    ~ModuleAt() {
        module->Stop();
        thread.join();
    }
};

class HuntAgainstTheModule : public ::testing::TestWithParam<uint32_t> {};

}  // namespace

TEST(GoodSentenceCounter, CountsWholeSentencesWithTheirChecksumRightFedInAnyPieces) {
    const std::string bytes =
        "PGGA,partial*11\r\n"                                   // the tail of one that came before
        "$GPGSA,A,3,04,05,,,,,,,,,,,2.5,1.3,2.1*35\r\n"         // good
        "$GPGSA,A,3,04,05,,,,,,,,,,,2.5,1.3,2.1*34\r\n"         // a wrong checksum
        "$GPGLL,4916.45,N,12311.12,W,225444,A*31\n"             // no CR
        "$GPGLL,4916.45,N,12311.12,W,225444,A\r\n"              // no checksum
        "\x91\xE4$\x02*zz\xFF\r\n"                              // noise
        "$GPVTG,054.7,T,$GPGLL,4916.45,N,12311.12,W,225444,A*31\r\n"  // cut short by a new one, which is good
        "$" + std::string(300, 'A') + "*00\r\n";                // too long for any receiver
    for (std::size_t piece = 1; piece <= bytes.size(); ++piece) EXPECT_EQ(CountGood(bytes, piece), 2) << piece;
}

TEST_P(HuntAgainstTheModule, FindsTheRateTryingTheCommonOnesFirst) {
    ModuleAt module(GetParam());
    std::vector<uint32_t> tried;
    const HuntOutcome outcome =
        HuntBaudRate(module.line.SlavePath(), {}, nullptr, [&](uint32_t rate) { tried.push_back(rate); });
    EXPECT_EQ(outcome.error, "");
    EXPECT_FALSE(outcome.stopped);
    EXPECT_EQ(outcome.baudRate, GetParam());
    EXPECT_EQ(tried, GetParam() == 115200 ? std::vector<uint32_t>{115200} : (std::vector<uint32_t>{115200, 9600}));
}

INSTANTIATE_TEST_SUITE_P(BaudHunt, HuntAgainstTheModule, ::testing::Values(9600u, 115200u));

TEST(BaudHunt, SilentLineEndsWithNoRateAndACancelOrAMissingDeviceEndsIt) {
    EXPECT_EQ(HuntOrder(), (std::vector<uint32_t>{115200, 9600, 4800, 14400, 19200, 38400, 56000, 57600, 128000, 256000}));
    testsupport::PtyPair silent;
    HuntSettings settings;
    settings.rates = {115200, 9600, 4800};
    settings.listenMs = 300;
    std::vector<uint32_t> tried;
    HuntOutcome outcome = HuntBaudRate(silent.SlavePath(), settings, nullptr, [&](uint32_t rate) { tried.push_back(rate); });
    EXPECT_EQ(outcome.baudRate, 0u);
    EXPECT_EQ(outcome.error, "");
    EXPECT_FALSE(outcome.stopped);
    EXPECT_EQ(tried, settings.rates);
    EXPECT_EQ(NoNmeaText(silent.SlavePath()), "no NMEA at any rate on " + silent.SlavePath());

    serial::CancelEvent cancel;
    settings.listenMs = 60000;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        cancel.Set();
    });
    outcome = HuntBaudRate(silent.SlavePath(), settings, &cancel, nullptr);
    stopper.join();
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(outcome.baudRate, 0u);

    outcome = HuntBaudRate("/nonexistent/ttyUSB9", settings, nullptr, nullptr);
    EXPECT_EQ(outcome.error, "Error on open port/nonexistent/ttyUSB9! (error code:2) No such file or directory");
}
