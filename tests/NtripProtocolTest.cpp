// RTCM 3 framing and the NTRIP protocol's text, on golden bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/link/NtripProtocol.h"
#include "monitor/link/ReceiverState.h"
#include "monitor/link/Rtcm3Framer.h"
#include "monitor/link/StandardParsers.h"

namespace {

// Message 1005 of station 2003, the example frame printed in public RTCM 3 guides; its
// CRC-24Q (0x360B98) is the last three bytes.
const std::vector<uint8_t> kFrame1005 = {0xD3, 0x00, 0x13, 0x3E, 0xD7, 0xD3, 0x02, 0x02, 0x98, 0x0E, 0xDE, 0xEF, 0x34,
                                         0xB4, 0xBD, 0x62, 0xAC, 0x09, 0x41, 0x98, 0x6F, 0x33, 0x36, 0x0B, 0x98};
// The empty frame casters send as a keep-alive.
const std::vector<uint8_t> kEmptyFrame = {0xD3, 0x00, 0x00, 0x47, 0xEA, 0x4B};

struct Taken {
    std::vector<std::vector<uint8_t>> frames;
    std::vector<int> types;
};

Taken FeedInPieces(rtcm::Rtcm3Framer& framer, const std::vector<uint8_t>& stream, std::size_t cut) {
    Taken taken;
    const auto keep = [&](std::span<const uint8_t> f, int type) {
        taken.frames.emplace_back(f.begin(), f.end());
        taken.types.push_back(type);
    };
    framer.Feed(std::span(stream).first(cut), keep);
    framer.Feed(std::span(stream).subspan(cut), keep);
    return taken;
}

}  // namespace

TEST(Rtcm3Framer, CrcAndFrameBuildingMatchPublishedBytes) {
    EXPECT_EQ(rtcm::Crc24q(std::span(kFrame1005).first(22)), 0x360B98u);
    EXPECT_EQ(rtcm::BuildFrame(std::span(kFrame1005).subspan(3, 19)), kFrame1005);
    EXPECT_EQ(rtcm::BuildFrame({}), kEmptyFrame);
    EXPECT_EQ(rtcm::MessageType(std::span(kFrame1005).subspan(3)), 1005);
}

// Garbage, a good frame, the same frame with one payload bit flipped, the empty frame: at
// every cut the good ones come out whole, the damaged one is counted once and not given.
TEST(Rtcm3Framer, StreamSplitAtEveryByteGivesGoodFramesAndCountsTheBadOne) {
    std::vector<uint8_t> stream = {'x', 0xD3, 0xFF, 'y'};  // a preamble with reserved bits set: no frame
    stream.insert(stream.end(), kFrame1005.begin(), kFrame1005.end());
    std::vector<uint8_t> bad = kFrame1005;
    bad[10] ^= 0x01;
    stream.insert(stream.end(), bad.begin(), bad.end());
    stream.insert(stream.end(), kEmptyFrame.begin(), kEmptyFrame.end());
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        rtcm::Rtcm3Framer framer;
        const Taken taken = FeedInPieces(framer, stream, cut);
        ASSERT_EQ(taken.frames.size(), 2u) << "cut at " << cut;
        EXPECT_EQ(taken.frames[0], kFrame1005);
        EXPECT_EQ(taken.frames[1], kEmptyFrame);
        EXPECT_EQ(taken.types, (std::vector<int>{1005, -1}));
        const rtcm::FramerCounts& c = framer.Counts();
        EXPECT_EQ(c.goodFrames, 2u);
        EXPECT_EQ(c.badFrames, 1u);
        EXPECT_EQ(c.skippedBytes, 4u + bad.size());
        EXPECT_EQ(c.types.at(1005).messages, 1u);
        EXPECT_EQ(c.types.at(1005).bytes, 25u);
        EXPECT_FALSE(framer.Holding());
    }
}

TEST(NtripProtocol, RequestsOfBothVersionsWithBasicAuthentication) {
    EXPECT_EQ(ntrip::Base64("Aladdin:open sesame"), "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
    EXPECT_EQ(ntrip::Base64("u:pw"), "dTpwdw==");
    EXPECT_EQ(ntrip::BuildRequest({"caster.example", 2101, "SIM1", "u:pw", 1}),
              "GET /SIM1 HTTP/1.0\r\nHost: caster.example:2101\r\nUser-Agent: NTRIP skyLedger-zrctl/1.2\r\n"
              "Authorization: Basic dTpwdw==\r\n\r\n");
    EXPECT_EQ(ntrip::BuildRequest({"caster.example", 2101, "", "", 2}),
              "GET / HTTP/1.1\r\nHost: caster.example:2101\r\nNtrip-Version: Ntrip/2.0\r\n"
              "User-Agent: NTRIP skyLedger-zrctl/1.2\r\nConnection: close\r\n\r\n");
}

TEST(NtripProtocol, ReplyHeadsSayWhatFollowsAndWhereItStarts) {
    struct Case {
        const char* received;
        ntrip::ReplyKind kind;
        bool chunked;
        std::size_t headBytes;
    };
    const Case cases[] = {
        {"ICY 200 OK\r\n\xD3", ntrip::ReplyKind::Stream, false, 12},
        {"ICY 200 OK\r\n\r\n\xD3", ntrip::ReplyKind::Stream, false, 14},
        {"HTTP/1.1 200 OK\r\nNtrip-Version: Ntrip/2.0\r\ntransfer-encoding: Chunked\r\n\r\n1",
         ntrip::ReplyKind::Stream, true, 73},
        {"SOURCETABLE 200 OK\r\nContent-Type: text/plain\r\n\r\nSTR", ntrip::ReplyKind::SourceTable, false, 48},
        {"HTTP/1.1 200 OK\r\nContent-Type: gnss/sourcetable\r\n\r\n", ntrip::ReplyKind::SourceTable, false, 51},
        {"HTTP/1.1 401 Unauthorized\r\n\r\n", ntrip::ReplyKind::Unauthorized, false, 29},
        {"HTTP/1.1 404 Not Found\r\n\r\n", ntrip::ReplyKind::NotFound, false, 26},
        {"HTTP/1.0 503 Busy\r\n\r\n", ntrip::ReplyKind::Refused, false, 21},
    };
    for (const Case& c : cases) {
        ntrip::ReplyHead head;
        ASSERT_TRUE(ntrip::ParseReplyHead(c.received, head)) << c.received;
        EXPECT_EQ(head.kind, c.kind) << c.received;
        EXPECT_EQ(head.chunked, c.chunked) << c.received;
        EXPECT_EQ(head.headBytes, c.headBytes) << c.received;
    }
    ntrip::ReplyHead head;
    EXPECT_FALSE(ntrip::ParseReplyHead("HTTP/1.1 200 OK\r\nContent-Type: gnss/data\r\n", head));
    EXPECT_FALSE(ntrip::ParseReplyHead("ICY 200 OK\r\n", head));
}

TEST(NtripProtocol, ChunkedBodySplitAtEveryByteDecodesAndABrokenOneIsSeen) {
    const std::string body = "4\r\nWiki\r\n5;ext=1\r\npedia\r\nE\r\n in\r\n\r\nchunks.\r\n0\r\n\r\n";
    for (std::size_t cut = 0; cut <= body.size(); ++cut) {
        ntrip::ChunkedDecoder decoder;
        std::string out;
        ASSERT_TRUE(decoder.Feed(std::string_view(body).substr(0, cut), out));
        ASSERT_TRUE(decoder.Feed(std::string_view(body).substr(cut), out));
        EXPECT_EQ(out, "Wikipedia in\r\n\r\nchunks.") << "cut at " << cut;
        EXPECT_TRUE(decoder.Ended());
    }
    ntrip::ChunkedDecoder decoder;
    std::string out;
    EXPECT_FALSE(decoder.Feed("4\r\nWikiXX", out));
}

TEST(NtripProtocol, SourceTableGivesMountpointsFormatsAndNmeaFlags) {
    const std::string table =
        "CAS;caster.example;2101;Example;Op;0;DEU;50.1;8.7;0.0.0.0;0;http://example\r\n"
        "NET;NET1;Op;B;N;http://a;http://b;c@example;\r\n"
        "STR;RTK1;Frankfurt;RTCM 3.2;1004(1),1005(5);2;GPS;NET1;DEU;50.12;8.68;1;0;sNTRIP;none;B;N;5000;\r\n"
        "STR;OBS2;Bonn;RTCM 3.3;1077(1);2;GPS;NET1;DEU;50.73;7.10;0;0;sNTRIP;none;N;N;2400;\n"
        "ENDSOURCETABLE\r\n";
    const auto mounts = ntrip::ParseSourceTable(table);
    ASSERT_EQ(mounts.size(), 2u);
    EXPECT_EQ(mounts[0].name, "RTK1");
    EXPECT_EQ(mounts[0].format, "RTCM 3.2");
    EXPECT_TRUE(mounts[0].wantsNmea);
    EXPECT_EQ(mounts[1].name, "OBS2");
    EXPECT_FALSE(mounts[1].wantsNmea);
    EXPECT_TRUE(ntrip::SourceTableEnded(table));
    EXPECT_FALSE(ntrip::SourceTableEnded(table.substr(0, 200)));
}

TEST(NtripProtocol, GgaForTheCasterCarriesTheModulesFix) {
    GgaRecord gga{};
    ASSERT_TRUE(ParseGga("$GPGGA,092750.000,5321.6802,N,00630.3372,W,4,8,1.03,61.7,M,55.2,M,,*73", gga));
    EXPECT_EQ(ntrip::GgaForCaster(gga), "$GPGGA,092750.00,5321.68020,N,00630.33720,W,4,08,1.0,61.7,M,55.2,M,,*40\r\n");
}
