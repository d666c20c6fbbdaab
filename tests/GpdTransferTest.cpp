// The GPD transfer against a module played in the test: what goes out, in what order,
// and the message each ending shows.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "GpdTransfer.h"
#include "TestSupport.h"

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
    std::vector<CommandBytes> received;

    GpdLine Line() {
        return {[this](const CommandBytes& bytes) { Receive(bytes); }, &reply,
                [this](BinaryReply::Flag flag) { return reply.Arrived(flag); }};
    }
    BinaryReply reply;

private:
    void Receive(const CommandBytes& bytes) {
        received.push_back(bytes);
        if (bytes[0] == '$') {
            if (answerSwitch) Answer(1, 0x95, switchStatus, BinaryReply::kCommand95);
        } else if (bytes.size() > 7 && bytes[4] == 0x66 && bytes[5] == 0x02) {
            const int block = bytes[6] | bytes[7] << 8;
            if (block == silentAtBlock) return;
            Answer(3, block == wrongBlockAt ? block + 1 : block, block == failAtBlock ? blockStatus : 1,
                   BinaryReply::kType3);
        }
    }
    void Answer(int type, int value, int status, BinaryReply::Flag flag) {
        uint8_t r[BinaryReply::kSize] = {0xAA, 0xF0, 12, 0, uint8_t(type), 0, uint8_t(value), uint8_t(value >> 8),
                                         uint8_t(status)};
        for (int i = 2; i <= 8; ++i) r[9] ^= r[i];
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
             {600, {0, 1, 0xFFFF}}, {512, {0, 1, 0xFFFF}}, {0, {0, 0xFFFF}}, {4000, {0, 1, 2, 3, 4, 5, 6, 7, 0xFFFF}}}) {
        FakeModule module;
        const GpdOutcome out = SendGpd(Image(length), 115200, module.Line());
        EXPECT_EQ(out.message, "GPD file sent finish") << length;
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
    EXPECT_EQ(SendGpd(Image(100), 9600, silent.Line()).message, "ACK timeout 1");
    EXPECT_EQ(silent.received.back(), NmeaModePacket(9600));

    FakeModule refusing;
    refusing.failAtBlock = 1;
    refusing.blockStatus = 0;
    EXPECT_EQ(SendGpd(Image(600), 9600, refusing.Line()).message, "ACK error 2, seq 2");
    EXPECT_EQ(refusing.received.back(), NmeaModePacket(9600));  // back to NMEA after the error too
}

TEST(GpdTransfer, EachFaultHasItsOwnMessage) {
    struct Case {
        const char* message;
        std::function<void(FakeModule&)> fault;
        bool backToNmea;
    };
    const Case cases[] = {
        {"ACK error Invalid", [](FakeModule& m) { m.switchStatus = 0; }, false},
        {"ACK error Unsupport", [](FakeModule& m) { m.switchStatus = 1; }, false},
        {"ACK error Fail", [](FakeModule& m) { m.switchStatus = 2; }, false},
        {"ACK error Unknow", [](FakeModule& m) { m.switchStatus = 7; }, false},
        {"ACK timeout 2", [](FakeModule& m) { m.silentAtBlock = 1; }, true},
        {"ACK timeout 3", [](FakeModule& m) { m.silentAtBlock = 0xFFFF; }, true},
        {"ACK error 1, seq 1", [](FakeModule& m) { m.wrongBlockAt = 0; }, true},
        {"ACK error 2, seq 65535", [](FakeModule& m) { m.failAtBlock = 0xFFFF, m.blockStatus = 2; }, true},
    };
    for (const Case& c : cases) {
        FakeModule module;
        c.fault(module);
        EXPECT_EQ(SendGpd(Image(600), 9600, module.Line()).message, c.message);
        EXPECT_EQ(module.received.back() == NmeaModePacket(9600), c.backToNmea) << c.message;
    }
}

TEST(GpdTransfer, FilesOverFourThousandBytesAreRefused) {
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
}
