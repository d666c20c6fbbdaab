#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "monitor/link/Framing.h"
#include "monitor/link/RxStream.h"

namespace {

void Feed(RxStream& s, const std::string& bytes) {
    for (const char c : bytes) s.FeedRxByte(static_cast<uint8_t>(c));
}

struct Popped {
    SentenceDescriptor d{};
    std::string text;
};

bool Pop(RxStream& s, Popped& p) {
    uint8_t buf[kMaxSentenceLength + 1];
    if (!s.PopSentence(p.d, buf)) return false;
    p.text.assign(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(p.d.length));
    return true;
}

const std::string kGga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";

}  // namespace

TEST(RxStream, OneSentenceIsOneDescriptorFromDollarThroughCr) {
    RxStream s;
    Feed(s, "noise before the first dollar " + kGga);
    Popped p;
    ASSERT_TRUE(Pop(s, p));
    EXPECT_EQ(p.d.kind, SentenceKind::Text);
    EXPECT_EQ(p.d.id, sentence::kGga);
    EXPECT_EQ(p.text, kGga.substr(0, kGga.size() - 1));  // the LF is not stored
    EXPECT_EQ(p.d.length, static_cast<int>(kGga.size() - 1));
    EXPECT_FALSE(Pop(s, p));
}

TEST(RxStream, DollarInsideASentenceAbandonsTheFirstPart) {
    RxStream s;
    Feed(s, "$GPGSV,3,1,11,03,03$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A*25\r\n");
    Popped p;
    ASSERT_TRUE(Pop(s, p));
    EXPECT_EQ(p.d.id, sentence::kVtg);
    EXPECT_EQ(p.text, "$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A*25\r");
    EXPECT_FALSE(Pop(s, p));
}

TEST(RxStream, BinaryPacketsRunFromAaThroughLfAndKeepTheLf) {
    RxStream s;
    const std::string packet("\xAA\xF0\x0C\x00\x03\x00\xAA\x00\x00\x0E\r\n", 12);
    Feed(s, packet + kGga + std::string("\xAA\xF0\x01$GPVTG,,T,,M,,N,,K*4E\r\n"));
    Popped p;
    ASSERT_TRUE(Pop(s, p));
    EXPECT_EQ(p.d.kind, SentenceKind::Binary);
    EXPECT_EQ(p.text, packet);  // an 0xAA inside a packet is data
    ASSERT_TRUE(Pop(s, p));
    EXPECT_EQ(p.d.id, sentence::kGga);
    ASSERT_TRUE(Pop(s, p));  // a "$" abandons the unfinished packet
    EXPECT_EQ(p.d.id, sentence::kVtg);
}

TEST(RxStream, OverlongLinesAndPacketsAreDroppedWhole) {
    RxStream s;
    Feed(s, "$GPTXT," + std::string(300, 'x') + "*00\r\n" + kGga);
    Feed(s, std::string("\xAA") + std::string(120, 'b') + "\r\n");
    Popped p;
    ASSERT_TRUE(Pop(s, p));
    EXPECT_EQ(p.d.id, sentence::kGga);
    EXPECT_FALSE(Pop(s, p));
    const std::string longest = "$GPTXT," + std::string(kMaxSentenceLength - 11, 'y') + "*00\r\n";
    Feed(s, longest);
    ASSERT_TRUE(Pop(s, p));
    EXPECT_EQ(p.d.length, kMaxSentenceLength);
}

TEST(RxStream, FullQueueDropsOldSentencesUpToTheNextGga) {
    RxStream s;
    // 100 epochs of GGA, GSA, RMC: 300 sentences into a 256-entry queue.
    for (int e = 0; e < 100; ++e)
        Feed(s, kGga + "$GPGSA,A,3,04,05,,,,,,,,,,,2.5,1.3,2.1*00\r\n$GPRMC," + std::to_string(e) + "*00\r\n");
    EXPECT_GT(s.DroppedSentences(), 0u);
    Popped p;
    ASSERT_TRUE(Pop(s, p));
    EXPECT_EQ(p.d.id, sentence::kGga);  // reading resumes at the start of an epoch
    int count = 1;
    std::string lastRmc;
    while (Pop(s, p)) {
        ++count;
        if (p.d.id == sentence::kRmc) lastRmc = p.text;
    }
    EXPECT_EQ(lastRmc, "$GPRMC,99*00\r");  // the newest are kept
    EXPECT_EQ(count + static_cast<int>(s.DroppedSentences()), 300);
    EXPECT_EQ(count % 3, 0);
}

TEST(RxStream, FullQueueWithoutAnyGgaStillKeepsTheNewest) {
    RxStream s;
    for (int i = 0; i < 600; ++i) Feed(s, "$GPVTG," + std::to_string(i) + "*00\r\n");
    Popped p;
    std::string last;
    int count = 0;
    while (Pop(s, p)) {
        last = p.text;
        ++count;
    }
    EXPECT_EQ(last, "$GPVTG,599*00\r");
    EXPECT_GE(count, 1);
    EXPECT_LT(count, kSentenceQueueSize);
}

TEST(RxStream, RingNeverOverwritesASentenceNotYetRead) {
    RxStream s;
    // 200 sentences of 250 bytes are 50 KB: more than the ring, fewer than the queue.
    for (int i = 0; i < 200; ++i) {
        std::string body = "$GPTXT," + std::to_string(i) + ",";
        body += std::string(240 - body.size(), 'a' + i % 26);
        Feed(s, body + "*00\r\n");
    }
    Popped p;
    int last = -1;
    while (Pop(s, p)) {
        const int i = std::stoi(p.text.substr(7));
        EXPECT_GT(i, last);
        EXPECT_EQ(p.text[20], 'a' + i % 26) << "sentence " << i << " was overwritten";
        last = i;
    }
    EXPECT_EQ(last, 199);
    EXPECT_GT(s.DroppedSentences(), 0u);
}

struct ClassifyCase {
    const char* header;
    SentenceId id;
};

class Classify : public ::testing::TestWithParam<ClassifyCase> {};

TEST_P(Classify, NameGivesItsId) { EXPECT_EQ(ClassifySentence(GetParam().header), GetParam().id); }

INSTANTIATE_TEST_SUITE_P(
    Names, Classify,
    ::testing::Values(ClassifyCase{"$GPGGA,", 0}, ClassifyCase{"$GBGGA,", 0}, ClassifyCase{"$GAGGA,", 255},
                      ClassifyCase{"$GNGLL,", 1}, ClassifyCase{"$GAGSA,", 2}, ClassifyCase{"$GBQSA,", 6},
                      ClassifyCase{"$QZGSV,", 3}, ClassifyCase{"$GNGSV,", 255}, ClassifyCase{"$BDRMC,", 4},
                      ClassifyCase{"$GLVTG,", 5}, ClassifyCase{"$PTVXALM,", 32}, ClassifyCase{"$PTVXTSX1,", 43},
                      ClassifyCase{"$PTVXTSX2,", 255}, ClassifyCase{"$PTVXWBG,", 38}, ClassifyCase{"$GPTXT,", 136},
                      ClassifyCase{"$PZRC001,", 253}, ClassifyCase{"$PZRC-01,", 253}, ClassifyCase{"$PZRCX1,", 255},
                      ClassifyCase{"$PZRC01,", 255}, ClassifyCase{"$PZRC0-1,", 255},
                      ClassifyCase{"$PTVXRTSEPH,", 254}, ClassifyCase{"$PTVXDTEPH,", 254},
                      ClassifyCase{"$PMTK001,", 252}, ClassifyCase{"$PMTK0011,", 255}, ClassifyCase{"$PMTK001*", 255},
                      ClassifyCase{"$PMTK101,", 255},
                      ClassifyCase{"$GPGGAX,", 0}, ClassifyCase{"$GPGG,", 255}));

TEST(Checksum, AcceptsOnlyTheRightUpperCaseDigits) {
    EXPECT_TRUE(VerifyNmeaChecksum("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47"));
    EXPECT_FALSE(VerifyNmeaChecksum("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*48"));
    EXPECT_TRUE(VerifyNmeaChecksum("$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A*25"));
    EXPECT_TRUE(VerifyNmeaChecksum("$PTVX867*33"));
    EXPECT_FALSE(VerifyNmeaChecksum("$PTVX867*34"));
    EXPECT_FALSE(VerifyNmeaChecksum("$A*4"));           // too short
    EXPECT_FALSE(VerifyNmeaChecksum("$GPTXT,abc*2"));    // one digit
    EXPECT_FALSE(VerifyNmeaChecksum("$GPTXT,abc"));      // no '*'
    EXPECT_FALSE(VerifyNmeaChecksum("$GP\xC1TXT*00"));   // top bit set
    EXPECT_TRUE(VerifyNmeaChecksum("$AB*03"));
    EXPECT_TRUE(VerifyNmeaChecksum("$AJ*0B"));
    EXPECT_FALSE(VerifyNmeaChecksum("$AJ*0b"));          // NMEA writes upper-case digits
}

TEST(OutgoingFrames, NmeaSentenceGetsDollarChecksumAndLineEnd) {
    std::array<char, 256> out{};
    EXPECT_EQ(BuildNmeaSentence("PTVX867", out), 13u);
    EXPECT_STREQ(out.data(), "$PTVX867*33\r\n");
    EXPECT_EQ(BuildNmeaSentence("PZRC75*junk", out), 12u);  // the body ends at '*'
    EXPECT_STREQ(out.data(), "$PZRC75*19\r\n");
    EXPECT_EQ(BuildNmeaSentence("", out), 0u);
    EXPECT_STREQ(out.data(), "");
    const std::string longBody(300, 'A');
    EXPECT_EQ(BuildNmeaSentence(longBody, out), 249u + 6u);  // cut to 249 characters
    EXPECT_EQ(out[250], '*');
}

TEST(OutgoingFrames, BinaryPacketIsHeaderPayloadXorCrLf) {
    const uint8_t payload[] = {0x08, 0x00, 0x95, 0x00, 0x01, 0x02};
    uint8_t out[16] = {};
    ASSERT_EQ(BuildBinaryPacket(payload, out), 11u);
    const uint8_t expected[] = {0xAA, 0xF0, 0x08, 0x00, 0x95, 0x00, 0x01, 0x02, 0x9E, 0x0D, 0x0A};
    EXPECT_EQ(0, std::memcmp(out, expected, sizeof expected));
}

TEST(OutgoingFrames, BinaryReplyChecksGiveEachCode) {
    std::array<uint8_t, 100> reply{};
    const uint8_t good[] = {0xAA, 0xF0, 0x0C, 0x00, 0x03, 0x00, 0x95, 0x00, 0x07, 0x9D, 0x0D, 0x0A};
    std::memcpy(reply.data(), good, sizeof good);
    BinaryReplyFields f{};
    ASSERT_EQ(CheckBinaryReply(reply, f), 0);
    EXPECT_EQ(f.type, 3);
    EXPECT_EQ(f.value, 0x95);
    EXPECT_EQ(f.byte8, 7);
    reply[9] ^= 1;
    EXPECT_EQ(CheckBinaryReply(reply, f), -4);
    reply[11] = 0;
    EXPECT_EQ(CheckBinaryReply(reply, f), -3);
    reply[2] = 9;
    EXPECT_EQ(CheckBinaryReply(reply, f), -1);
    reply[2] = 101;
    EXPECT_EQ(CheckBinaryReply(reply, f), -2);
}

namespace {

// A stream with every framing case in it: sentences whole and broken off by a "$" or an
// 0xAA, packets framed by their length (holding LF and "$" bytes) and by LF, lines
// without CR, overlong lines and packets, UBX acknowledges whole, broken off and with a
// wrong checksum, NUL bytes and noise.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);  // NUL bytes included
}

std::string MixedStream(uint32_t seed, int pieces) {
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    const std::string pieceOf[] = {
        kGga,
        "$GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00*74\r\n",
        "$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A*25\n",
        "$PZRC001*00\r\n",
        "$GPGSV,3,2,11,03",
        Bytes("\xAA\xF0\x0C\x00\x03\x00\x0A\x24\x00\x0E\r\n"),
        Bytes("\xAA\xF1junk\r\n"),
        Bytes("\xAA\xF0\x02\x00zz\n"),
        "$GPTXT," + std::string(300, 'x') + "*00\r\n",
        "\xAA" + std::string(120, 'b') + "\r\n",
        Bytes("$GPGLL,49\0\x16.45,N*00\r\n"),
        "noise \x80\xff\r\n",
        Bytes("\xB5\x62\x05\x01\x02\x00\x06\x04\x12\x3B"),
        Bytes("\xB5\x62\x05\x00\x02\x00\x06\x3E\x4B\x71"),
        Bytes("\xB5\x62\x05\x01\x02"),
        "\xB5",
    };
    std::string s;
    for (int i = 0; i < pieces; ++i) s += pieceOf[(next() >> 8) % std::size(pieceOf)];
    return s;
}

std::vector<std::string> Drain(RxStream& s) {
    std::vector<std::string> out;
    Popped p;
    while (Pop(s, p))
        out.push_back(std::to_string(static_cast<int>(p.d.kind)) + " " + std::to_string(p.d.id) + " " + p.text);
    return out;
}

}  // namespace

TEST(RxStream, BlockFeedFramesAsByteFeed) {
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        const std::string bytes = MixedStream(seed, 400);
        uint32_t cut = seed;
        RxStream byByte, byBlock;
        std::vector<std::string> fromBytes, fromBlocks;
        for (std::size_t at = 0; at < bytes.size();) {
            cut = cut * 1664525u + 1013904223u;
            const std::size_t n = std::min<std::size_t>(bytes.size() - at, 1 + (cut >> 16) % 300);
            Feed(byByte, bytes.substr(at, n));
            byBlock.FeedRxBytes(reinterpret_cast<const uint8_t*>(bytes.data() + at), n);
            for (auto& t : Drain(byByte)) fromBytes.push_back(std::move(t));
            for (auto& t : Drain(byBlock)) fromBlocks.push_back(std::move(t));
            at += n;
        }
        EXPECT_EQ(fromBlocks, fromBytes) << "seed " << seed;
        EXPECT_EQ(byBlock.CompletedSentences(), byByte.CompletedSentences());
    }
}

TEST(RxStream, BlockFeedDropsAsByteFeedWhenNobodyReads) {
    const std::string bytes = MixedStream(7, 3000);
    RxStream byByte, byBlock;
    Feed(byByte, bytes);
    for (std::size_t at = 0; at < bytes.size(); at += 8192) {
        const std::size_t n = std::min<std::size_t>(8192, bytes.size() - at);
        byBlock.FeedRxBytes(reinterpret_cast<const uint8_t*>(bytes.data() + at), n);
    }
    EXPECT_GT(byByte.DroppedSentences(), 0u);
    EXPECT_EQ(byBlock.DroppedSentences(), byByte.DroppedSentences());
    EXPECT_EQ(Drain(byBlock), Drain(byByte));
}

namespace {

// UBX acknowledges as a module sends them: sync pair, class 05, id 01 (ACK) or 00 (NAK),
// length 2, the class and id answered, the two checksum bytes.
const std::string kAckRst = Bytes("\xB5\x62\x05\x01\x02\x00\x06\x04\x12\x3B");   // ACK-ACK CFG-RST
const std::string kNakGnss = Bytes("\xB5\x62\x05\x00\x02\x00\x06\x3E\x4B\x70");  // ACK-NAK CFG-GNSS
const std::string kVtg = "$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A*25\r\n";

std::string AsText(SentenceId id, const std::string& line) {
    return "1 " + std::to_string(id) + " " + line.substr(0, line.size() - 1);
}
std::string AsUbx(const std::string& frame) { return "5 255 " + frame; }

struct UbxCase {
    const char* legend;
    std::string bytes;
    std::vector<std::string> framed;
};

void PrintTo(const UbxCase& c, std::ostream* os) { *os << c.legend; }

class UbxFraming : public ::testing::TestWithParam<UbxCase> {};

}  // namespace

TEST_P(UbxFraming, KeepsAcknowledgesWholeAndLosesNoSentenceOnAFalseStart) {
    const UbxCase& c = GetParam();
    RxStream byByte;
    Feed(byByte, c.bytes);
    EXPECT_EQ(Drain(byByte), c.framed);
    // The block feed, split at every byte.
    const auto* bytes = reinterpret_cast<const uint8_t*>(c.bytes.data());
    for (std::size_t cut = 0; cut <= c.bytes.size(); ++cut) {
        RxStream byBlock;
        byBlock.FeedRxBytes(bytes, cut);
        byBlock.FeedRxBytes(bytes + cut, c.bytes.size() - cut);
        EXPECT_EQ(Drain(byBlock), c.framed) << "cut at " << cut;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, UbxFraming,
    ::testing::Values(
        UbxCase{"acknowledges between sentences", kVtg + kAckRst + kNakGnss + kGga,
                {AsText(sentence::kVtg, kVtg), AsUbx(kAckRst), AsUbx(kNakGnss), AsText(sentence::kGga, kGga)}},
        UbxCase{"after a binary packet framed by its length",
                Bytes("\xAA\xF0\x0C\x00\x03\x00\x04\x00\x01\x0A\r\n") + kAckRst,
                {"4 255 " + Bytes("\xAA\xF0\x0C\x00\x03\x00\x04\x00\x01\x0A\r\n"), AsUbx(kAckRst)}},
        UbxCase{"a stray 0xB5 before a sentence", "\xB5" + kVtg, {AsText(sentence::kVtg, kVtg)}},
        UbxCase{"the sync pair alone", "\xB5\x62" + kVtg, {AsText(sentence::kVtg, kVtg)}},
        UbxCase{"two sync bytes, the second starting the frame", "\xB5" + kAckRst, {AsUbx(kAckRst)}},
        UbxCase{"a navigation message's header is no acknowledge", Bytes("\xB5\x62\x01\x07\x5C\x00") + kVtg,
                {AsText(sentence::kVtg, kVtg)}},
        UbxCase{"a payload length other than 2", Bytes("\xB5\x62\x05\x01\x03\x00") + kVtg,
                {AsText(sentence::kVtg, kVtg)}},
        UbxCase{"a sentence where the answered ids would be", Bytes("\xB5\x62\x05\x01\x02\x00") + kVtg,
                {AsText(sentence::kVtg, kVtg)}},
        UbxCase{"a sentence where the checksum would be", Bytes("\xB5\x62\x05\x01\x02\x00\x06") + kGga,
                {AsText(sentence::kGga, kGga)}},
        UbxCase{"a wrong checksum drops the frame alone",
                Bytes("\xB5\x62\x05\x01\x02\x00\x06\x04\x12\x3C") + kGga, {AsText(sentence::kGga, kGga)}},
        UbxCase{"another acknowledge among the last bytes of a broken one",
                Bytes("\xB5\x62\x05\x01\x02\x00\x06\xB5") + kAckRst.substr(1), {AsUbx(kAckRst)}},
        UbxCase{"the bytes of an acknowledge inside a sentence stay in it", "$GPTXT," + kAckRst + "*00\r\n",
                {AsText(sentence::kGptxt, "$GPTXT," + kAckRst + "*00\r\n")}}),
    [](const ::testing::TestParamInfo<UbxCase>& info) {
        std::string name;
        bool upper = true;
        for (const char* p = info.param.legend; *p; ++p) {
            if (std::isalnum(static_cast<unsigned char>(*p))) name += upper ? static_cast<char>(std::toupper(*p)) : *p;
            upper = !std::isalnum(static_cast<unsigned char>(*p));
        }
        return name;
    });
