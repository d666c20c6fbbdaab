// Whole programming runs against the simulated chip on a pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "Procedure.h"
#include "SimulatedChip.h"

using namespace std::chrono;
using testsupport::ScratchDir;

namespace {

constexpr uint32_t kFlashSize = testsupport::kSimulatedFlashSize;
using testsupport::QuickWait;
using testsupport::SimulatedChip;

struct BurnResult {
    uint32_t code;
    double seconds;
    std::string flash;
    std::vector<uint32_t> bars;
};

void RecordBar(BurnJob& job) {
    auto* bars = static_cast<std::vector<uint32_t>*>(job.owner);
    const uint32_t bar = job.counters->bar.load();
    if (bars->empty() || bars->back() != bar) bars->push_back(bar);
}

BurnResult Burn(SimulatedChip& chip, const std::string& image, uint32_t readTimeoutMs = FlashPort::kUseDefault,
               uint32_t attempts = 300) {
    testsupport::WriteFile(chip.Dir() / "image.bin", image);
    BurnBatch batch = PrepareImages(chip.Dir() / "image.bin");
    FlashLineSettings settings;
    settings.port = chip.Path();
    std::string error;
    auto port = OpenFlashPort(settings, error);
    EXPECT_TRUE(port) << error;
    SerialPortLine line(*port);
    BurnCounters counters;
    BurnResult result{};
    BurnJob job;
    job.line = &line;
    job.loader = batch.loader.get();
    job.image = *batch.image;
    job.attemptLimit = attempts;
    job.passes = attempts >= 1000 ? 10 : 2;  // paced runs get the real patience
    job.wait = QuickWait;
    job.readTimeoutMs = readTimeoutMs;
    job.writeTimeoutMs = readTimeoutMs;
    job.counters = &counters;
    job.notify = RecordBar;
    job.owner = &result.bars;
    const auto start = steady_clock::now();
    result.code = BurnImage(job);
    result.seconds = duration<double>(steady_clock::now() - start).count();
    port->Close();
    result.flash = chip.Flash();
    return result;
}

std::string Image(std::size_t size, uint32_t seed) { return testsupport::RandomBytes(size, seed); }

}  // namespace

class ImageSizes : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ImageSizes, LandByteExactInTheFlashWithTheRestErased) {
    SimulatedChip chip;
    const std::string image = Image(GetParam(), static_cast<uint32_t>(GetParam()));
    const BurnResult r = Burn(chip, image);
    ASSERT_EQ(r.code, 0u) << std::hex << r.code;
    ASSERT_EQ(r.flash.size(), kFlashSize);
    EXPECT_TRUE(r.flash.compare(0, image.size(), image) == 0);
    EXPECT_EQ(r.flash.find_first_not_of('\xFF', image.size()), std::string::npos);
    // The bar climbs to 30 in the boot ROM stage, starts the loader stage at 30, ends at 100.
    ASSERT_FALSE(r.bars.empty());
    EXPECT_EQ(r.bars.front(), 0u);
    EXPECT_TRUE(std::find(r.bars.begin(), r.bars.end(), 30u) != r.bars.end());
    EXPECT_EQ(r.bars.back(), 100u);
    EXPECT_TRUE(std::is_sorted(r.bars.begin(), r.bars.end()));
}

INSTANTIATE_TEST_SUITE_P(Unpaced, ImageSizes, ::testing::Values(4, 5, 1028, 3840, 3845, 1u << 20));

TEST(BurnPaced, SixtyFourKilobytesAtTheLineRates) {
    SimulatedChip chip({}, true);
    const std::string image = Image(64 * 1024, 99);
    const BurnResult r = Burn(chip, image, FlashPort::kUseDefault, 1000);
    ASSERT_EQ(r.code, 0u) << std::hex << r.code;
    EXPECT_TRUE(r.flash.compare(0, image.size(), image) == 0);
    // 64 KiB at 921600 baud cannot take less than 0.7 s on the wire.
    EXPECT_GT(r.seconds, 0.7);
}

// Behind an adapter whose latency timer holds every answer back 16 ms, the handshake
// still finds the boot ROM: an attempt that hears nothing lasts the read time-out.
TEST(BurnPaced, ThroughAnAdapterThatHoldsAnswersBack) {
    SimulatedChip chip({}, true, 16);
    const std::string image = Image(4096, 7);
    const BurnResult r = Burn(chip, image);
    ASSERT_EQ(r.code, 0u) << std::hex << r.code;
    EXPECT_TRUE(r.flash.compare(0, image.size(), image) == 0);
}

struct FaultCase {
    const char* name;
    sim::ChipFaults faults;
    uint32_t code;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

sim::ChipFaults With(void (*set)(sim::ChipFaults&)) {
    sim::ChipFaults f;
    set(f);
    return f;
}

class ChipFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ChipFault, EndsWithItsResultCode) {
    SimulatedChip chip(GetParam().faults);
    const BurnResult r = Burn(chip, Image(5000, 5), 1500);
    EXPECT_EQ(r.code, GetParam().code) << std::hex << r.code;
    if (GetParam().code == 0) {
        EXPECT_TRUE(r.flash.compare(0, 5000, Image(5000, 5)) == 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ChipFault,
    ::testing::Values(
        FaultCase{"silent_boot_rom", With([](sim::ChipFaults& f) { f.silentBootRom = true; }), 0xB0006},
        FaultCase{"boot_rom_only_at_9600", With([](sim::ChipFaults& f) { f.bootRomBaud = 9600; }), 0},
        FaultCase{"changed_bulk_echo", With([](sim::ChipFaults& f) { f.corruptBulkEchoAt = 300; }), 0xA0006},
        FaultCase{"wrong_ram_checksum", With([](sim::ChipFaults& f) { f.wrongChecksum = true; }), 0xA0006},
        FaultCase{"silent_jump", With([](sim::ChipFaults& f) { f.silentJump = true; }), 0xC0006},
        FaultCase{"loader_refuses", With([](sim::ChipFaults& f) { f.refuseReady = true; }), 16},
        FaultCase{"wrong_lead_byte", With([](sim::ChipFaults& f) { f.wrongLead = true; }), 9},
        FaultCase{"wrong_ready_bytes", With([](sim::ChipFaults& f) { f.wrongReady = true; }), 10},
        FaultCase{"baud_switch_refused", With([](sim::ChipFaults& f) { f.refuseBaudSwitch = true; }), 0},
        FaultCase{"flash_range_refused", With([](sim::ChipFaults& f) { f.refuseRange = true; }), 13},
        FaultCase{"garbage_five_times", With([](sim::ChipFaults& f) { f.garbagePacket = 2, f.garbageTimes = 5; }), 0},
        FaultCase{"retry_refused", With([](sim::ChipFaults& f) { f.garbagePacket = 1, f.garbageTimes = 5, f.refuseRetry = true; }), 14},
        FaultCase{"abort_05", With([](sim::ChipFaults& f) { f.abortPacket = 1, f.abortCode = 5; }), 14},
        FaultCase{"abort_07", With([](sim::ChipFaults& f) { f.abortPacket = 3, f.abortCode = 7; }), 14},
        FaultCase{"final_failure", With([](sim::ChipFaults& f) { f.finalFailure = true; }), 14}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

class CutLine : public ::testing::TestWithParam<int64_t> {};

TEST_P(CutLine, FailsWithinTheProtocolsTimeoutsNeverSucceeds) {
    sim::ChipFaults faults;
    faults.cutAtByte = GetParam();
    SimulatedChip chip(faults);
    const BurnResult r = Burn(chip, Image(20000, 8), 300);
    EXPECT_NE(r.code, 0u);
    // The longest wait left is 120 empty reads of 300 ms plus 50 ms pauses.
    EXPECT_LT(r.seconds, 120 * 0.35 + 10);
}

INSTANTIATE_TEST_SUITE_P(AtByte, CutLine, ::testing::Values(3, 400, 9000, 12000));
