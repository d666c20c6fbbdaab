// Hosts that get the flashing protocol wrong, run against the simulated chip on a
// pseudo-terminal: each fails with the code a real module would leave it with, while the
// right host still flashes.
#include <gtest/gtest.h>

#include "flash/core/Procedure.h"
#include "tests/support/SimulatedChip.h"

namespace {

using testsupport::QuickWait;
using testsupport::SimulatedChip;

constexpr uint32_t kShortReadMs = 300;  // how long a silent chip is waited for

// Changes one thing about an otherwise right run.
using Twist = void (*)(BurnJob& job, LoaderRecord& loader);

uint32_t Burn(SimulatedChip& chip, const std::string& image, Twist twist = nullptr) {
    testsupport::WriteFile(chip.Dir() / "image.bin", image);
    BurnBatch batch = PrepareImages(chip.Dir() / "image.bin");
    FlashLineSettings settings;
    settings.port = chip.Path();
    std::string error;
    auto port = OpenFlashPort(settings, error);
    EXPECT_TRUE(port) << error;
    if (!port) return ~0u;
    SerialPortLine line(*port);
    BurnCounters counters;
    LoaderRecord loader = *batch.loader;
    BurnJob job;
    job.line = &line;
    job.loader = &loader;
    job.image = *batch.image;
    job.attemptLimit = 300;
    job.passes = 2;
    job.wait = QuickWait;
    job.readTimeoutMs = kShortReadMs;
    job.writeTimeoutMs = kShortReadMs;
    job.counters = &counters;
    if (twist) twist(job, loader);
    const uint32_t code = BurnImage(job);
    port->Close();
    return code;
}

// A port on the chip's line with the protocol's waits shortened.
struct HostPort {
    explicit HostPort(const SimulatedChip& chip) {
        FlashLineSettings settings;
        settings.port = chip.Path();
        std::string error;
        serial = OpenFlashPort(settings, error);
        EXPECT_TRUE(serial) << error;
        line = std::make_unique<SerialPortLine>(*serial);
        port = std::make_unique<FlashPort>(line.get(), QuickWait);
    }
    std::unique_ptr<serial::SerialPort> serial;
    std::unique_ptr<SerialPortLine> line;
    std::unique_ptr<FlashPort> port;
};

LoadRequest LoaderRequest() { return LoadRequest{LoaderImage, burn::kLoaderSize, nullptr, nullptr, nullptr, nullptr}; }

FlashImage ImageOf(const std::string& bytes) {
    std::shared_ptr<uint8_t[]> data(new uint8_t[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), data.get());
    FlashImage image;
    image.path = "image.bin";
    image.data = data;
    image.size = static_cast<uint32_t>(bytes.size());
    image.endAddress = image.size - 1;
    return image;
}

// The first bytes the module sends to a host at 115200 within about `ms` milliseconds.
std::string Listen(const SimulatedChip& chip, uint32_t ms) {
    HostPort host(chip);
    if (host.port->SetTimeouts(ms, ms) != 0) return {};
    uint8_t buffer[64];
    const long n = host.line->Read(buffer, sizeof buffer);
    return n > 0 ? std::string(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

TEST(RightHost, FlashesTheSameChipTwice) {
    SimulatedChip chip;
    const std::string first = testsupport::RandomBytes(5000, 1), second = testsupport::RandomBytes(3000, 2);
    EXPECT_EQ(Burn(chip, first), 0u);
    // The loader heard its closing command at the fast rate: the firmware talks and
    // answers again.
    EXPECT_NE(Listen(chip, 3000).find('$'), std::string::npos);
    EXPECT_EQ(Burn(chip, second), 0u);
    EXPECT_EQ(chip.Flash().substr(0, 3000), second);
    EXPECT_EQ(chip.Flash().substr(3000, 2000), first.substr(3000));
}

struct WrongRun {
    const char* name;
    Twist twist;
    uint32_t code;
};

class WrongRuns : public ::testing::TestWithParam<WrongRun> {};

TEST_P(WrongRuns, EndWithTheCodeOfTheStepTheChipRefused) {
    SimulatedChip chip;
    EXPECT_EQ(Burn(chip, testsupport::RandomBytes(20000, 3), GetParam().twist), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, WrongRuns,
    ::testing::Values(
        // Flash range refused (the loader does not know mode 2).
        WrongRun{"mode_byte_2", [](BurnJob& j, LoaderRecord&) { j.image.modeByte = 2; }, 13},
        // Flash writing failed: the write header is refused.
        WrongRun{"packets_of_512", [](BurnJob& j, LoaderRecord&) { j.image.packetSize = 512; }, 14},
        // Flash writing failed: the eighth packet would end past the flash.
        WrongRun{"image_past_the_end_of_the_flash",
                 [](BurnJob& j, LoaderRecord&) {
                     j.image.startAddress = testsupport::kSimulatedFlashSize - 8192;
                     j.image.endAddress = j.image.startAddress + j.image.size - 1;
                 },
                 14},
        // Only part of the loader in RAM: the jump runs into garbage, no ready byte.
        WrongRun{"loader_cut_short", [](BurnJob&, LoaderRecord& l) { l.size = 1000; }, 8}),
    [](const auto& info) { return std::string(info.param.name); });

// A host that jumps to 0xC00 without having written the loader.
TEST(WrongHost, JumpWithoutTheLoaderHearsNoReadyByte) {
    struct SkipsTheLoader : Rom_ZR7316A {
        using Rom_ZR7316A::Rom_ZR7316A;
        int WriteBlock(FlashPort&, uint32_t, const uint8_t*, uint32_t, StartCallback, void*, ProgressCallback,
                       void*) override {
            return 0;
        }
    };
    SimulatedChip chip;
    HostPort host(chip);
    SkipsTheLoader rom(300, 2);
    ASSERT_EQ(rom.Run(*host.port, LoaderRequest()), 0u);  // the jump itself is echoed
    ASSERT_EQ(host.port->SetTimeouts(kShortReadMs, kShortReadMs), 0);
    LoaderInfo info{};
    EXPECT_EQ(WaitLoaderReady(*host.port, info), 8);
}

namespace {

// As a right host: the boot ROM's handshake, the loader ready, the switch to 921600.
void ReachTheFastLoader(HostPort& host) {
    Rom_ZR7316A rom(300, 2);
    ASSERT_EQ(rom.Run(*host.port, LoaderRequest()), 0u);
    ASSERT_EQ(host.port->SetTimeouts(kShortReadMs, kShortReadMs), 0);
    LoaderInfo info{};
    ASSERT_EQ(WaitLoaderReady(*host.port, info), 0);
    ASSERT_EQ(SwitchBaud(*host.port, 1, 0), 0);
}

}  // namespace

// A host that switches the loader to 921600, passes the line check, and then goes back
// to 115200 before the flash range.
TEST(WrongHost, LeavingTheAgreedRateAfterTheSwitchIsNotHeard) {
    SimulatedChip chip;
    HostPort host(chip);
    ASSERT_NO_FATAL_FAILURE(ReachTheFastLoader(host));
    FlashPort& port = *host.port;
    ASSERT_EQ(port.SetBaudRate(115200), 0);

    FlashImage image = ImageOf(testsupport::RandomBytes(2000, 5));
    EXPECT_EQ(SetFlashRange(port, image), 5);  // never answered: the procedure reports 13
}

// A host that writes the whole image and goes back to 115200 before the loader's closing
// command: the loader never hears it and runs on, so the module sends no NMEA and the
// next run finds no boot ROM.
TEST(WrongHost, GoingBackBeforeTheClosingCommandLeavesTheLoaderRunning) {
    SimulatedChip chip;
    {
        HostPort host(chip);
        ASSERT_NO_FATAL_FAILURE(ReachTheFastLoader(host));
        FlashPort& port = *host.port;
        FlashImage image = ImageOf(testsupport::RandomBytes(3000, 6));
        ASSERT_EQ(SetFlashRange(port, image), 0);
        ASSERT_EQ(WriteFlash(port, &image, 0, nullptr, nullptr, nullptr, nullptr), 0);
        ASSERT_EQ(port.RestoreBaudRate(115200), 0);
        EXPECT_EQ(FinishLoader(port, false), loader::finish::kNoAnswer);
    }
    EXPECT_EQ(Listen(chip, 500).find('$'), std::string::npos);
    EXPECT_EQ(Burn(chip, testsupport::RandomBytes(3000, 7)), burn::kHandshakeCode);
}
