// The proprietary "$PTVX" parsers fed the text after the sentence name's comma.
#include <gtest/gtest.h>

#include <string>

#include "monitor/link/ProprietaryParsers.h"

namespace {

// `head` followed by `filler` fields until there are `fields` in all, then "*hh".
std::string Padded(const std::string& head, int fields, const std::string& filler) {
    std::string text = head;
    int have = 1;
    for (const char c : head) have += c == ',';
    for (; have < fields; ++have) text += "," + filler;
    return text + "*4A";
}

bool Parse(SentenceId id, const std::string& text, ProprietaryRecords& r) {
    const ProprietaryParser parse = ProprietaryParserFor(id);
    EXPECT_NE(parse, nullptr) << "no parser for sentence id " << id;
    return parse && parse(text, r);
}

}  // namespace

TEST(ProprietaryEph, MapsSatelliteNumbersAndStoresPresentAndPendingEntries) {
    ProprietaryRecords r{};
    // present GPS 5; pending GPS 7; present GLONASS 205; pending BeiDou 310; present
    // Galileo 401 and 436; boundaries 224, 225, 337, 338; a pending entry missing y;
    // a lone PRN.
    const std::string head = "12,5.3.1,-7.10.20,205.0.4,-310.1.2,401.0.9,436.0.3,224.0.6,225.0.7,337.0.8,"
                             "338.0.5,-12.4,19";
    ASSERT_TRUE(Parse(sentence::kEph, Padded(head, 57, "0.0.0"), r));
    const EphRecord& e = r.eph;
    EXPECT_EQ(e.count, 12);

    EXPECT_EQ(e.present[5], 1);
    EXPECT_EQ(e.x[5], 0);
    EXPECT_EQ(e.y[5], 1);

    EXPECT_EQ(e.present[7], 0);
    EXPECT_EQ(e.x[7], 12);
    EXPECT_EQ(e.y[7], 20);

    EXPECT_EQ(e.present[69], 1);  // GLONASS 205
    EXPECT_EQ(e.y[69], 4);
    EXPECT_EQ(e.present[205], 0);

    EXPECT_EQ(e.present[210], 0);  // BeiDou 310, pending
    EXPECT_EQ(e.x[210], 3);
    EXPECT_EQ(e.y[210], 2);

    EXPECT_EQ(e.present[101], 1);  // Galileo 401
    EXPECT_EQ(e.y[101], 9);
    EXPECT_EQ(e.present[136], 1);  // Galileo 436
    EXPECT_EQ(e.y[136], 3);
    EXPECT_EQ(e.present[88], 1);  // GLONASS 224
    EXPECT_EQ(e.y[88], 6);
    EXPECT_EQ(e.present[225], 1);  // 225 is outside GLONASS's block: kept as is
    EXPECT_EQ(e.y[225], 7);
    EXPECT_EQ(e.present[89], 0);
    EXPECT_EQ(e.present[237], 1);  // BeiDou 337
    EXPECT_EQ(e.y[237], 8);
    EXPECT_EQ(e.present[238], 0);  // 338 is no BeiDou number and beyond the table

    EXPECT_EQ(e.x[12], 0);  // pending without y: nothing stored
    EXPECT_EQ(e.y[12], 0);
    EXPECT_EQ(e.present[19], 1);
    EXPECT_EQ(e.y[19], 0);
    EXPECT_EQ(e.present[0], 0);  // the zero filler entries mark nothing
}

TEST(ProprietaryEph, CountIsCappedAndOnly57FieldsParse) {
    ProprietaryRecords r{};
    ASSERT_TRUE(Parse(sentence::kEph, Padded("300", 57, "0"), r));
    EXPECT_EQ(r.eph.count, 254);
    EXPECT_FALSE(Parse(sentence::kEph, Padded("3", 56, "0"), r));
    EXPECT_FALSE(Parse(sentence::kEph, Padded("3", 58, "0"), r));
}

TEST(ProprietaryChn, SplitsEachChannelValueIntoThreeParts) {
    ProprietaryRecords r{};
    ASSERT_TRUE(Parse(sentence::kChn, Padded("12345,7,-12345,123.9,,98765", 32, "0"), r));
    const ChnRecord& c = r.chn;
    EXPECT_EQ(c.high[0], 12);
    EXPECT_EQ(c.middle[0], 34);
    EXPECT_EQ(c.low[0], 5);
    EXPECT_EQ(c.high[1], 0);
    EXPECT_EQ(c.middle[1], 0);
    EXPECT_EQ(c.low[1], 7);
    EXPECT_EQ(c.high[2], -12);  // truncated toward zero, the remainders keep the sign
    EXPECT_EQ(c.middle[2], -34);
    EXPECT_EQ(c.low[2], -5);
    EXPECT_EQ(c.high[3], 0);  // the whole part of 123.9
    EXPECT_EQ(c.middle[3], 12);
    EXPECT_EQ(c.low[3], 3);
    EXPECT_EQ(c.low[4], 0);  // empty
    EXPECT_EQ(c.high[5], 98);
    EXPECT_EQ(c.middle[5], 76);
    EXPECT_EQ(c.low[5], 5);

    EXPECT_FALSE(Parse(sentence::kChn, Padded("12345", 31, "0"), r));
    EXPECT_FALSE(Parse(sentence::kChn, Padded("12345", 33, "0"), r));
    EXPECT_FALSE(Parse(sentence::kChn, Padded("12345,12a45", 32, "0"), r));
    EXPECT_FALSE(Parse(sentence::kChn, Padded("12345, 12", 32, "0"), r));
}

TEST(ProprietaryDbg, ReadsAWordThirtyTwoBytesEightBytesAndSixFloats) {
    ProprietaryRecords r{};
    std::string text = "-70000";
    for (int i = 0; i < 32; ++i) text += "," + std::to_string(i * 8);  // 0, 8, ... 248
    text += ",1,2,4,8,16,32,64,128";
    text += ",1.5,-0.25,1000.125,0,3,-7.75*4A";
    ASSERT_TRUE(Parse(sentence::kDbg, text, r));
    const DbgRecord& d = r.dbg;
    EXPECT_EQ(d.word, -70000);
    EXPECT_EQ(d.bytes32[0], 0);
    EXPECT_EQ(d.bytes32[1], 8);
    EXPECT_EQ(d.bytes32[31], 248);
    EXPECT_EQ(d.bytes8[0], 1);
    EXPECT_EQ(d.bytes8[7], 128);
    EXPECT_FLOAT_EQ(d.floats[0], 1.5f);
    EXPECT_FLOAT_EQ(d.floats[1], -0.25f);
    EXPECT_FLOAT_EQ(d.floats[2], 1000.125f);
    EXPECT_FLOAT_EQ(d.floats[5], -7.75f);

    EXPECT_FALSE(Parse(sentence::kDbg, Padded("1", 46, "0"), r));
    EXPECT_FALSE(Parse(sentence::kDbg, Padded("1", 48, "0"), r));
    EXPECT_FALSE(Parse(sentence::kDbg, Padded("1,2,x", 47, "0"), r));
}

TEST(ProprietaryDb2, ReadsEightHexWordsThenEightDecimals) {
    ProprietaryRecords r{};
    ASSERT_TRUE(Parse(sentence::kDb2,
                      "DEADBEEF,0,ff,00012000,7fffffff,80000000,1,a5a5a5a5,"
                      "1.5,-2.25,0,100,3.125,-0.5,42,65536.75*4A",
                      r));
    const Db2Record& d = r.db2;
    EXPECT_EQ(d.words[0], 0xDEADBEEFu);
    EXPECT_EQ(d.words[1], 0u);
    EXPECT_EQ(d.words[2], 0xFFu);
    EXPECT_EQ(d.words[3], 0x12000u);
    EXPECT_EQ(d.words[4], 0x7FFFFFFFu);
    EXPECT_EQ(d.words[5], 0x80000000u);
    EXPECT_EQ(d.words[7], 0xA5A5A5A5u);
    EXPECT_DOUBLE_EQ(d.values[0], 1.5);
    EXPECT_DOUBLE_EQ(d.values[1], -2.25);
    EXPECT_DOUBLE_EQ(d.values[4], 3.125);
    EXPECT_DOUBLE_EQ(d.values[7], 65536.75);

    EXPECT_FALSE(Parse(sentence::kDb2, Padded("DEADBEEF", 15, "0"), r));
    EXPECT_FALSE(Parse(sentence::kDb2, Padded("DEADBEEF", 17, "0"), r));
}

TEST(ProprietaryRtc, ReadsTheIntegerAndTheDecimalOfItsFourFields) {
    ProprietaryRecords r{};
    ASSERT_TRUE(Parse(sentence::kRtc, "A,-42,x,3.25*4A", r));
    EXPECT_EQ(r.rtc.value, -42);
    EXPECT_DOUBLE_EQ(r.rtc.decimal, 3.25);
    ASSERT_TRUE(Parse(sentence::kRtc, "1,4.5,2,abc*4A", r));  // not numbers of their kind: 0
    EXPECT_EQ(r.rtc.value, 0);
    EXPECT_DOUBLE_EQ(r.rtc.decimal, 0.0);
    EXPECT_FALSE(Parse(sentence::kRtc, "1,2,3*4A", r));
    EXPECT_FALSE(Parse(sentence::kRtc, "1,2,3,4,5*4A", r));
}

TEST(ProprietaryJam, TakesAFirstIntegerAndUpToFiftyMore) {
    ProprietaryRecords r{};
    ASSERT_TRUE(Parse(sentence::kJam, "3,1575,-20,30,40*4A", r));
    EXPECT_EQ(r.jam.first, 3);
    ASSERT_EQ(r.jam.count, 4);
    EXPECT_EQ(r.jam.values[0], 1575);
    EXPECT_EQ(r.jam.values[1], -20);
    EXPECT_EQ(r.jam.values[3], 40);

    ASSERT_TRUE(Parse(sentence::kJam, Padded("7,11", 51, "12"), r));
    EXPECT_EQ(r.jam.first, 7);
    EXPECT_EQ(r.jam.count, 50);
    EXPECT_EQ(r.jam.values[0], 11);
    EXPECT_EQ(r.jam.values[49], 12);
    ASSERT_TRUE(Parse(sentence::kJam, Padded("7", 50, "1"), r));
    EXPECT_EQ(r.jam.count, 49);

    EXPECT_FALSE(Parse(sentence::kJam, Padded("7", 52, "1"), r));
    EXPECT_FALSE(Parse(sentence::kJam, Padded("7", 49, "1"), r));
    EXPECT_FALSE(Parse(sentence::kJam, "1,2,3,4,5,6*4A", r));
    EXPECT_FALSE(Parse(sentence::kJam, "1,2,3,4*4A", r));
}

TEST(ProprietaryLox, ModeZeroCarriesOneIntegerModeOneAlsoHexValues) {
    ProprietaryRecords r{};
    ASSERT_TRUE(Parse(sentence::kLox, "0,1234*4A", r));
    EXPECT_EQ(r.lox.mode, 0);
    EXPECT_EQ(r.lox.value, 1234);
    EXPECT_EQ(r.lox.count, 0);

    ASSERT_TRUE(Parse(sentence::kLox, Padded("1,-5,DEADBEEF,1f", 26, "a0"), r));
    EXPECT_EQ(r.lox.mode, 1);
    EXPECT_EQ(r.lox.value, -5);
    ASSERT_EQ(r.lox.count, 24);
    EXPECT_EQ(r.lox.hex[0], 0xDEADBEEFu);
    EXPECT_EQ(r.lox.hex[1], 0x1Fu);
    EXPECT_EQ(r.lox.hex[23], 0xA0u);

    ASSERT_TRUE(Parse(sentence::kLox, Padded("0,77", 26, "ff"), r));  // mode 0 ignores the hex
    EXPECT_EQ(r.lox.value, 77);
    EXPECT_EQ(r.lox.count, 0);
    EXPECT_EQ(r.lox.hex[0], 0u);

    ASSERT_TRUE(Parse(sentence::kLox, "0*4A", r));
    EXPECT_EQ(r.lox.mode, 0);
    EXPECT_EQ(r.lox.value, 0);

    EXPECT_FALSE(Parse(sentence::kLox, "1,2,3*4A", r));
    EXPECT_FALSE(Parse(sentence::kLox, Padded("1,2", 25, "0"), r));
    EXPECT_FALSE(Parse(sentence::kLox, Padded("1,2", 27, "0"), r));
}

TEST(ProprietaryTsx1, KeepsIntegersDoublesAndFloatsAndZeroForNonNumbers) {
    ProprietaryRecords r{};
    ASSERT_TRUE(Parse(sentence::kTsx1,
                      "123456,4807.038123456789,0.1,-12311.123456789012,-2147483648,86399.999999999,2.5,-0.75,"
                      "1e3,x*4A",
                      r));
    const Tsx1Record& t = r.tsx1;
    EXPECT_EQ(t.int0, 123456);
    EXPECT_EQ(t.int4, -2147483648LL);
    EXPECT_DOUBLE_EQ(t.d1, 4807.038123456789);  // needs all 64 bits
    EXPECT_DOUBLE_EQ(t.d3, -12311.123456789012);
    EXPECT_DOUBLE_EQ(t.d5, 86399.999999999);
    EXPECT_FLOAT_EQ(t.f2, 0.1f);
    EXPECT_FLOAT_EQ(t.f6, 2.5f);
    EXPECT_FLOAT_EQ(t.f7, -0.75f);
    EXPECT_FLOAT_EQ(t.f8, 0.0f);  // exponent form is not a number here
    EXPECT_FLOAT_EQ(t.f9, 0.0f);

    ASSERT_TRUE(Parse(sentence::kTsx1, "12x,,1.5,x,--1,y,z,1.2.3,,*4A", r));
    EXPECT_EQ(r.tsx1.int0, 0);
    EXPECT_EQ(r.tsx1.int4, 0);
    EXPECT_DOUBLE_EQ(r.tsx1.d1, 0.0);
    EXPECT_DOUBLE_EQ(r.tsx1.d3, 0.0);
    EXPECT_FLOAT_EQ(r.tsx1.f2, 1.5f);
    EXPECT_FLOAT_EQ(r.tsx1.f7, 0.0f);

    EXPECT_FALSE(Parse(sentence::kTsx1, Padded("1", 9, "0"), r));
    EXPECT_FALSE(Parse(sentence::kTsx1, Padded("1", 11, "0"), r));
}

// A default string_view has a null pointer, which must never reach memcpy (the
// sanitizer build stops on it): it parses as the empty text does.
TEST(ProprietaryParsers, EmptyViewWithoutCharactersReadsAsEmptyText) {
    for (const SentenceId id : {sentence::kAlm, sentence::kEph, sentence::kDgp, sentence::kChn, sentence::kDbg,
                                sentence::kDb2, sentence::kWbg, sentence::kRtc, sentence::kPmc, sentence::kJam,
                                sentence::kLox, sentence::kTsx1, sentence::kGptxt}) {
        ProprietaryRecords r{};
        const bool fromEmpty = ProprietaryParserFor(id)("", r);
        EXPECT_EQ(ProprietaryParserFor(id)(std::string_view(), r), fromEmpty) << "sentence id " << id;
    }
}
