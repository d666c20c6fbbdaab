// Finding the rate a module talks at: the sentence check, and the hunt against the
// simulated module at its own rate and against a silent line.
#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "monitor/link/BaudHunt.h"
#include "platform/serial/CancelEvent.h"
#include "sim/PtyLine.h"
#include "sim/Simulator.h"
#include "tests/support/TestSupport.h"

TEST(GoodSentenceCounter, CountsWholeSentencesWithTheirChecksumRightFedInAnyPieces) {
    const std::string bytes =
        "PGGA,partial*11\r\n"                                          // the tail of an earlier one
        "$GPGSA,A,3,04,05,,,,,,,,,,,2.5,1.3,2.1*35\r\n"                // good
        "$GPGSA,A,3,04,05,,,,,,,,,,,2.5,1.3,2.1*34\r\n"                // wrong checksum
        "$GPGLL,4916.45,N,12311.12,W,225444,A*31\n"                    // no CR
        "\x91\xE4$\x02*zz\xFF\r\n"                                     // noise
        "$GPVTG,054.7,T,$GPGLL,4916.45,N,12311.12,W,225444,A*31\r\n"  // cut short by a good one
        "$" + std::string(300, 'A') + "*00\r\n";                       // too long for a receiver
    for (std::size_t piece = 1; piece <= bytes.size(); ++piece) {
        GoodSentenceCounter counter;
        for (std::size_t at = 0; at < bytes.size(); at += piece)
            counter.Feed(reinterpret_cast<const uint8_t*>(bytes.data()) + at, std::min(piece, bytes.size() - at));
        EXPECT_EQ(counter.Count(), 2) << piece;
    }
}

class HuntAgainstTheModule : public ::testing::TestWithParam<uint32_t> {};

// The simulated module talks at its rate only and sends noise at any other.
TEST_P(HuntAgainstTheModule, FindsTheRateTryingTheCommonOnesFirst) {
    sim::PtyLine line;
    std::string error;
    ASSERT_TRUE(line.Open(error)) << error;
    sim::SimulatorOptions options;
    options.moduleBaud = GetParam();
    sim::Simulator module(line, options);
    std::thread run([&] { module.Run(error); });
    std::vector<uint32_t> tried;
    const HuntOutcome outcome = HuntBaudRate(line.SlavePath(), {}, nullptr, [&](uint32_t rate) { tried.push_back(rate); });
    module.Stop();
    run.join();
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(outcome.baudRate, GetParam());
    const std::map<uint32_t, std::vector<uint32_t>> expected = {
        {115200, {115200}}, {9600, {115200, 9600}}, {921600, {115200, 9600, 230400, 460800, 921600}}};
    EXPECT_EQ(tried, expected.at(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(BaudHunt, HuntAgainstTheModule, ::testing::Values(9600u, 115200u, 921600u));

TEST(BaudHunt, TriesTheFastFactoryRatesRightAfterTheTwoOldOnesAndEveryListedRateOnce) {
    EXPECT_EQ(HuntOrder(), (std::vector<uint32_t>{115200, 9600, 230400, 460800, 921600, 57600, 38400, 19200, 4800,
                                                  14400, 56000, 128000, 256000}));
}

TEST(BaudHunt, SilentLineEndsWithNoRateAndACancelEndsItAtOnce) {
    testsupport::PtyPair silent;
    HuntSettings settings;
    settings.rates = {115200, 9600, 4800};
    settings.listenMs = 300;
    std::vector<uint32_t> tried;
    HuntOutcome outcome = HuntBaudRate(silent.SlavePath(), settings, nullptr, [&](uint32_t rate) { tried.push_back(rate); });
    EXPECT_EQ(outcome.baudRate, 0u);
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(tried, settings.rates);
    serial::CancelEvent cancel;
    cancel.Set();
    settings.listenMs = 600000;
    outcome = HuntBaudRate(silent.SlavePath(), settings, &cancel, nullptr);
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(outcome.baudRate, 0u);
}
