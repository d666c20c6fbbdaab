// The simulated chip fed byte by byte at a chosen line rate: what a host that gets the
// protocol wrong is told, or not told.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "sim/ChipModel.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr uint32_t kBootRate = 115200;
constexpr uint32_t kFastRate = 921600;
constexpr uint32_t kLoaderLength = 8728;  // the loader image both flashing programs carry

std::string B(std::initializer_list<int> bytes) {
    std::string s;
    for (const int b : bytes) s += static_cast<char>(b);
    return s;
}

std::string Be32(uint32_t v) { return B({int(v >> 24), int(v >> 16 & 0xFF), int(v >> 8 & 0xFF), int(v & 0xFF)}); }

// The chip with its flash in `flashPath` (empty: nowhere), and the host's side of it.
class Chip {
public:
    explicit Chip(uint32_t flashSize = 64 * 1024, std::string flashPath = "", sim::ChipFaults faults = {})
        : m_model(faults, std::move(flashPath), flashSize) {}

    std::string Send(const std::string& bytes, uint32_t baud = kBootRate) {
        std::string out;
        m_model.Receive(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), baud, out);
        return out;
    }
    uint32_t LineRate() const { return m_model.LineRate(); }

    // Boot-entry sentence and the four sync bytes answered: the command phase.
    void EnterBootRom() {
        Send("$PZRC75*1D\r\n");
        ASSERT_EQ(Send(B({0x90, 0x09, 0x60, 0x06})), B({0x6F, 0xF6, 0x9F, 0xF9}));
    }
    // 0xA1: every byte echoed.
    void WriteRam(uint32_t address, const std::string& bytes) {
        const std::string sent = B({0xA1}) + Be32(address) + Be32(static_cast<uint32_t>(bytes.size() / 2)) + bytes;
        ASSERT_EQ(Send(sent), sent);
    }
    // 0xA4: the command and its parameters echoed, then the XOR of the halfwords.
    std::string Checksum(uint32_t address, uint32_t halfwords) {
        const std::string sent = B({0xA4}) + Be32(address) + Be32(halfwords);
        const std::string reply = Send(sent);
        EXPECT_EQ(reply.substr(0, sent.size()), sent);
        return reply.substr(std::min(sent.size(), reply.size()));
    }
    // 0xA8 to 0xC00: what comes after the echo of command and address.
    std::string JumpToLoader() {
        const std::string sent = B({0xA8}) + Be32(0xC00);
        const std::string reply = Send(sent);
        EXPECT_EQ(reply.substr(0, sent.size()), sent);
        return reply.substr(std::min(sent.size(), reply.size()));
    }
    // The whole loader written, proven by its checksum, and started.
    void StartLoader() {
        EnterBootRom();
        WriteRam(0xC00, testsupport::RandomBytes(kLoaderLength, 7));
        Checksum(0xC00, kLoaderLength / 2);
        ASSERT_EQ(JumpToLoader(), B({0xB0, 0x01, 0x00}));
    }

private:
    sim::ChipModel m_model;
};

std::string FlashRange(int mode, uint32_t start, uint32_t end) { return B({0xE2, mode}) + Be32(start) + Be32(end); }
std::string WriteHeader(uint32_t packetSize, const std::string& first4) {
    return B({0xE3}) + Be32(packetSize) + first4;
}
std::string Packet(const std::string& data) {
    uint16_t sum = 0;
    for (const char c : data) sum = static_cast<uint16_t>(sum + static_cast<uint8_t>(c));
    return data + B({sum >> 8, sum & 0xFF});
}

}  // namespace

// A boot ROM answers every sync byte it hears; a host polling faster than the line gets
// one answer per repeat and has to let the late ones pass.
TEST(ChipSync, EveryRepeatOfTheFirstSyncByteIsAnswered) {
    Chip chip;
    chip.Send("$PZRC75*1D\r\n");
    EXPECT_EQ(chip.Send(B({0x90, 0x90, 0x90, 0x90, 0x90})), B({0x6F, 0x6F, 0x6F, 0x6F, 0x6F}));
    EXPECT_EQ(chip.Send(B({0x09, 0x60, 0x06})), B({0xF6, 0x9F, 0xF9}));
    EXPECT_EQ(chip.Send(B({0xA4})), B({0xA4}));  // the command phase echoes commands
}

TEST(ChipSync, AByteOutOfSequenceStartsTheHandshakeAgain) {
    Chip chip;
    chip.Send("$PZRC75*1D\r\n");
    EXPECT_EQ(chip.Send(B({0x90, 0x60, 0x09, 0x06})), B({0x6F}));
    EXPECT_EQ(chip.Send(B({0x90, 0x09, 0x60, 0x06})), B({0x6F, 0xF6, 0x9F, 0xF9}));
}

// Hosts that jump to 0xC00 without the loader whole and proven there: the boot ROM
// echoes the jump and the chip runs into whatever RAM holds, so nothing answers again.
struct UnprovenLoader {
    const char* name;
    void (*host)(Chip& chip);
};

class ChipLoaderStart : public ::testing::TestWithParam<UnprovenLoader> {};

TEST_P(ChipLoaderStart, JumpWithoutTheProvenLoaderGetsNoReadyBytes) {
    Chip chip;
    chip.EnterBootRom();
    GetParam().host(chip);
    EXPECT_EQ(chip.JumpToLoader(), "");
    EXPECT_EQ(chip.Send(B({0xE1, 0x01, 0x00})), "");
    EXPECT_EQ(chip.Send(B({0xA4})), "");  // nor does the boot ROM
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, ChipLoaderStart,
    ::testing::Values(
        UnprovenLoader{"nothing_written", [](Chip&) {}},
        UnprovenLoader{"checksum_never_read",
                       [](Chip& c) { c.WriteRam(0xC00, testsupport::RandomBytes(kLoaderLength, 1)); }},
        UnprovenLoader{"only_part_of_the_loader",
                       [](Chip& c) {
                           c.WriteRam(0xC00, testsupport::RandomBytes(100, 2));
                           c.Checksum(0xC00, 50);
                       }},
        UnprovenLoader{"checksum_over_more_than_was_written",
                       [](Chip& c) {
                           c.WriteRam(0xC00, testsupport::RandomBytes(kLoaderLength - 2, 3));
                           c.Checksum(0xC00, kLoaderLength / 2);
                       }},
        UnprovenLoader{"written_again_after_the_checksum",
                       [](Chip& c) {
                           c.WriteRam(0xC00, testsupport::RandomBytes(kLoaderLength, 4));
                           c.Checksum(0xC00, kLoaderLength / 2);
                           c.WriteRam(0xC00 + 1000, B({0x12, 0x34}));
                       }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ChipLoaderStart, ProvenLoaderStartsAndARestartForgetsIt) {
    Chip chip;
    chip.StartLoader();
    EXPECT_EQ(chip.Send(B({0xE5})), B({0xA0}));  // back to the firmware
    chip.EnterBootRom();
    EXPECT_EQ(chip.JumpToLoader(), "");  // RAM does not outlive the restart
}

// The loader samples at the boot ROM's rate until its baud switch is acknowledged, then
// at the new rate only: a host that stays behind is not heard.
TEST(ChipLineRate, LoaderHearsOnlyTheAgreedRate) {
    Chip chip;
    EXPECT_EQ(chip.LineRate(), 0u);  // the firmware follows the host
    chip.StartLoader();
    EXPECT_EQ(chip.LineRate(), kBootRate);
    EXPECT_EQ(chip.Send(FlashRange(1, 0, 99), 9600), "");
    EXPECT_EQ(chip.Send(B({0xE1, 0x01, 0x00})), B({0x6B}));
    EXPECT_EQ(chip.LineRate(), kFastRate);

    // A host still at 115200: its line check and acknowledge are noise.
    EXPECT_EQ(chip.Send(B({0xB0, 0xB0, 0x6B})), "");
    // The same bytes at the agreed rate.
    EXPECT_EQ(chip.Send(B({0xB0}), kFastRate), B({0xB0}));
    EXPECT_EQ(chip.Send(B({0x6B}), kFastRate), B({0x6B}));

    // A host back at 115200 after the check: its commands are noise too.
    EXPECT_EQ(chip.Send(FlashRange(1, 0, 99)), "");
    EXPECT_EQ(chip.Send(B({0xE5})), "");
    EXPECT_EQ(chip.Send(FlashRange(1, 0, 99), kFastRate), B({0x6B, 10}));
    EXPECT_EQ(chip.Send(B({0xE5}), kFastRate), B({0xA0}));
}

// The loader takes mode byte 1 and 1024-byte packets, and nothing else.
struct HeaderCase {
    const char* name;
    int mode;
    uint32_t start, end, packetSize;
    std::string rangeReply, headerReply;
};

class ChipLoaderHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(ChipLoaderHeader, RefusesWhatTheLoaderDoesNotKnow) {
    const HeaderCase& c = GetParam();
    Chip chip;
    chip.StartLoader();
    EXPECT_EQ(chip.Send(FlashRange(c.mode, c.start, c.end)), c.rangeReply);
    EXPECT_EQ(chip.Send(WriteHeader(c.packetSize, "abcd")).substr(0, 2), c.headerReply);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChipLoaderHeader,
    ::testing::Values(HeaderCase{"as_the_programs_send_it", 1, 0, 4099, 1024, B({0x6B, 10}), B({0x6B, 0x6B})},
                      HeaderCase{"mode_0", 0, 0, 4099, 1024, B({0x1C, 0x1C}), B({0x6B, 0x6B})},
                      HeaderCase{"mode_2", 2, 0, 4099, 1024, B({0x1C, 0x1C}), B({0x6B, 0x6B})},
                      HeaderCase{"end_before_start", 1, 4099, 0, 1024, B({0x1C, 0x1C}), B({0x6B, 0x6B})},
                      HeaderCase{"packets_of_512", 1, 0, 4099, 512, B({0x6B, 10}), B({0x1C, 0x1C})},
                      HeaderCase{"packets_of_2048", 1, 0, 4099, 2048, B({0x6B, 10}), B({0x1C, 0x1C})},
                      HeaderCase{"packets_of_0", 1, 0, 4099, 0, B({0x6B, 10}), B({0x1C, 0x1C})},
                      HeaderCase{"range_starting_past_the_flash", 1, 64 * 1024, 64 * 1024 + 99, 1024,
                                 B({0x6B, 10}), B({0x05, 0x05})}),
    [](const auto& info) { return std::string(info.param.name); });

// A range that runs past the flash is taken on trust; the first packet that would end
// past it is aborted, and nothing of it or after it is written.
TEST(ChipLoaderPackets, PacketPastTheEndOfTheFlashIsAborted) {
    constexpr uint32_t kFlash = 8192;
    testsupport::ScratchDir dir;
    Chip chip(kFlash, dir / "flash.bin");
    chip.StartLoader();
    const std::string image = testsupport::RandomBytes(20000, 5);
    ASSERT_EQ(chip.Send(FlashRange(1, 0, 19999)), B({0x6B, 10}));
    ASSERT_EQ(chip.Send(WriteHeader(1024, image.substr(0, 4))), B({0x6B, 0x6B}));
    uint32_t offset = 4;
    for (int k = 0; k < 7; ++k, offset += 1024)
        ASSERT_EQ(chip.Send(Packet(image.substr(offset, 1024))), B({0xB9})) << "packet " << k;
    EXPECT_EQ(chip.Send(Packet(image.substr(offset, 1024))), B({0x05}));

    const std::string flash = testsupport::ReadFile(dir / "flash.bin");
    ASSERT_EQ(flash.size(), kFlash);
    EXPECT_EQ(flash.substr(0, 7172), image.substr(0, 7172));
    EXPECT_EQ(flash.find_first_not_of('\xFF', 7172), std::string::npos);
    EXPECT_EQ(chip.Send(B({0xE5})), B({0xA0}));  // the loader still listens for commands
}
