// Golden bytes of the boot ROM and loader protocols, over a scripted line.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <clocale>
#include <filesystem>

#include "flash/core/BootRom.h"
#include "flash/core/Loader.h"
#include "flash/core/Procedure.h"
#include "flash/core/RunRecord.h"
#include "tests/support/ScriptedLine.h"
#include "tests/support/TestSupport.h"

using testsupport::Bytes;
using testsupport::NoWait;
using testsupport::ScriptedLine;

namespace {

// A boot ROM in its command phase: echoes everything, and answers the checksum command
// (after its 8 parameter bytes) with `checksum`.
void EchoingBootRom(ScriptedLine& line, uint16_t checksum) {
    line.responder = [checksum, afterChecksumCommand = -1](ScriptedLine& l, const std::string& bytes) mutable {
        l.input += bytes;
        for (const char c : bytes) {
            if (afterChecksumCommand >= 0 && ++afterChecksumCommand == 8) {
                l.input += Bytes({checksum >> 8, checksum & 0xFF});
                afterChecksumCommand = -1;
            }
            if (static_cast<uint8_t>(c) == 0xA4 && afterChecksumCommand < 0 && bytes.size() == 1)
                afterChecksumCommand = 0;
        }
    };
}

FlashImage ImageOf(const std::string& bytes, uint32_t start = 0) {
    FlashImage image;
    image.path = "image.bin";
    std::shared_ptr<uint8_t[]> data(new uint8_t[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), data.get());
    image.data = std::move(data);
    image.size = static_cast<uint32_t>(bytes.size());
    image.startAddress = start;
    image.endAddress = start + image.size - 1;
    return image;
}

}  // namespace

TEST(BootRomWriteBlock, OddLengthSwapsPairsAndPadsTheLastHalfword) {
    ScriptedLine line;
    EchoingBootRom(line, 0x2211 ^ 0x4433 ^ 0x0055);
    FlashPort port(&line, NoWait);
    Rom_ZR7316A rom(1000, 10);
    const uint8_t data[] = {0x11, 0x22, 0x33, 0x44, 0x55};
    ASSERT_EQ(rom.WriteBlock(port, 0xC00, data, 5, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(line.written, Bytes({0xA1, 0, 0, 0x0C, 0, 0, 0, 0, 3,        // write 3 halfwords at 0xC00
                                   0x22, 0x11, 0x44, 0x33, 0x00, 0x55,      // high byte first
                                   0xA4, 0, 0, 0x0C, 0, 0, 0, 0, 3}));      // checksum of the same range
}

TEST(BootRomWriteBlock, BulkChunksOnlyWhileMoreThan256BytesRemain) {
    for (const uint32_t length : {256u, 257u, 258u, 8728u}) {
        std::string data;
        uint16_t sum = 0;
        for (uint32_t i = 0; i < length; ++i) data += static_cast<char>(i * 7 + 3);
        for (uint32_t i = 0; i < length; i += 2)
            sum ^= static_cast<uint16_t>((i + 1 < length ? static_cast<uint8_t>(data[i + 1]) << 8 : 0) |
                                         static_cast<uint8_t>(data[i]));
        ScriptedLine line;
        EchoingBootRom(line, sum);
        FlashPort port(&line, NoWait);
        Rom_ZR7316A rom(1000, 10);
        std::vector<std::pair<uint32_t, uint32_t>> progress;
        auto record = [](uint8_t p, uint32_t done, uint32_t, void* ctx) {
            static_cast<std::vector<std::pair<uint32_t, uint32_t>>*>(ctx)->push_back({p, done});
        };
        ASSERT_EQ(rom.WriteBlock(port, 0xC00, reinterpret_cast<const uint8_t*>(data.data()), length, nullptr, nullptr,
                                 record, &progress), 0) << length;
        const auto bulk = std::count(line.writeSizes.begin(), line.writeSizes.end(), 256u);
        const auto singles = std::count(line.writeSizes.begin(), line.writeSizes.end(), 2u);
        const uint32_t expectBulk = length == 8728 ? 34 : length >= 257 ? 1 : 0;
        EXPECT_EQ(bulk, expectBulk) << length;
        EXPECT_EQ(singles, static_cast<long>((length - expectBulk * 256 + 1) / 2)) << length;
        EXPECT_EQ(line.written.substr(9, 2), data.substr(1, 1) + data.substr(0, 1));  // the first pair swapped
        ASSERT_FALSE(progress.empty());
        EXPECT_EQ(progress.back().first, 100u);
        EXPECT_LE(progress.size(), 30u);
    }
}

TEST(BootRomWriteBlock, ChangedEchoAndWrongChecksumFail) {
    const std::string data(600, '\x5A');
    ScriptedLine line;
    line.responder = [](ScriptedLine& l, const std::string& bytes) {
        std::string echo = bytes;
        if (bytes.size() == 256) echo[17] ^= 1;
        l.input += echo;
    };
    FlashPort port(&line, NoWait);
    Rom_ZR7316A rom(1000, 10);
    EXPECT_EQ(rom.WriteBlock(port, 0xC00, reinterpret_cast<const uint8_t*>(data.data()), 600, nullptr, nullptr,
                             nullptr, nullptr), 8);
    ScriptedLine wrongSum;
    EchoingBootRom(wrongSum, 0x1234);
    FlashPort port2(&wrongSum, NoWait);
    EXPECT_EQ(rom.WriteBlock(port2, 0xC00, reinterpret_cast<const uint8_t*>(data.data()), 600, nullptr, nullptr,
                             nullptr, nullptr), 10);
    EXPECT_EQ(rom.WriteBlock(port2, 0xC00, nullptr, 600, nullptr, nullptr, nullptr, nullptr), 1);
}

struct SyncCase {
    int state;
    uint8_t received;
    int nextState;
    uint32_t nextCounter;  // from a counter of 5
    bool resend;
};

class SyncTable : public ::testing::TestWithParam<SyncCase> {};

TEST_P(SyncTable, OneStep) {
    Rom_ZR7316A::SyncState s{GetParam().state, 5, false};
    Rom_ZR7316A::SyncStep(s, GetParam().received);
    EXPECT_EQ(s.state, GetParam().nextState);
    EXPECT_EQ(s.counter, GetParam().nextCounter);
    EXPECT_EQ(s.resend, GetParam().resend);
}

INSTANTIATE_TEST_SUITE_P(
    EveryCell, SyncTable,
    ::testing::Values(SyncCase{0, 0x6F, 1, 0, true}, SyncCase{0, 0x00, 0, 6, true}, SyncCase{0, 0x42, 0, 6, true},
                      SyncCase{1, 0xF6, 2, 0, true}, SyncCase{1, 0x00, 1, 6, false}, SyncCase{1, 0x6F, 1, 5, false},
                      SyncCase{1, 0x42, 0, 6, true}, SyncCase{2, 0x9F, 3, 0, true}, SyncCase{2, 0x00, 2, 6, false},
                      SyncCase{2, 0x6F, 0, 6, true}, SyncCase{2, 0x42, 0, 6, true}, SyncCase{3, 0xF9, 4, 0, true},
                      SyncCase{3, 0x00, 3, 6, false}, SyncCase{3, 0x6F, 0, 6, true}, SyncCase{3, 0x42, 0, 6, true}));

TEST(BootRomConnect, SilenceTriesBothRatesInEveryPassWithTheBootEntryFirst) {
    ScriptedLine line;
    FlashPort port(&line, NoWait);
    Rom_ZR7316A rom(3, 2);
    EXPECT_EQ(rom.Connect(port), 0xB000Au);
    const std::string perRate = std::string("$PZRC75*1D\r\n") + Bytes({0x90, 0x90, 0x90});
    EXPECT_EQ(line.written, perRate + perRate + perRate + perRate);
    EXPECT_EQ(line.baudChanges, (std::vector<uint32_t>{115200, 9600, 115200, 9600}));
    ASSERT_EQ(line.timeouts.size(), 2u);
    EXPECT_EQ(line.timeouts[0].readTotalConstantMs, 1u);
    EXPECT_EQ(line.timeouts[1].readTotalConstantMs, 1000u);
    EXPECT_EQ(line.timeouts[1].writeTotalConstantMs, 700u);
    EXPECT_EQ(Rom_ZR7316A(3, 0).Connect(port), 0xB000Au);  // no passes: not synchronised
}

TEST(BootRomConnect, LateRepeatOfTheFirstAnswerNeitherRestartsNorResends) {
    ScriptedLine line;
    line.responder = [](ScriptedLine& l, const std::string& bytes) {
        const auto b = static_cast<uint8_t>(bytes.back());
        if (bytes.size() != 1) return;
        if (b == 0x90) l.input += Bytes({0x6F, 0x6F, 0x6F});  // answered three times over
        else l.input += static_cast<char>(~b);
    };
    FlashPort port(&line, NoWait);
    Rom_ZR7316A rom(1000, 1);
    EXPECT_EQ(rom.Connect(port), 0u);
    EXPECT_EQ(line.written, std::string("$PZRC75*1D\r\n") + Bytes({0x90, 0x09, 0x60, 0x06}));
}

TEST(FlashPortReadExact, EmptyReadsAreCountedAndResetByProgress) {
    uint32_t waited = 0;
    static uint32_t* counter = nullptr;
    counter = &waited;
    const WaitFn countWaits = [](uint32_t ms) { *counter += ms; };
    ScriptedLine line;
    FlashPort port(&line, countWaits);
    uint8_t b[3];
    line.readScript = {""};
    EXPECT_EQ(port.ReadExact(b, 1, 0, 100), 99);  // no empty read tolerated
    line.readScript = {"", "", "x"};
    EXPECT_EQ(port.ReadExact(b, 1, 2, 100), 0);
    EXPECT_EQ(waited, 200u);
    line.readScript = {"", "", "", "x"};
    EXPECT_EQ(port.ReadExact(b, 1, 2, 100), 99);
    line.readScript = {"", "a", "", "b", "", "c"};  // each byte resets the count
    EXPECT_EQ(port.ReadExact(b, 3, 1, 0), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 3), "abc");
    EXPECT_EQ(port.ReadExact(nullptr, 3, 1, 0), 2);
    FlashPort none(nullptr);
    EXPECT_EQ(none.ReadExact(b, 1, 0, 0), 1);
}

TEST(LoaderProtocol, FlashRangeIsMaskedTo27BitsAndKeepsTheWaitFactor) {
    ScriptedLine line;
    line.input = Bytes({0x6B, 0x2A});
    FlashPort port(&line, NoWait);
    FlashImage image = ImageOf(std::string(16, 'x'));
    image.startAddress = 0xF8000010;
    image.endAddress = 0x12345678;
    ASSERT_EQ(SetFlashRange(port, image), 0);
    EXPECT_EQ(line.written, Bytes({0xE2, 0x01, 0x00, 0x00, 0x00, 0x10, 0x02, 0x34, 0x56, 0x78}));
    EXPECT_EQ(image.waitFactor, 0x2A);
    line.input = Bytes({0x1C});
    EXPECT_EQ(SetFlashRange(port, image), 6);
}

TEST(LoaderProtocol, ReadySequenceCodes) {
    ScriptedLine line;
    FlashPort port(&line, NoWait);
    LoaderInfo info;
    line.input = Bytes({0xB0, 0x01, 0x00});
    EXPECT_EQ(WaitLoaderReady(port, info), 0);
    EXPECT_EQ(info.bytes[0], 1);
    EXPECT_EQ(info.bytes[2], 1);
    line.input = Bytes({0x1C});
    EXPECT_EQ(WaitLoaderReady(port, info), 16);
    line.input = Bytes({0xB1});
    EXPECT_EQ(WaitLoaderReady(port, info), 9);
    line.input = Bytes({0xB0, 0x02, 0x00});
    EXPECT_EQ(WaitLoaderReady(port, info), 10);
    line.input.clear();
    EXPECT_EQ(WaitLoaderReady(port, info), 8);
}

TEST(LoaderProtocol, BaudSwitchChecksTheLineUpToTenTimes) {
    for (const int badChecks : {0, 3, 9, 10}) {
        ScriptedLine line;
        int checks = 0;
        line.responder = [&](ScriptedLine& l, const std::string& bytes) {
            const auto b = static_cast<uint8_t>(bytes[0]);
            if (b == 0xE1) l.input += Bytes({0x6B});
            else if (b == 0xB0) l.input += Bytes({checks++ < badChecks ? 0x00 : 0xB0});
            else if (b == 0x6B) l.input += Bytes({0x6B});
        };
        FlashPort port(&line, NoWait);
        const int result = SwitchBaud(port, 1, 0);
        EXPECT_EQ(result, badChecks < 10 ? 0 : 7) << badChecks;
        EXPECT_EQ(line.baudChanges, std::vector<uint32_t>{921600});
        const std::string expected = Bytes({0xE1, 0x01, 0x00}) + std::string(std::min(badChecks + 1, 10), '\xB0') +
                                     (badChecks < 10 ? Bytes({0x6B}) : "");
        EXPECT_EQ(line.written, expected) << badChecks;
    }
    ScriptedLine refused;
    refused.input = Bytes({0x00});
    FlashPort port(&refused, NoWait);
    EXPECT_EQ(SwitchBaud(port, 1, 0), 4);
    EXPECT_EQ(SwitchBaud(port, 15, 0), 1);
}

TEST(LoaderProtocol, PacketsCarryByteSumsAndRetriesFollowTheDance) {
    std::string data = "HEAD";
    for (int i = 0; i < 1030; ++i) data += static_cast<char>(0xF0 + i % 16);
    FlashImage image = ImageOf(data);
    ScriptedLine line;
    int packetReplies = 0;
    line.responder = [&](ScriptedLine& l, const std::string& bytes) {
        if (bytes.size() == 9) return l.input += Bytes({0x6B, 0x6B}), void();
        if (bytes.size() != 2 || static_cast<uint8_t>(bytes[0]) == 0xB6) {
            if (bytes.size() == 1 && static_cast<uint8_t>(bytes[0]) == 0xB6) l.input += Bytes({0x6B});
            return;
        }
        // A checksum: the first packet is answered with garbage five times.
        if (packetReplies++ < 5) {
            l.input += Bytes({0x00});
            if (packetReplies <= 3) l.input += Bytes({0x6B});
        } else {
            l.input += Bytes({0xB9});
        }
        if (packetReplies == 7) l.input += Bytes({0x6B, 0x6B});  // both packets in: closing bytes
    };
    FlashPort port(&line, NoWait);
    std::vector<uint32_t> percents;
    auto record = [](uint8_t p, uint32_t, uint32_t, void* ctx) { static_cast<std::vector<uint32_t>*>(ctx)->push_back(p); };
    ASSERT_EQ(WriteFlash(port, &image, 0, nullptr, nullptr, record, &percents), 0);
    uint16_t sum0 = 0, sum1 = 0;
    for (int i = 4; i < 1028; ++i) sum0 = static_cast<uint16_t>(sum0 + static_cast<uint8_t>(data[i]));
    for (int i = 1028; i < 1034; ++i) sum1 = static_cast<uint16_t>(sum1 + static_cast<uint8_t>(data[i]));
    const std::string p0 = data.substr(4, 1024) + Bytes({sum0 >> 8, sum0 & 0xFF});
    const std::string p1 = data.substr(1028) + Bytes({sum1 >> 8, sum1 & 0xFF});
    const std::string b9 = Bytes({0xB9}), b6 = Bytes({0xB6});
    EXPECT_EQ(line.written, Bytes({0xE3, 0, 0, 4, 0}) + "HEAD" + p0 + b9 + p0 + b9 + p0 + b9 + p0 + b6 + b9 + p0 + b6 +
                                b9 + p0 + p1);
    EXPECT_EQ(percents, (std::vector<uint32_t>{100}));  // under 3840 bytes: one step
}

// A module that answers every packet with garbage cannot keep the host sending for ever.
TEST(LoaderProtocol, APacketIsRepeatedAtMostTenAnnouncedTimes) {
    FlashImage image = ImageOf("HEAD" + std::string(2000, 'x'));
    ScriptedLine line;
    int packets = 0;
    line.responder = [&](ScriptedLine& l, const std::string& bytes) {
        if (bytes.size() == 9) return l.input += Bytes({0x6B, 0x6B}), void();
        if (bytes.size() == 1 && static_cast<uint8_t>(bytes[0]) == 0xB6) return l.input += Bytes({0x6B}), void();
        // Garbage for every packet: the first three repeats are free, later ones announced.
        if (bytes.size() == 2) l.input += ++packets <= 3 ? Bytes({0x00, 0x6B}) : Bytes({0x00});
    };
    FlashPort port(&line, NoWait);
    EXPECT_NE(WriteFlash(port, &image, 0, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(packets, 1 + 3 + 10);  // the packet, three free repeats and ten announced ones
}

TEST(LoaderProtocol, FourByteImageSendsOnlyTheHeaderAndStreamEndsDecideTheResult) {
    FlashImage image = ImageOf("ABCD");
    for (const auto& [closing, expected] : std::vector<std::pair<std::string, int>>{
             {Bytes({0x6B, 0x6B, 0x6B, 0x6B}), 0}, {Bytes({0x6B, 0x6B, 0x6B, 0xB6}), 19},
             {Bytes({0x6B, 0x6B, 0x00}), 17}, {Bytes({0x6B}), 6}}) {
        ScriptedLine line;
        line.input = closing;
        FlashPort port(&line, NoWait);
        EXPECT_EQ(WriteFlash(port, &image, 0, nullptr, nullptr, nullptr, nullptr), expected);
        EXPECT_EQ(line.written, Bytes({0xE3, 0, 0, 4, 0}) + "ABCD");
    }
}

// The loader's closing command is the last byte of a run: the baud rate goes back only
// after the loader's closing acknowledge was read, in both builds, and nothing written
// is purged.
TEST(BurnProcedure, TheRateGoesBackOnlyAfterTheLoaderClosed) {
    struct Line : ScriptedLine {
        std::vector<std::string> unreadAtRateChange;
        bool SetBaudRate(uint32_t b) override {
            unreadAtRateChange.push_back(input);
            return ScriptedLine::SetBaudRate(b);
        }
    };
    for (const bool fourPort : {false, true}) {
        BurnJob job;
        job.image = ImageOf("HEAD" + std::string(1500, 'p'));
        job.wait = NoWait;
        job.fourPort = fourPort;
        Line line;
        line.input = Bytes({0xB0, 0x01, 0x00});  // the loader is ready
        int addresses = 0, sums = 0;
        line.responder = [&](ScriptedLine& l, const std::string& bytes) {
            const auto first = static_cast<uint8_t>(bytes[0]);
            if (bytes.size() == 3 && first == 0xE1) l.input += Bytes({0x6B});                  // baud switch
            else if (bytes.size() == 1 && (first == 0xB0 || first == 0x6B)) l.input += bytes;  // line checks
            else if (bytes.size() == 4 && ++addresses == 2) l.input += Bytes({0x6B, 0x00});   // flash range
            else if (bytes.size() == 9 && first == 0xE3) l.input += Bytes({0x6B, 0x6B});      // write header
            else if (bytes.size() == 2 && addresses == 2 && ++sums <= 2) l.input += Bytes({0xB9});
            else if (bytes.size() == 1 && first == 0xE5) l.input += Bytes({0xA0}) + "$GPGGA";  // the firmware again
            if (sums == 2) l.input += Bytes({0x6B, 0x6B}), sums = 3;                            // all written
        };
        job.line = &line;
        ASSERT_EQ(BurnImage(job), burn::kSuccess) << line.written.size();
        ASSERT_EQ(static_cast<uint8_t>(line.written.back()), 0xE5);
        for (std::size_t at : line.purgedAfter) EXPECT_LT(at, line.written.size());
        EXPECT_EQ(line.baudChanges.back(), 115200u);
        EXPECT_EQ(line.unreadAtRateChange.back(), "$GPGGA") << fourPort;
        EXPECT_EQ(line.input, "");
    }
}

TEST(BurnProcedure, LoaderStageCodesOnAScriptedLine) {
    const std::string data = std::string(100, 'd');
    BurnJob job;
    job.image = ImageOf(data);
    job.wait = NoWait;
    ScriptedLine noTimeouts;
    noTimeouts.failSetTimeouts = true;
    job.line = &noTimeouts;
    EXPECT_EQ(BurnImage(job), burn::kTimeoutsNotSet);
    ScriptedLine noBaud;
    noBaud.input = Bytes({0xB0, 0x01, 0x00});
    noBaud.failGetBaud = true;
    job.line = &noBaud;
    EXPECT_EQ(BurnImage(job), burn::kBaudUnreadable);
    ScriptedLine stuck;
    stuck.input = Bytes({0xB0, 0x01, 0x00, 0x1C});  // refuses the switch, and the rate cannot go back
    stuck.failSetBaud = true;
    job.line = &stuck;
    EXPECT_EQ(BurnImage(job), burn::kBaudNotRestored);
    job.line = nullptr;
    EXPECT_EQ(BurnImage(job), burn::kNoPort);
    job.line = &stuck;
    job.image = ImageOf("X");
    EXPECT_EQ(BurnImage(job), burn::kImageInvalid);
    job.image = ImageOf("XYZ");
    EXPECT_EQ(BurnImage(job), burn::kImageInvalid);  // shorter than the header's 4 bytes
    LoaderRecord empty;
    job.image = ImageOf(data);
    job.loader = &empty;
    EXPECT_EQ(BurnImage(job), burn::kLoaderInvalid);
}

TEST(BurnTexts, ThroughputUsedTimeAndResult) {
    EXPECT_EQ(ThroughputText(5000, 0), "0 Bps");
    EXPECT_EQ(ThroughputText(1024, 1), "1024 Bps");
    EXPECT_EQ(ThroughputText(1025, 1), "1.00 KBps");
    EXPECT_EQ(ThroughputText(92160, 1), "90.00 KBps");
    EXPECT_EQ(UsedTimeText(75), "01:15 sec");
    EXPECT_EQ(ResultText(0), "Burn Flash Img Success !");
    EXPECT_EQ(ResultText(0xB0006), "Burn Flash Img Fail ! Error=b0006");
    EXPECT_EQ(ResultText(14), "Burn Flash Img Fail ! Error=e");
    EXPECT_EQ(ResultText(burn::kStopped), "Stopped");
    // A stopped module is left in its loader, where no handshake finds it.
    EXPECT_EQ(ResultMeaning(burn::kStopped), "stopped by the user: power-cycle the module before the next burn");
    EXPECT_EQ(ResultLine(14, "the module did not answer packet 7"),
              "Burn Flash Img Fail ! Error=e (the module did not answer packet 7)");
    EXPECT_EQ(ResultLine(14, ""), "Burn Flash Img Fail ! Error=e (writing the flash failed)");
    EXPECT_EQ(ResultLine(0xB0006),
              "Burn Flash Img Fail ! Error=b0006 (no answer to the boot ROM handshake: is the module powered and wired?)");
    // Every code a run can end with says what it means.
    for (uint32_t code : {2u, 3u, 7u, 8u, 9u, 10u, 11u, 12u, 13u, 14u, 16u, 0x504u, 0x505u, 0x20006u, 0xA0006u,
                          0xB0006u, 0xC0006u, burn::kStopped})
        EXPECT_NE(ResultMeaning(code), "an unknown failure") << std::hex << code;
    // The speed is written with a point whatever the locale (the GUI takes the user's).
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "C.UTF-8")) {
        EXPECT_EQ(ThroughputText(1025, 1), "1.00 KBps");
        std::setlocale(LC_NUMERIC, "C");
    }
}

TEST(BurnTexts, RecordsAreCsvWithQuotedFieldsAndAKnownDigest) {
    EXPECT_EQ(Sha256Hex(reinterpret_cast<const uint8_t*>("abc"), 3),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex(nullptr, 0), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    RunRecord r;
    r.when = 1765170000;
    r.program = "burnkit-cli";
    r.slot = 2;
    r.port = "/dev/ttyUSB1";
    r.imagePath = "/images/a,b \"v2\".bin";
    r.imageSize = 4096;
    r.imageSha256 = "ab";
    r.code = 0xB0006;
    r.seconds = 12.25;
    r.imageFullPath = "/images/a,b \"v2\".bin";
    r.rateUsed = 115200;
    r.packetRepeats = 3;
    r.failure = "no answer";
    r.version = "1.2.0";
    r.station = "line-4";
    r.operatorName = "Ana";
    r.lot = "L 17";
    r.logPath = "/r/runs.csv.runs/x.log";
    // The first eleven columns as older readers know them, the later ones after them.
    EXPECT_EQ(RunRecordCsv(r), "2025-12-08T05:00:00Z,burnkit-cli,2,/dev/ttyUSB1,\"/images/a,b \"\"v2\"\".bin\",4096,ab,b0006,"
                               "no answer to the boot ROM handshake: is the module powered and wired?,12.2,0,"
                               "\"/images/a,b \"\"v2\"\".bin\",115200,3,no answer,,1.2.0,line-4,Ana,L 17,"
                               "/r/runs.csv.runs/x.log\r\n");
    EXPECT_EQ(RunRecordHeader(), "time,program,slot,port,image,size,sha256,result,meaning,seconds,bytes_per_second,"
                                 "image_full_path,rate,packet_repeats,failure,port_error,version,station,operator,lot,"
                                 "log\r\n");
    EXPECT_NE(RunRecordJson(r).find("\"image\":\"/images/a,b \\\"v2\\\".bin\""), std::string::npos) << RunRecordJson(r);
    EXPECT_NE(RunRecordJson(r).find(",\"rate\":115200,\"packet_repeats\":3,\"failure\":\"no answer\",\"port_error\":\"\","
                                    "\"version\":\"1.2.0\",\"station\":\"line-4\",\"operator\":\"Ana\",\"lot\":\"L 17\","
                                    "\"log\":\"/r/runs.csv.runs/x.log\"}"),
              std::string::npos)
        << RunRecordJson(r);
}

// A full disk that took part of a line leaves it cut: the next record ends it first and
// stays a row of its own. A disk that takes nothing makes the append fail with why.
TEST(BurnTexts, RecordsSurviveACutLineAndReportAFullDisk) {
    testsupport::ScratchDir dir;
    RunRecord r;
    r.program = "burnkit-cli";
    r.port = "/dev/ttyUSB0";
    const std::string path = dir / "runs.csv";
    const std::string cut = RunRecordCsv(r).substr(0, 30);
    testsupport::WriteFile(path, RunRecordHeader() + cut);
    std::string error, notice;
    ASSERT_TRUE(AppendRunRecord(path, r, error, notice)) << error;
    EXPECT_EQ(notice, "");
    EXPECT_EQ(testsupport::ReadFile(path), RunRecordHeader() + cut + "\r\n" + RunRecordCsv(r));
    ASSERT_TRUE(AppendRunRecord(path, r, error)) << error;
    EXPECT_EQ(testsupport::ReadFile(path), RunRecordHeader() + cut + "\r\n" + RunRecordCsv(r) + RunRecordCsv(r));

    // Cut inside a quoted field, between CR and LF, and in a new file's header: the field
    // is closed, the line ended once, the header completed; every record reads whole.
    r.failure = "the module's loader aborted the stream (cause 0x05), at packet 3";
    const std::string quoted = RunRecordCsv(r);
    const std::string inQuotes = quoted.substr(0, quoted.find('"') + 10);
    testsupport::WriteFile(path, RunRecordHeader() + inQuotes);
    ASSERT_TRUE(AppendRunRecord(path, r, error)) << error;
    EXPECT_EQ(testsupport::ReadFile(path), RunRecordHeader() + inQuotes + "\"\r\n" + quoted);
    testsupport::WriteFile(path, RunRecordHeader() + quoted.substr(0, quoted.size() - 1));
    ASSERT_TRUE(AppendRunRecord(path, r, error)) << error;
    EXPECT_EQ(testsupport::ReadFile(path), RunRecordHeader() + quoted + quoted);
    testsupport::WriteFile(path, RunRecordHeader().substr(0, 20));
    ASSERT_TRUE(AppendRunRecord(path, r, error, notice)) << error;
    EXPECT_EQ(notice, "");
    EXPECT_EQ(testsupport::ReadFile(path), RunRecordHeader() + quoted);

    EXPECT_FALSE(AppendRunRecord("/dev/full", r, error));
    EXPECT_EQ(error, "No space left on device");
}

// Rows of two shapes never share a header: the old file is set aside whole.
TEST(BurnTexts, RecordsOfAnOlderVersionAreSetAsideBeforeTheFirstNewRow) {
    testsupport::ScratchDir dir;
    const std::string path = dir / "runs.csv";
    const std::string old = "time,program,slot,port,image,size,sha256,result,meaning,seconds,bytes_per_second\r\n"
                            "2025-12-08T05:00:00Z,Burnkit,1,/dev/ttyUSB0,a.bin,4,ab,0,success,1.0,4\r\n";
    testsupport::WriteFile(path, old);
    testsupport::WriteFile(path + ".old", "taken");
    RunRecord r;
    std::string error, notice;
    ASSERT_TRUE(AppendRunRecord(path, r, error, notice)) << error;
    EXPECT_EQ(testsupport::ReadFile(path + ".old"), "taken");
    EXPECT_EQ(testsupport::ReadFile(path + ".old.2"), old);
    EXPECT_EQ(testsupport::ReadFile(path), RunRecordHeader() + RunRecordCsv(r));
    EXPECT_EQ(notice, path + " had the header of an older version: its records were moved to " + path +
                          ".old.2 and " + path + " starts anew");
}

// Bytes acknowledged against the steady clock: never more than the line carried, never
// nothing while bytes move, falling to nothing once they stop.
TEST(BurnTexts, SpeedFollowsAcknowledgedBytesOverAWindow) {
    ThroughputMeter meter;
    const int64_t start = 10000;
    meter.Note(1, start, 0, start + 100);
    EXPECT_EQ(meter.Text(start + 100), "0 Bps");
    meter.Note(1, start, 9216, start + 150);  // 9 KiB in 150 ms at most (acknowledged at 100)
    EXPECT_EQ(meter.BytesPerSecond(start + 150), 9216u * 1000 / 150);
    for (int t = 1; t <= 10; ++t) meter.Note(1, start, 92160u * t, start + 1000 * t);  // 90 KiB/s
    EXPECT_EQ(meter.Text(start + 10000), "90.00 KBps");
    EXPECT_LT(meter.BytesPerSecond(start + 11500), 92160u);  // quiet: it falls
    meter.Note(1, start, 92160u * 10, start + 14000);
    EXPECT_EQ(meter.Text(start + 14000), "0 Bps");
    meter.Note(2, start + 14000, 0, start + 14000);  // the next stage starts from nothing
    meter.Note(2, start + 14000, 1000, start + 15000);
    EXPECT_EQ(meter.Text(start + 15000), "1000 Bps");
}

TEST(BurnImages, OnlyRegularFilesThatTheFlashRangeHolds) {
    testsupport::ScratchDir dir;
    std::shared_ptr<const uint8_t[]> data;
    uint32_t size = 0;
    std::time_t time = 0;
#ifndef _WIN32
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(LoadImageFile(fifo, data, size, time), image::kNotRegular);  // and no hang
#endif
    EXPECT_EQ(LoadImageFile(dir.Path(), data, size, time), image::kNotRegular);
    EXPECT_EQ(ImageLoadText(image::kNotRegular), "not a regular file");
    const std::string big = dir / "big.bin";
    testsupport::WriteFile(big, "");
    std::filesystem::resize_file(big, (128 << 20) + 1);  // sparse on Linux: nothing is written
    EXPECT_EQ(LoadImageFile(big, data, size, time), image::kTooLarge);
    EXPECT_EQ(CheckImageFile(big), image::kTooLarge);
    testsupport::WriteFile(dir / "short.bin", "abc");
    EXPECT_EQ(CheckImageFile(dir / "short.bin"), image::kTooShort);
    testsupport::WriteFile(dir / "ok.bin", "abcd");
    EXPECT_EQ(CheckImageFile(dir / "ok.bin"), image::kLoaded);
    // An image record whose end the 27-bit range cannot address is refused before a byte goes out.
    FlashImage image = ImageOf("HEAD");
    image.endAddress = 1u << 27;
    EXPECT_FALSE(image.IsValid());
}
