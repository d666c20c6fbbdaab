// Whole programming runs against the simulated chip on a pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "flash/core/Procedure.h"
#include "platform/serial/PortList.h"
#include "tests/support/SimulatedChip.h"

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
    std::string failure;
    uint32_t rateUsed;
    std::string rateText;
    uint32_t packetRepeats;
};

// The steps a run logged, in order.
struct StepList : IRunLog {
    void Step(const std::string& text) override { steps.push_back(text); }
    std::vector<std::string> steps;
};

void RecordBar(BurnJob& job) {
    auto* bars = static_cast<std::vector<uint32_t>*>(job.owner);
    const uint32_t bar = job.counters->bar.load();
    if (bars->empty() || bars->back() != bar) bars->push_back(bar);
}

BurnResult Burn(SimulatedChip& chip, const std::string& image, uint32_t readTimeoutMs = FlashPort::kUseDefault,
               uint32_t attempts = 300, IRunLog* log = nullptr) {
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
    job.portPath = chip.Path();
    job.log = log;
    const auto start = steady_clock::now();
    result.code = BurnImage(job);
    result.seconds = duration<double>(steady_clock::now() - start).count();
    result.failure = job.failure;
    result.rateUsed = job.rateUsed;
    result.rateText = job.rateText;
    result.packetRepeats = job.packetRepeats;
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

// Each failing stage names its step and what the module sent, in place of one meaning
// for every failure of the flash write.
TEST(BurnDiagnosis, AFailureNamesItsStepAndTheModulesAnswer) {
    struct Case {
        void (*set)(sim::ChipFaults&);
        uint32_t code;
        const char* words;
    };
    const Case cases[] = {
        {[](sim::ChipFaults& f) { f.abortPacket = 3, f.abortCode = 6; }, 14,
         "the module's loader aborted the stream (cause 0x06) at packet 3, after 3076 of 5000 bytes"},
        {[](sim::ChipFaults& f) { f.garbagePacket = 1, f.garbageTimes = 5, f.refuseRetry = true; }, 14,
         "the module refused the repeat of packet 1 (answer 0x1C), after 1028 of 5000 bytes"},
        {[](sim::ChipFaults& f) { f.refuseRange = true; }, 13, "the module refused the flash range (answer 0x1C)"},
        {[](sim::ChipFaults& f) { f.finalFailure = true; }, 14,
         "the module gave up writing the flash at the end of the stream"},
        {[](sim::ChipFaults& f) { f.wrongLead = true; }, 9, "the loader announced itself with 0x3C instead of 0xB0"},
    };
    for (const Case& c : cases) {
        SimulatedChip chip(With(c.set));
        const BurnResult r = Burn(chip, Image(5000, 5), 1500);
        EXPECT_EQ(r.code, c.code) << c.words;
        EXPECT_EQ(r.failure, c.words);
        EXPECT_EQ(ResultLine(r.code, r.failure), ResultText(r.code) + " (" + c.words + ")");
    }
}

// A 1 MiB image on a module with 256 KiB of flash: the loader takes 255 packets, then
// refuses the one that would end past its flash.
TEST(BurnDiagnosis, AnImageLargerThanTheFlashStopsAtTheFlashsEnd) {
    sim::ChipFaults small;
    small.flashBytes = 256 * 1024;
    SimulatedChip chip(small);
    const BurnResult r = Burn(chip, Image(1u << 20, 3), 1500);
    EXPECT_EQ(r.code, burn::kWriteFailed);
    EXPECT_EQ(r.failure, "the module's loader aborted the stream (cause 0x05) at packet 255, after 261124 of "
                         "1048576 bytes");
}

TEST(BurnDiagnosis, ARefusedRateIsWrittenAtTheOldOneAndRepeatsAreCountedAndLogged) {
    sim::ChipFaults faults;
    faults.refuseBaudSwitch = true;
    faults.garbagePacket = 2;
    faults.garbageTimes = 5;
    SimulatedChip chip(faults);
    StepList log;
    const BurnResult r = Burn(chip, Image(70000, 4), 1500, 300, &log);
    ASSERT_EQ(r.code, 0u) << r.failure;
    EXPECT_EQ(r.rateUsed, 115200u);
    EXPECT_EQ(r.rateText, "written at 115200 baud: the module refused 921600");
    EXPECT_EQ(r.packetRepeats, 5u);
    const auto logged = [&](const std::string& part) {
        for (const std::string& step : log.steps)
            if (step.find(part) != std::string::npos) return true;
        return false;
    };
    for (const char* step : {"handshake synchronised at 115200", "loader ready", "written at 115200 baud",
                             "range accepted", "packet 2 repeated: the module answered 0x3C", "64 packets written",
                             "closing: the loader closed", "done: success"})
        EXPECT_TRUE(logged(step)) << step;

    SimulatedChip fast;
    const BurnResult quick = Burn(fast, Image(5000, 4), 1500);
    EXPECT_EQ(quick.rateText, "written at 921600 baud");
    EXPECT_EQ(quick.packetRepeats, 0u);
}

// A terminal left open on the port would take the module's answers: the run does not
// start, and says who holds the port.
TEST(BurnDiagnosis, APortHeldByAnotherProgramRefusesTheRunAndNamesIt) {
    SimulatedChip chip;
    testsupport::ChildProcess holder({"/bin/sh", "-c", "exec sleep 60 <" + chip.Path()}, chip.Dir().Path());
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !serial::PortHolders(chip.Path()).empty(); }, seconds(10)));
    const std::vector<serial::PortHolder> holders = serial::PortHolders(chip.Path());
    ASSERT_EQ(holders.size(), 1u);
    EXPECT_EQ(holders[0].name, "sleep");
    const BurnResult r = Burn(chip, Image(5000, 6), 1500);
    EXPECT_EQ(r.code, burn::kNoPort);
    EXPECT_EQ(r.failure, "the port is in use by sleep (pid " + std::to_string(holders[0].pid) + ")");
    EXPECT_EQ(r.flash.find_first_not_of('\xFF'), std::string::npos);  // nothing was written
}

// A holder that locks the port (another flasher, a terminal program that locks): the port
// does not open, and the reason names who has it.
TEST(BurnDiagnosis, APortLockedByAnotherProgramNamesItInTheOpenError) {
    SimulatedChip chip;
    testsupport::ChildProcess holder({"/usr/bin/flock", "-n", chip.Path(), "sleep", "60"}, chip.Dir().Path());
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !serial::PortHolders(chip.Path()).empty(); }, seconds(10)));
    FlashLineSettings settings;
    settings.port = chip.Path();
    std::string error;
    std::unique_ptr<serial::SerialPort> port;
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !(port = OpenFlashPort(settings, error)); }, seconds(10)));
    EXPECT_NE(error.find("Device or resource busy"), std::string::npos) << error;
    EXPECT_NE(error.find("the port is in use by "), std::string::npos) << error;
}

// The adapter pulled in the middle of the write: whatever step meets it, the failure
// says so instead of blaming the module.
TEST(BurnDiagnosis, APulledAdapterIsNamedAsSuch) {
    SimulatedChip chip({}, true);
    std::thread pull([&] {
        testsupport::WaitUntil([&] { return chip.Flash().compare(0, 4, std::string(4, '\xFF')) != 0; }, seconds(60));
        chip.SetPlugged(false);
    });
    const BurnResult r = Burn(chip, Image(256 * 1024, 9), 1500, 1000);
    pull.join();
    EXPECT_NE(r.code, 0u);
    EXPECT_EQ(r.failure, "the adapter was removed");
}
