// Byte streams in, window messages out, through the real link thread.
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <set>
#include <sstream>

#include "monitor/control/AckDecoder.h"
#include "monitor/link/Framing.h"
#include "tests/support/LinkHarness.h"
#include "tests/support/Nmea.h"

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

// The sky report: the used satellites, the satellites in view, then the table of both.
const std::vector<int> kCycle = {1026, 1125, 1045, 1066, 1027, 1046, 1065, 1152};

template <typename T>
std::vector<T> PayloadsOf(const std::vector<LinkMessage>& messages, int number) {
    std::vector<T> out;
    for (const auto& m : messages)
        if (m.number == number) out.push_back(std::get<T>(m.payload));
    return out;
}

// A GGA at 12:35:<second>, with a fix (quality 1) or without (0).
std::string Gga(int second, int quality = 1) {
    return Sentence("GPGGA,1235" + std::to_string(second) + ",4807.038,N,01131.000,E," + std::to_string(quality) +
                    ",08,0.9,545.4,M,46.9,M,,");
}

std::vector<int> Concat(std::initializer_list<std::vector<int>> parts) {
    std::vector<int> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace

TEST(LinkDispatch, GgaPostsRawInfoAndCommandPanelThenItsEpochToFixModeAndTrack) {
    const auto messages = RunThroughLink(kGga);
    // The epoch's summary goes when the input ends, there being no next epoch.
    EXPECT_EQ(Numbers(messages), (std::vector<int>{1031, 1025, 1127, 1087, 1138}));
    const auto& raw = std::get<RawSentence>(messages[0].payload);
    EXPECT_EQ(std::string(raw.text, raw.length), kGga.substr(0, kGga.size() - 1));
    EXPECT_EQ(raw.start, 0);
    EXPECT_NEAR(std::get<GgaRecord>(messages[1].payload).latitude, 48.1173, 1e-6);
    const auto& epoch = std::get<EpochSummary>(messages[4].payload);
    EXPECT_TRUE(epoch.hasGga);
    EXPECT_FALSE(epoch.hasReport);
    EXPECT_NEAR(epoch.gga.longitude, 11.5167, 1e-4);
}

TEST(LinkDispatch, BadChecksumIsNeitherListedNorParsed) {
    std::string bad = kGga;
    bad[bad.size() - 4] = bad[bad.size() - 4] == '7' ? '8' : '7';
    EXPECT_TRUE(RunThroughLink(bad + "$GPGGA,,,,*00\r\n").empty());
}

TEST(LinkDispatch, SentencesOfEveryLengthTheLinkKeepsAreParsed) {
    // A GGA with a fifteenth field, which nothing reads, padded to each length up to the
    // longest line kept ("$" through CR).
    const std::string head = "GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,,";
    for (int length = kMaxSentenceText - 8; length <= kMaxSentenceText; ++length) {
        const std::size_t pad = static_cast<std::size_t>(length) - head.size() - 5;  // "$", "*hh\r"
        const std::string gga = Sentence(head + std::string(pad, 'x'));
        ASSERT_EQ(gga.size(), static_cast<std::size_t>(length) + 1) << length;
        const auto messages = RunThroughLink(gga);
        EXPECT_EQ(Numbers(messages), (std::vector<int>{1031, 1025, 1127, 1087, 1138})) << length;
    }
}

TEST(LinkDispatch, TextLogOffsetsFollowOneAnother) {
    const std::string vtg = Sentence("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A");
    const auto messages = RunThroughLink(kGga + vtg + kGga);
    std::vector<RawSentence> raw = PayloadsOf<RawSentence>(messages, 1031);
    ASSERT_EQ(raw.size(), 3u);
    EXPECT_EQ(raw[1].start, kGga.size() - 1);
    EXPECT_EQ(raw[2].start, kGga.size() - 1 + vtg.size() - 1);
    EXPECT_EQ(Numbers(messages), (std::vector<int>{1031, 1025, 1127, 1031, 1030, 1105, 1031, 1025, 1127, 1087, 1138}));
}

// The sky is posted once an epoch, whole: in the first epoch when the next one begins;
// from then on as soon as the group comes to its end that ended the last report.
TEST(LinkDispatch, OneSkyReportPerEpochAsSoonAsItsLastGroupEnds) {
    const std::string sky = kGpGsa + kGlGsa + kGpGsv + kGlGsv1 + kGlGsv2;
    const auto messages = RunThroughLink(Gga(19) + sky + Gga(20) + sky + Gga(21) + sky);
    const std::vector<int> epochStart = {1031, 1025, 1127};  // GGA
    const std::vector<int> summary = {1087, 1138};
    EXPECT_EQ(Numbers(messages), Concat({epochStart, std::vector<int>(5, 1031),          // epoch 19, held
                                         kCycle, summary, epochStart, std::vector<int>(5, 1031),  // 20
                                         kCycle, summary, epochStart, std::vector<int>(5, 1031), kCycle, summary}));
    for (const auto& used : PayloadsOf<UsedSatelliteSet>(messages, 1026)) {
        EXPECT_EQ(used.gsaSentences, 2);
        EXPECT_EQ(used.count, 4);
        EXPECT_EQ(used.system[2], gnss::kGlonass);
    }
    for (const auto& view : PayloadsOf<SatelliteViewSet>(messages, 1027)) {
        EXPECT_EQ(view.count, 7);
        EXPECT_EQ(view.completedGroups, 2);
        EXPECT_EQ(view.highestSnr, 45);
        EXPECT_EQ(view.lowestSnr, 30);
        EXPECT_EQ(view.trackedCount, 7);
    }

    // A constellation that appears after the last group of the last report: the report
    // is out already; from the next epoch on it waits for that group.
    const std::string galileo = Sentence("GAGSV,1,1,01,11,45,90,38");
    const auto grown = RunThroughLink(Gga(19) + sky + Gga(20) + sky + galileo + Gga(21) + sky + galileo + Gga(22));
    const auto views = PayloadsOf<SatelliteViewSet>(grown, 1027);
    ASSERT_EQ(views.size(), 3u);
    EXPECT_EQ(views[1].count, 7);
    EXPECT_EQ(views[2].count, 8);
    EXPECT_EQ(PayloadsOf<EpochSummary>(grown, 1087).size(), 4u);
}

// NMEA 4.11 (one GSV group per signal, GSAs that name their system) before a fix: every
// GSA empty. Each epoch still gives one report with all its satellites, never pieces.
TEST(LinkDispatch, GroupsPerSignalAndEmptyGsasGiveOneWholeReportPerEpoch) {
    const std::string epoch = Sentence("GNGSA,A,1,,,,,,,,,,,,,99.99,99.99,99.99,1") +
                              Sentence("GNGSA,A,1,,,,,,,,,,,,,99.99,99.99,99.99,3") +
                              Sentence("GPGSV,2,1,05,04,40,100,30,05,50,200,45,07,10,300,,09,20,20,33,1") +
                              Sentence("GPGSV,2,2,05,12,30,30,28,1") + Sentence("GPGSV,1,1,02,04,40,100,41,05,50,200,20,8") +
                              Sentence("GLGSV,1,1,02,65,10,10,30,66,20,20,31,1") +
                              Sentence("GLGSV,1,1,01,65,10,10,35,3");
    std::string stream;
    for (int t = 10; t < 15; ++t) stream += Gga(t, 0) + epoch;
    const auto messages = RunThroughLink(stream);
    const auto views = PayloadsOf<SatelliteViewSet>(messages, 1027);
    ASSERT_EQ(views.size(), 5u);
    for (const auto& v : views) {
        ASSERT_EQ(v.count, 7);
        EXPECT_EQ(v.satellites[0].snr, 41);  // the best of its two signals
        EXPECT_EQ(v.completedGroups, 2);
        EXPECT_EQ(v.trackedCount, 6);
    }
    // No fix: Fix mode gets each epoch, Track none.
    const auto epochs = PayloadsOf<EpochSummary>(messages, 1087);
    ASSERT_EQ(epochs.size(), 5u);
    EXPECT_EQ(epochs[0].fixType, '1');
    EXPECT_EQ(epochs[0].gga.fixQuality, 0);
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

// A receiver whose GSV groups do not cover every constellation of its GSAs (GP and BD
// GSA, GP GSV only) still reports each epoch's satellites once.
TEST(LinkDispatch, EveryEpochsSatellitesAreReportedOnce) {
    const std::string epoch = Sentence("GPGSA,A,3,04,05,,,,,,,,,,,2.5,1.3,2.1") +
                              Sentence("BDGSA,A,3,201,,,,,,,,,,,,2.5,1.3,2.1") + kGpGsv;
    const auto messages = RunThroughLink(Gga(19) + epoch + Gga(20) + epoch + Gga(21));
    const auto used = PayloadsOf<UsedSatelliteSet>(messages, 1026);
    ASSERT_EQ(used.size(), 2u);
    EXPECT_EQ(used[0].count, 3);
    EXPECT_EQ(used[1].count, 3);

    // Before its first fix a receiver gives no time: each listing of its sky is an
    // epoch, whole, with an empty GSA for each constellation.
    const std::string noFix = Sentence("GPGGA,,,,,,0,00,99.99,,,,,,") + Sentence("GPGSA,A,1,,,,,,,,,,,,,0.0,0.0,0.0") +
                              Sentence("BDGSA,A,1,,,,,,,,,,,,,0.0,0.0,0.0") + Sentence("GPGSV,2,1,05,04,40,100,40,05,50,200,45,07,10,300,,09,20,20,33") +
                              Sentence("GPGSV,2,2,05,12,30,30,28") + Sentence("GLGSV,1,1,01,65,10,10,30");
    const auto noFixMessages = RunThroughLink(noFix + noFix + noFix);
    const auto views = PayloadsOf<SatelliteViewSet>(noFixMessages, 1027);
    ASSERT_EQ(views.size(), 3u);
    for (const auto& v : views) EXPECT_EQ(v.count, 6);
    EXPECT_EQ(PayloadsOf<EpochSummary>(noFixMessages, 1087).size(), 3u);
    EXPECT_TRUE(PayloadsOf<EpochSummary>(noFixMessages, 1138).at(0).hasReport);
}

// Each table is one report of the sky: a satellite once, whatever came before it.
TEST(LinkDispatch, ViewTableHoldsOneReportWithEachSatelliteOnce) {
    // GSV every other epoch, after a sentence the link does not know.
    const std::string report = Sentence("GNZDA,123519.00,07,12,2026,00,00") + kGpGsv;
    const std::string gga2 = Sentence("GPGGA,123520,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    const std::string gga3 = Sentence("GPGGA,123521,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    auto views = PayloadsOf<SatelliteViewSet>(RunThroughLink(kGga + report + gga2 + gga3 + report), 1027);
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(views[1].count, 2);

    // Before the first fix GGA and RMC do not parse: each listing is a report.
    const std::string noFix = Sentence("GPGGA,,,,,,0,00,99.99,,,,,,") + Sentence("GPRMC,,V,,,,,,,,,,N");
    views = PayloadsOf<SatelliteViewSet>(RunThroughLink(noFix + Sentence("GPGSV,1,1,01,05,40,100,40") + noFix +
                                                        Sentence("GPGSV,1,1,01,07,40,100,20") + noFix +
                                                        Sentence("GPGSV,1,1,01,05,40,100,22")),
                                         1027);
    ASSERT_EQ(views.size(), 3u);
    ASSERT_EQ(views[2].count, 1);
    EXPECT_EQ(views[2].satellites[0].snr, 22);

    // A report whose first sentence was lost starts at its second; the next
    // constellation's group joins it.
    views = PayloadsOf<SatelliteViewSet>(
        RunThroughLink(kGga + Sentence("GPGSV,2,2,05,05,40,100,40") + Sentence("GLGSV,1,1,01,70,40,100,30")), 1027);
    ASSERT_FALSE(views.empty());
    EXPECT_EQ(views.back().count, 2);
    EXPECT_EQ(views.back().completedGroups, 2);

    // NMEA 4.10: one group per signal. Satellites merge, keeping their best C/N0, and the
    // second signal's group is no new constellation.
    views = PayloadsOf<SatelliteViewSet>(
        RunThroughLink(Sentence("GNGSA,A,3,04,05,,,,,,,,,,,1.0,0.6,0.8,1") +
                       Sentence("GPGSV,1,1,02,04,40,100,30,05,50,200,45,1") +
                       Sentence("GPGSV,1,1,03,04,40,100,41,05,50,200,20,07,10,300,,8")),
        1027);
    ASSERT_EQ(views.size(), 1u);
    const SatelliteViewSet& v = views[0];
    ASSERT_EQ(v.count, 3);
    EXPECT_EQ(v.satellites[0].snr, 41);
    EXPECT_EQ(v.satellites[1].snr, 45);
    EXPECT_EQ(v.completedGroups, 1);
    EXPECT_EQ(v.trackedCount, 2);
    EXPECT_EQ(v.highestSnr, 45);
    EXPECT_EQ(v.lowestSnr, 41);
}

// What each epoch tells Track, Fix mode and Velocity: one fix for GGAs of two talkers
// at one time (the first with a position), and the RMC's speed and course when no VTG
// came; a receiver that sends VTG is shown its VTG alone.
TEST(LinkDispatch, EachEpochGivesOneFixAndItsVelocity) {
    const std::string rmc = Sentence("GNRMC,123519,A,4807.038,N,01131.000,E,12.5,273.33,081226,,,A");
    const std::string glNoFix = Sentence("GLGGA,123519,,,,,0,00,,,M,,M,,");
    const std::string later = Sentence("GPGGA,123520,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    const auto messages = RunThroughLink(glNoFix + kGga + rmc + later + rmc);
    const auto epochs = PayloadsOf<EpochSummary>(messages, 1138);
    ASSERT_EQ(epochs.size(), 2u);
    EXPECT_EQ(epochs[0].gga.fixQuality, 1);
    EXPECT_EQ(epochs[0].gga.hour, 12);
    const auto velocity = PayloadsOf<VtgRecord>(messages, 1105);
    ASSERT_EQ(velocity.size(), 2u);
    EXPECT_FLOAT_EQ(velocity[0].speedKnots, 12.5f);
    EXPECT_NEAR(velocity[0].speedKmh, 23.15, 0.01);
    EXPECT_FLOAT_EQ(velocity[0].courseTrue, 273.33f);

    const std::string vtg = Sentence("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A");
    const auto withVtg = PayloadsOf<VtgRecord>(RunThroughLink(kGga + rmc + vtg + later + rmc + vtg), 1105);
    ASSERT_EQ(withVtg.size(), 2u);
    EXPECT_FLOAT_EQ(withVtg[1].courseTrue, 54.7f);
}

// A QSA ahead of GN GSAs adds satellites but no GSA sentence: the GN sentences still
// find their own satellites.
TEST(LinkDispatch, QsaAheadOfGnGsasDoesNotShiftTheirSystems) {
    const auto messages = RunThroughLink(Sentence("QZQSA,1,A,3,01,,,,,,,,,,,,1.8,1.0,1.5") +
                                         Sentence("GNGSA,A,3,04,05,,,,,,,,,,,2.5,1.3,2.1") +
                                         Sentence("GNGSA,A,3,65,66,,,,,,,,,,,2.5,1.3,2.1") + kGpGsv + kGlGsv1 +
                                         kGlGsv2);
    const auto used = PayloadsOf<UsedSatelliteSet>(messages, 1026).at(0);
    ASSERT_EQ(used.count, 5);
    EXPECT_EQ(used.prn[0], 193);
    // A QSA's satellites take its talker's system, whatever their numbers.
    const auto gpQsa = PayloadsOf<UsedSatelliteSet>(
        RunThroughLink(Sentence("GPQSA,1,A,3,40,,,,,,,,,,,,1.8,1.0,1.5") + kGpGsv), 1026);
    ASSERT_EQ(gpQsa.at(0).count, 1);
    EXPECT_EQ(gpQsa.at(0).system[0], gnss::kGps);
    EXPECT_EQ(used.system[0], gnss::kQzss);
    EXPECT_EQ(used.system[1], gnss::kGps);
    EXPECT_EQ(used.system[2], gnss::kGps);
    EXPECT_EQ(used.system[3], gnss::kGlonass);
    EXPECT_EQ(used.system[4], gnss::kGlonass);
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
    const auto messages = RunThroughLink(Sentence("PZRC001,030,3") + Sentence("PZRC999,1") + Sentence("PZRC000"),
                                         false, ModuleReplyDecoders());
    const auto replies = PayloadsOf<DecodedReply>(messages, 1126);
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(replies[0].text, "[Receive] 001\r\n[Respond] 030\r\nStatus: Valid packet, action succeeded\r\n\r\n");
    EXPECT_EQ(replies[1].text, "");
    EXPECT_EQ(replies[2].text, "[Receive] 000\r\n\r\n");  // a reply with no fields at all
}

// The panel sends to three families; each one's acknowledge reaches it, in the order
// they came, among the sentences of the epoch, which go on as before.
TEST(LinkDispatch, AcknowledgesOfEveryFamilyReachTheCommandPanelInOrder) {
    const std::string ackRst("\xB5\x62\x05\x01\x02\x00\x06\x04\x12\x3B", 10);
    const std::string nakGnss("\xB5\x62\x05\x00\x02\x00\x06\x3E\x4B\x70", 10);
    const std::string vtg = Sentence("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A");
    const std::string stream = kGga + Sentence("PMTK001,102,3") + ackRst + vtg + Sentence("PZRC001,030,3") +
                               nakGnss + "$PMTK001,101,3*31\r\n";  // a wrong checksum
    const auto messages = RunThroughLink(stream, false, ModuleReplyDecoders());
    EXPECT_EQ(Numbers(messages),
              (std::vector<int>{1031, 1025, 1127, 1126, 1126, 1031, 1030, 1105, 1126, 1126, 1087, 1138}));
    std::vector<std::string> replies;
    for (const DecodedReply& r : PayloadsOf<DecodedReply>(messages, 1126)) replies.push_back(r.text);
    EXPECT_EQ(replies, (std::vector<std::string>{
                           "MTK ACK for PMTK102 (warm start): succeeded\r\n\r\n",
                           "UBX ACK-ACK for CFG-RST (06 04)\r\n\r\n",
                           "[Receive] 001\r\n[Respond] 030\r\nStatus: Valid packet, action succeeded\r\n\r\n",
                           "UBX ACK-NAK for CFG-GNSS (06 3E): refused\r\n\r\n"}));

    // Without decoders each is still announced, with no lines; the UBX frames are not
    // taken for the file transfer's packets.
    testsupport::RecordingSink sink;
    {
        CNmeaThread link("test", 0, &sink, nullptr);
        link.Start();
        link.FeedWithoutDrops(reinterpret_cast<const uint8_t*>(stream.data()), stream.size());
        link.Drain();
        link.Shutdown();
    }
    EXPECT_EQ(PayloadsOf<DecodedReply>(sink.Messages(), 1126).size(), 4u);
    for (const DecodedReply& r : PayloadsOf<DecodedReply>(sink.Messages(), 1126)) EXPECT_EQ(r.text, "");
    EXPECT_TRUE(sink.Packets().empty());
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

// The file transfer's block replies: AA F0, length 12, type 3, block, status, XOR, CR LF.
// Block 4 with status 1 has the XOR 0x0A, a line feed; a length of 10 is one too.
TEST(LinkDispatch, BinaryRepliesAreFramedByTheirLengthWhateverBytesTheyHold) {
    EXPECT_EQ(std::string("\xAA\xF0\x0C\x00\x03\x00\x04\x00\x01\x0A\r\n", 12), [] {
        std::string p("\xAA\xF0\x0C\x00\x03\x00\x04\x00\x01", 9);
        return p + '\x0A' + "\r\n";
    }());
    std::string stream;
    std::vector<std::string> sent;
    for (int block = 0; block <= 8; ++block) {
        for (int status = 0; status <= 3; ++status) {
            std::string p("\xAA\xF0\x0C\x00\x03\x00", 6);
            p += static_cast<char>(block);
            p += '\0';
            p += static_cast<char>(status);
            uint8_t sum = 0;
            for (std::size_t i = 2; i < p.size(); ++i) sum ^= static_cast<uint8_t>(p[i]);
            p += static_cast<char>(sum);
            p += "\r\n";
            sent.push_back(p);
            stream += p + kGga;
        }
    }
    const std::string ten("\xAA\xF0\x0A\x00\x02\x00\x24\x00\x26\r", 10);  // ends in CR, holds "$"
    sent.push_back(ten);
    stream += ten + kGga;
    // Not a packet's header: the line rule, and a "$" gives way to the sentence.
    stream += std::string("\xAA\x01\x02\n", 4) + std::string("\xAA\xF0\xFF") + kGga;
    sent.push_back(std::string("\xAA\x01\x02\n", 4));

    testsupport::RecordingSink sink;
    {
        CNmeaThread link("test", 0, &sink, nullptr);
        link.Start();
        link.FeedWithoutDrops(reinterpret_cast<const uint8_t*>(stream.data()), stream.size());
        link.Drain();
        EXPECT_TRUE(link.Dispatcher().Reply().Arrived(BinaryReply::kType3));
        link.Shutdown();
    }
    EXPECT_EQ(sink.Packets(), sent);
    EXPECT_EQ(PayloadsOf<GgaRecord>(sink.Messages(), 1025).size(), 36u + 2u);
    for (std::size_t i = 0; i < 36; ++i) {
        std::array<uint8_t, 100> reply{};
        std::copy(sent[i].begin(), sent[i].end(), reply.begin());
        BinaryReplyFields fields{};
        ASSERT_EQ(CheckBinaryReply(reply, fields), 0) << "reply " << i;
        EXPECT_EQ(fields.type, 3);
        EXPECT_EQ(fields.value, i / 4);
        EXPECT_EQ(fields.byte8, i % 4);
    }
}

// A file is not a live line: long sentences fill the ring long before the queue, and
// every one of them must still come out.
TEST(LinkDispatch, InputFedWithoutDropsLosesNoSentence) {
    const std::string gga = Sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9," + std::string(179, '0') +
                                     "545.4,M,46.9,M,,");
    ASSERT_EQ(gga.size(), 246u);
    std::string stream;
    for (int i = 0; i < 5000; ++i) stream += gga;
    EXPECT_EQ(PayloadsOf<GgaRecord>(RunThroughLink(stream), 1025).size(), 5000u);
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

    // A receiver that reports satellites yields satellite tables, each satellite once.
    const auto views = PayloadsOf<SatelliteViewSet>(messages, 1027);
    if (bytes.find("GSV,") != std::string::npos) {
        EXPECT_GT(views.size(), 0u);
    }
    for (const SatelliteViewSet& v : views) {
        std::set<std::pair<int, int>> seen;
        for (int i = 0; i < v.count; ++i) {
            EXPECT_NE(v.satellites[i].prn, 0);
            EXPECT_TRUE(seen.insert({v.satellites[i].system, v.satellites[i].prn}).second)
                << "system " << v.satellites[i].system << " PRN " << v.satellites[i].prn << " twice";
        }
    }
    for (const UsedSatelliteSet& u : PayloadsOf<UsedSatelliteSet>(messages, 1026))
        for (int i = 0; i < u.count; ++i) EXPECT_NE(u.system[i], gnss::kUnresolved) << "PRN " << u.prn[i];
}

INSTANTIATE_TEST_SUITE_P(Receivers, RealCapture,
                         ::testing::Values("GPSmap-76S.nmea", "quectel-eg25-g.nmea", "quectel-l76k-nmea.nmea",
                                           "sirfstarv-nmea.nmea", "skytraq.nmea", "st-teseo-liv3f.nmea",
                                           "telit-he910.nmea", "tr737a-plus.nmea", "ublox-zed-f9p-nmea.nmea"));
