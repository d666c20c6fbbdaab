// The GPD transfer against a module played in the test: what goes out, in what order,
// and the message each ending shows.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "monitor/control/GpdTransfer.h"
#include "tests/support/TestSupport.h"

namespace {

// Answers each packet at once, as a module would, unless told otherwise.
class FakeModule {
public:
    int blockStatus = 1;
    int failAtBlock = -1;   // this block gets `blockStatus`; others status 1
    bool answerSwitch = true;
    int switchStatus = 3;
    int silentAtBlock = -2;  // this block (0xFFFF the end block) gets no answer
    int wrongBlockAt = -2;   // this block is answered with another number
    int damagedAtBlock = -2;  // this block's reply has a wrong checksum
    int cancelAtBlock = -2;   // the user cancels as this block goes out
    std::vector<CommandBytes> received;

    GpdLine Line() {
        return {[this](const CommandBytes& bytes) { Receive(bytes); }, &reply,
                [this](BinaryReply::Flag flag) { return reply.Arrived(flag); }, {}, [this] { return cancel; }};
    }
    BinaryReply reply;
    bool cancel = false;

private:
    void Receive(const CommandBytes& bytes) {
        received.push_back(bytes);
        if (bytes[0] == '$') {
            if (answerSwitch) Answer(1, 0x95, switchStatus, BinaryReply::kCommand95);
        } else if (bytes.size() > 7 && bytes[4] == 0x66 && bytes[5] == 0x02) {
            const int block = bytes[6] | bytes[7] << 8;
            if (block == cancelAtBlock) cancel = true;
            if (block == silentAtBlock) return;
            Answer(3, block == wrongBlockAt ? block + 1 : block, block == failAtBlock ? blockStatus : 1,
                   BinaryReply::kType3, block == damagedAtBlock);
        }
    }
    void Answer(int type, int value, int status, BinaryReply::Flag flag, bool damaged = false) {
        uint8_t r[BinaryReply::kSize] = {0xAA, 0xF0, 12, 0, uint8_t(type), 0, uint8_t(value), uint8_t(value >> 8),
                                         uint8_t(status)};
        for (int i = 2; i <= 8; ++i) r[9] ^= r[i];
        if (damaged) r[9] ^= 0x01;
        r[10] = '\r';
        r[11] = '\n';
        reply.Store(r, flag);
    }
};

GpdImage Image(std::size_t length) {
    GpdImage image;
    image.data.assign(length, 0x5A);
    image.length = static_cast<long long>(length);
    image.loaded = true;
    return image;
}

std::vector<int> BlocksSent(const FakeModule& module) {
    std::vector<int> blocks;
    for (const CommandBytes& p : module.received)
        if (p.size() > 7 && p[0] == 0xAA && p[4] == 0x66) blocks.push_back(p[6] | p[7] << 8);
    return blocks;
}

}  // namespace

TEST(GpdTransfer, BlocksFollowTheStrictlyGreaterRule) {
    for (const auto& [length, blocks] : std::vector<std::pair<std::size_t, std::vector<int>>>{
             {600, {0, 1, 0xFFFF}}, {512, {0, 1, 0xFFFF}}, {1, {0, 0xFFFF}}, {4000, {0, 1, 2, 3, 4, 5, 6, 7, 0xFFFF}}}) {
        FakeModule module;
        std::vector<std::pair<int, int>> progress;
        GpdLine line = module.Line();
        line.progress = [&](int k, int n) { progress.emplace_back(k, n); };
        const GpdOutcome out = SendGpd(Image(length), 115200, line);
        const int n = static_cast<int>(blocks.size()) - 1;
        EXPECT_TRUE(out.success) << length;
        EXPECT_EQ(out.message, "GPD file sent finish: " + std::to_string(n) + (n == 1 ? " block" : " blocks") +
                                   " and the end block accepted");
        // Each block is told before it goes, counted from 1, of all of them.
        ASSERT_EQ(progress.size(), static_cast<std::size_t>(n)) << length;
        for (int k = 1; k <= n; ++k) EXPECT_EQ(progress[k - 1], std::make_pair(k, n)) << length;
        EXPECT_EQ(BlocksSent(module), blocks) << length;
        // The switch sentence names the line's rate; the last packet takes the module back.
        EXPECT_EQ(std::string(module.received.front().begin(), module.received.front().end()),
                  "$PZRC149,1,115200*" + std::string(module.received.front().end() - 4, module.received.front().end() - 2) +
                      "\r\n");
        EXPECT_EQ(module.received.back(),
                  (CommandBytes{0xAA, 0xF0, 0x0E, 0x00, 0x95, 0x00, 0x00, 0x00, 0xC2, 0x01, 0x00, 0x58, '\r', '\n'}));
    }
    const CommandBytes block1 = GpdBlockPacket(Image(600), 1);
    ASSERT_EQ(block1.size(), 523u);
    EXPECT_EQ(block1[8 + 87], 0x5A);   // file bytes 512-599
    EXPECT_EQ(block1[8 + 88], 0xFF);   // then 0xFF to the end of the block
}

TEST(GpdTransfer, EveryEndingSaysWhyAndLeavesTheModuleInNmea) {
    FakeModule silent;
    silent.answerSwitch = false;
    EXPECT_EQ(SendGpd(Image(100), 9600, silent.Line()).message,
              "Switch to binary packets: no reply in 2 s (ACK timeout 1); module sent back to NMEA");
    EXPECT_EQ(silent.received.back(), NmeaModePacket(9600));

    FakeModule refusing;
    refusing.failAtBlock = 1;
    refusing.blockStatus = 0;
    const GpdOutcome out = SendGpd(Image(600), 9600, refusing.Line());
    EXPECT_EQ(out.message, "Block 2 of 2: refused, status 0 (ACK error 2, seq 2); module sent back to NMEA");
    EXPECT_EQ(out.step, GpdStep::Block);
    EXPECT_EQ(out.block, 2);
    EXPECT_EQ(refusing.received.back(), NmeaModePacket(9600));  // back to NMEA after the error too
}

TEST(GpdTransfer, EachFaultHasItsOwnMessage) {
    struct Case {
        const char* message;
        std::function<void(FakeModule&)> fault;
        bool backToNmea;
    };
    const Case cases[] = {
        {"Switch to binary packets: refused as invalid (ACK error Invalid)", [](FakeModule& m) { m.switchStatus = 0; }, false},
        {"Switch to binary packets: refused as unsupported (ACK error Unsupport)", [](FakeModule& m) { m.switchStatus = 1; },
         false},
        {"Switch to binary packets: the module failed to switch (ACK error Fail)", [](FakeModule& m) { m.switchStatus = 2; },
         false},
        {"Switch to binary packets: unknown status 7 (ACK error Unknow)", [](FakeModule& m) { m.switchStatus = 7; }, false},
        {"Block 2 of 2: no reply in 2 s (ACK timeout 2); module sent back to NMEA",
         [](FakeModule& m) { m.silentAtBlock = 1; }, true},
        {"End block: no reply in 2 s (ACK timeout 3); module sent back to NMEA",
         [](FakeModule& m) { m.silentAtBlock = 0xFFFF; }, true},
        {"Block 1 of 2: the reply answers block 1, type 3 (ACK error 1, seq 1); module sent back to NMEA",
         [](FakeModule& m) { m.wrongBlockAt = 0; }, true},
        {"Block 1 of 2: reply checksum wrong (ACK error -4, seq 1); module sent back to NMEA",
         [](FakeModule& m) { m.damagedAtBlock = 0; }, true},
        {"End block: refused, status 2 (ACK error 2, seq 65535); module sent back to NMEA",
         [](FakeModule& m) { m.failAtBlock = 0xFFFF, m.blockStatus = 2; }, true},
    };
    for (const Case& c : cases) {
        FakeModule module;
        c.fault(module);
        EXPECT_EQ(SendGpd(Image(600), 9600, module.Line()).message, c.message);
        EXPECT_EQ(module.received.back() == NmeaModePacket(9600), c.backToNmea) << c.message;
    }
}

TEST(GpdTransfer, CancelStopsAtTheNextPacketAndSendsTheModuleBackToNmea) {
    FakeModule module;
    module.cancelAtBlock = 1;
    const GpdOutcome out = SendGpd(Image(3000), 9600, module.Line());
    EXPECT_TRUE(out.cancelled);
    EXPECT_FALSE(out.success);
    EXPECT_EQ(out.message, "Block 3 of 6: cancelled; module sent back to NMEA");
    EXPECT_EQ(BlocksSent(module), (std::vector<int>{0, 1}));  // no end block
    EXPECT_EQ(module.received.back(), NmeaModePacket(9600));

    // A wait the cancel cuts short ends the same way, at once rather than after 2 s.
    FakeModule silent;
    silent.answerSwitch = false;
    GpdLine line = silent.Line();
    bool cancel = false;
    line.cancelled = [&] { return cancel; };
    line.ackWait = [&](BinaryReply::Flag flag) {
        cancel = true;
        return AckWait(silent.reply, flag, line.cancelled);
    };
    const GpdOutcome early = SendGpd(Image(10), 9600, line);
    EXPECT_EQ(early.message, "Switch to binary packets: cancelled; module sent back to NMEA");
    EXPECT_EQ(silent.received.back(), NmeaModePacket(9600));
}

TEST(GpdTransfer, OnlyRegularFilesOfOneToFourThousandBytesAreLoaded) {
    testsupport::ScratchDir dir;
    testsupport::WriteFile(dir / "big.gpd", std::string(4001, 'x'));
    GpdImage image = Image(10);
    EXPECT_EQ(LoadGpdImage(dir / "big.gpd", image), "GPD file length > 4000!");
    EXPECT_FALSE(image.loaded);
    EXPECT_EQ(LoadGpdImage(dir / "missing.gpd", image), "Could not open the GPD file!");
    testsupport::WriteFile(dir / "ok.dat", std::string(4000, 'y'));
    EXPECT_EQ(LoadGpdImage(dir / "ok.dat", image), "");
    EXPECT_TRUE(image.loaded);
    EXPECT_EQ(image.length, 4000);
    EXPECT_EQ(GpdBlockCount(image), 8);
    testsupport::WriteFile(dir / "one.dat", "z");
    EXPECT_EQ(LoadGpdImage(dir / "one.dat", image), "");
    EXPECT_EQ(image.data, std::vector<uint8_t>{'z'});

    // Each refusal forgets the file loaded before it.
    testsupport::WriteFile(dir / "empty.gpd", "");
    EXPECT_EQ(LoadGpdImage(dir / "empty.gpd", image), "GPD file is empty!");
    EXPECT_FALSE(image.loaded);
    EXPECT_EQ(LoadGpdImage(dir.Path(), image), "GPD file is not a regular file!");
#ifndef _WIN32
    // Devices read as empty or endless, and a FIFO without a writer would hold the open.
    for (const char* device : {"/dev/null", "/dev/zero"}) {
        LoadGpdImage(dir / "one.dat", image);
        EXPECT_EQ(LoadGpdImage(device, image), "GPD file is not a regular file!") << device;
        EXPECT_FALSE(image.loaded) << device;
    }
    const std::string fifo = dir / "pipe.gpd";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(LoadGpdImage(fifo, image), "GPD file is not a regular file!");
#endif
}
