// Byte streams in, window messages out, through the real link thread.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "LinkHarness.h"
#include "Nmea.h"
#include "ResponseDecoder.h"

using testsupport::Numbers;
using testsupport::RunThroughLink;
using testsupport::Sentence;

namespace {

const std::string kGga = Sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
const std::string kGpGsa = Sentence("GPGSA,A,3,04,05,,,,,,,,,,,2.5,1.3,2.1");
const std::string kGlGsa = Sentence("GLGSA,A,3,65,66,,,,,,,,,,,2.5,1.3,2.1");
const std::string kGpGsv = Sentence("GPGSV,1,1,02,04,40,100,40,05,50,200,45");
const std::string kGlGsv1 = Sentence("GLGSV,2,1,05,65,10,10,30,66,20,20,31,67,30,30,32,68,40,40,33");
const std::string kGlGsv2 = Sentence("GLGSV,2,2,05,69,50,50,34");

const std::vector<int> kCycle = {1026, 1085, 1125, 1045, 1066, 1136, 1027, 1046, 1065};

template <typename T>
std::vector<T> PayloadsOf(const std::vector<LinkMessage>& messages, int number) {
    std::vector<T> out;
    for (const auto& m : messages)
        if (m.number == number) out.push_back(std::get<T>(m.payload));
    return out;
}

std::vector<int> Concat(std::initializer_list<std::vector<int>> parts) {
    std::vector<int> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace

TEST(LinkDispatch, GgaPostsRawThenInfoFixModeAndTrack) {
    const auto messages = RunThroughLink(kGga);
    EXPECT_EQ(Numbers(messages), (std::vector<int>{1031, 1025, 1086, 1135}));
    const auto& raw = std::get<RawSentence>(messages[0].payload);
    EXPECT_EQ(std::string(raw.text, raw.length), kGga.substr(0, kGga.size() - 1));
    EXPECT_EQ(raw.start, 0);
    EXPECT_NEAR(std::get<GgaRecord>(messages[1].payload).latitude, 48.1173, 1e-6);
}

TEST(LinkDispatch, BadChecksumIsNeitherListedNorParsed) {
    std::string bad = kGga;
    bad[bad.size() - 4] = bad[bad.size() - 4] == '7' ? '8' : '7';
    EXPECT_TRUE(RunThroughLink(bad + "$GPGGA,,,,*00\r\n").empty());
}

TEST(LinkDispatch, TextLogOffsetsFollowOneAnother) {
    const std::string vtg = Sentence("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A");
    const auto messages = RunThroughLink(kGga + vtg + kGga);
    std::vector<RawSentence> raw = PayloadsOf<RawSentence>(messages, 1031);
    ASSERT_EQ(raw.size(), 3u);
    EXPECT_EQ(raw[1].start, kGga.size() - 1);
    EXPECT_EQ(raw[2].start, kGga.size() - 1 + vtg.size() - 1);
    EXPECT_EQ(Numbers(messages), (std::vector<int>{1031, 1025, 1086, 1135, 1031, 1030, 1105, 1031, 1025, 1086, 1135}));
}

TEST(LinkDispatch, TwoGsaSentencesWaitForTwoCompletedGroupsThenPostAfterEachGsv) {
    const auto messages = RunThroughLink(kGpGsa + kGlGsa + kGpGsv + kGlGsv1 + kGlGsv2);
    const std::vector<int> raw5(5, 1031);
    // GP group completes: one group for two GSAs, nothing yet. GL part 1: still one.
    // GL part 2 completes the second group: the cycle is posted.
    EXPECT_EQ(Numbers(messages), Concat({{1031, 1031, 1031, 1031, 1031}, kCycle}));
    const auto used = PayloadsOf<UsedSatelliteSet>(messages, 1026).at(0);
    EXPECT_EQ(used.gsaSentences, 2);
    EXPECT_EQ(used.count, 4);
    EXPECT_EQ(used.system[2], gnss::kGlonass);
    const auto view = PayloadsOf<SatelliteViewSet>(messages, 1027).at(0);
    EXPECT_EQ(view.count, 7);
    EXPECT_EQ(view.completedGroups, 2);
    EXPECT_EQ(view.highestSnr, 45);
    EXPECT_EQ(view.lowestSnr, 30);
    EXPECT_EQ(view.trackedCount, 7);

    // A later GSV of the same epoch posts again.
    const auto more = RunThroughLink(kGpGsa + kGlGsa + kGpGsv + kGlGsv1 + kGlGsv2 +
                                     Sentence("GAGSV,1,1,01,11,45,90,38"));
    EXPECT_EQ(Numbers(more), Concat({{1031, 1031, 1031, 1031, 1031}, kCycle, {1031}, kCycle}));
}

TEST(LinkDispatch, GnTalkerGsaTakesTheSystemsOfTheGsvGroupsInOrder) {
    const auto messages = RunThroughLink(Sentence("GNGSA,A,3,04,05,,,,,,,,,,,2.5,1.3,2.1") +
                                         Sentence("GNGSA,A,3,65,66,,,,,,,,,,,2.5,1.3,2.1") + kGpGsv +
                                         kGlGsv1 + kGlGsv2);
    const auto used = PayloadsOf<UsedSatelliteSet>(messages, 1026).at(0);
    ASSERT_EQ(used.count, 4);
    EXPECT_EQ(used.system[0], gnss::kGps);
    EXPECT_EQ(used.system[1], gnss::kGps);
    EXPECT_EQ(used.system[2], gnss::kGlonass);
    EXPECT_EQ(used.system[3], gnss::kGlonass);
}

TEST(LinkDispatch, NewEpochClearsTablesAndGpsNumbersGiveSbasAndQzss) {
    const std::string epoch1 = kGpGsa + kGpGsv;
    const std::string epoch2 = kGga + Sentence("GPGSA,A,3,40,195,,,,,,,,,,,2.5,1.3,2.1") +
                               Sentence("GPGSV,1,1,02,40,30,150,38,195,60,170,44");
    const auto messages = RunThroughLink(epoch1 + epoch2);
    const auto used = PayloadsOf<UsedSatelliteSet>(messages, 1026);
    ASSERT_EQ(used.size(), 2u);
    ASSERT_EQ(used[1].count, 2);
    EXPECT_EQ(used[1].system[0], gnss::kSbas);
    EXPECT_EQ(used[1].system[1], gnss::kQzss);
    const auto view = PayloadsOf<SatelliteViewSet>(messages, 1027);
    ASSERT_EQ(view[1].count, 2);
    EXPECT_EQ(view[1].satellites[1].system, gnss::kQzss);
}

TEST(LinkDispatch, FortySatellitesInViewAreAllKept) {
    std::string epoch = kGpGsa;
    for (const char* talker : {"GP", "GL", "GA", "GB"}) {
        for (int n = 1; n <= 3; ++n) {
            std::string body = std::string(talker) + "GSV,3,1,10";
            body[8] = static_cast<char>('0' + n);
            for (int k = 0; k < (n < 3 ? 4 : 2); ++k) body += "," + std::to_string(n * 10 + k) + ",45,100,40";
            epoch += Sentence(body);
        }
    }
    const auto view = PayloadsOf<SatelliteViewSet>(RunThroughLink(epoch), 1027);
    ASSERT_FALSE(view.empty());
    EXPECT_EQ(view.back().count, 40);
    EXPECT_EQ(view.back().completedGroups, 4);
}

TEST(LinkDispatch, RepliesCarryTheirDecodedLines) {
    const auto messages = RunThroughLink(Sentence("PZRC001,030,3") + Sentence("PZRC999,1"), false, DecodeResponse);
    const auto replies = PayloadsOf<DecodedReply>(messages, 1126);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0].text, "[Receive] 001\r\n[Respond] 030\r\nStatus: Valid packet, action succeeded\r\n\r\n");
    EXPECT_EQ(replies[1].text, "");
}

TEST(LinkDispatch, BinaryRepliesOfInterestLandBeforeTheirFlag) {
    testsupport::RecordingSink sink;
    CNmeaThread link("test", 0, &sink, nullptr);
    link.Start();
    const std::string type3("\xAA\xF0\x0C\x00\x03\x00\x01\x00\x05\x0B\r\n", 12);
    const std::string other("\xAA\xF0\x0C\x00\x02\x00\x01\x00\x05\x08\r\n", 12);
    const std::string ack95("\xAA\xF0\x0C\x00\x01\x00\x95\x00\x00\x98\r\n", 12);
    for (char c : other + type3 + ack95) link.FeedRxByte(static_cast<uint8_t>(c));
    link.Drain();
    BinaryReply& reply = link.Dispatcher().Reply();
    EXPECT_TRUE(reply.Arrived(BinaryReply::kType3));
    EXPECT_TRUE(reply.Arrived(BinaryReply::kCommand95));
    EXPECT_EQ(reply.Bytes()[6], 0x95);  // the latest one
    reply.Clear(BinaryReply::kType3);
    EXPECT_FALSE(reply.Arrived(BinaryReply::kType3));
    link.Shutdown();
    EXPECT_TRUE(sink.Messages().empty());
}

TEST(LinkDispatch, QueueOverflowDropsWholeEpochs) {
    std::string stream;
    for (int e = 0; e < 60; ++e) stream += kGga + kGpGsa + kGpGsv + Sentence("GPVTG,1,T,,M,2,N,3,K,A") + Sentence("GPRMC,1*00");
    // Everything arrives before the link thread runs: 300 sentences for 256 places.
    const auto messages = RunThroughLink(stream, true);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0].number, 1031);
    EXPECT_EQ(std::string(std::get<RawSentence>(messages[0].payload).text, 6), "$GPGGA");
    const auto ggas = PayloadsOf<GgaRecord>(messages, 1025).size();
    const auto vtgs = PayloadsOf<VtgRecord>(messages, 1030).size();
    EXPECT_EQ(ggas, vtgs);  // every epoch that survived is whole
    EXPECT_LT(ggas, 60u);
}

// Real receivers of nine makes: nothing crashes, every listed sentence is a line of the
// input with a good checksum, and every GGA with a time is reported.
class RealCapture : public ::testing::TestWithParam<const char*> {};

TEST_P(RealCapture, ParsesWhatItShouldAndNothingElse) {
    std::ifstream in(std::string(NMEA_CAPTURES) + "/" + GetParam(), std::ios::binary);
    ASSERT_TRUE(in) << GetParam();
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string bytes = buffer.str();
    const auto messages = RunThroughLink(bytes);
    std::set<std::string> lines;
    std::istringstream split(bytes);
    std::string line;
    std::size_t goodGga = 0;
    while (std::getline(split, line)) {
        const auto dollar = line.rfind('$');
        if (dollar == std::string::npos) continue;
        lines.insert(line.substr(dollar));
        const std::string s = line.substr(dollar);
        const std::set<std::string> kGgaTalkers = {"GP", "GN", "BD", "GL", "GB"};
        if (s.size() > 7 && s.substr(3, 4) == "GGA," && kGgaTalkers.count(s.substr(1, 2))) {
            const std::string body = s.back() == '\r' ? s.substr(0, s.size() - 1) : s;
            unsigned sum = 0;
            const auto star = body.find('*');
            for (std::size_t i = 1; i < star && star != std::string::npos; ++i) sum ^= static_cast<unsigned char>(body[i]);
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02X", sum);
            if (star != std::string::npos && body.substr(star + 1, 2) == hex && body[7] != ',') ++goodGga;
        }
    }
    std::size_t raw = 0;
    for (const auto& m : messages) {
        if (m.number != 1031) continue;
        ++raw;
        const auto& r = std::get<RawSentence>(m.payload);
        EXPECT_TRUE(lines.count(std::string(r.text, r.length))) << std::string(r.text, r.length);
    }
    EXPECT_GT(raw, 0u);
    EXPECT_EQ(PayloadsOf<GgaRecord>(messages, 1025).size(), goodGga);
}

INSTANTIATE_TEST_SUITE_P(Receivers, RealCapture,
                         ::testing::Values("GPSmap-76S.nmea", "quectel-eg25-g.nmea", "quectel-l76k-nmea.nmea",
                                           "sirfstarv-nmea.nmea", "skytraq.nmea", "st-teseo-liv3f.nmea",
                                           "telit-he910.nmea", "tr737a-plus.nmea", "ublox-zed-f9p-nmea.nmea"));
