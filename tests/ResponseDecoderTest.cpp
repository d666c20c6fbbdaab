#include <gtest/gtest.h>

#include <string>

#include "Nmea.h"
#include "ResponseDecoder.h"

namespace {

// The lines a reply adds, without the CR LF after each.
std::vector<std::string> Decode(const std::string& body) {
    std::string sentence = testsupport::Sentence(body);
    sentence.pop_back();  // the link hands over "$" through CR
    std::string text;
    DecodeResponse(sentence.data(), text);
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto end = text.find("\r\n", at);
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(ResponseDecoder, StatusReplyNamesTheCommandAndItsOutcome) {
    EXPECT_EQ(Decode("PZRC001,030,3"),
              (Lines{"[Receive] 001", "[Respond] 030", "Status: Valid packet, action succeeded", ""}));
    EXPECT_EQ(Decode("PZRC001,115,1")[2], "Status: Unsupported packet");
    EXPECT_EQ(Decode("PZRC001,115,7")[2], "Status: Undefined packet");
    EXPECT_EQ(Decode("PZRC000"), (Lines{"[Receive] 000", ""}));
}

TEST(ResponseDecoder, UnknownNumbersAddNothingAndBadNumbersSaySo) {
    EXPECT_TRUE(Decode("PZRC999,1,2").empty());
    char bad[] = "$PZRCX1,5*00\r";
    std::string text;
    DecodeResponse(bad, text);
    EXPECT_EQ(text, "Invalid Packet: $PZRCX1,5*00\r\n\r\n");
}

TEST(ResponseDecoder, NumericRepliesWithUnitsScalesAndNamedValues) {
    EXPECT_EQ(Decode("PZRC229,5,10,20"),
              (Lines{"[Receive] 229", "Min Code Lock: 50 msec", "Min Freq Lock: 100 msec", "Min Carr Lock: 200 msec", ""}));
    EXPECT_EQ(Decode("PZRC214,2,5,9"),
              (Lines{"[Receive] 214", "Number of inhibited SV: 2", "SVID: 5", "SVID: 9", ""}));
    EXPECT_EQ(Decode("PZRC208,13")[1], "Mode: Undefined");
    EXPECT_EQ(Decode("PZRC208,7")[1], "Mode: Airbourne High dynamics  (<4g)");
    EXPECT_EQ(Decode("PZRC202,1000,2000.9,-3.7")[2], "Duration: 2000 msec");
    EXPECT_EQ(Decode("PZRC202,1000,2000.9,-3.7")[3], "RunInterval: -3 msec");
    EXPECT_EQ(Decode("PZRC202,1")[5], "VAcc: 0 m");  // absent fields read 0
    EXPECT_EQ(Decode("PZRC259,257")[1], "Integrity Mode: Don't use testing SBAS ");
    EXPECT_EQ(Decode("PZRC268,256")[1], "Mode: OFF");
    EXPECT_EQ(Decode("PZRC241,0.5")[1], "Mode: Enabled");
    EXPECT_EQ(Decode("PZRC457,3,9,115200"),
              (Lines{"[Receive] 457", "InType: TVX NMEA", "OutType: UNKNOW", "Baudrate:115200", ""}));
    const Lines nav = Decode("PZRC437,5,4,1,0,8,9,0,0,0,42,2,1,0,2,2,2,2,2,2,3");
    ASSERT_EQ(nav.size(), 22u);
    EXPECT_EQ(nav[1], "Pos_FixType: SV_3D");
    EXPECT_EQ(nav[3], "KF_Soln: YES");
    EXPECT_EQ(nav[10], "JNo: 42 dBHz");
    EXPECT_EQ(nav[11], "TSync: INT_MEAS");
    EXPECT_EQ(nav[20], "DTrack: Undefined");
}

TEST(ResponseDecoder, CountAbove47IsBoundedByTheFieldsThereAre) {
    std::string body = "PZRC214,1000";
    for (int i = 0; i < 60; ++i) body += "," + std::to_string(i);
    const Lines lines = Decode(body);
    EXPECT_EQ(lines.size(), 1u + 1u + 47u + 1u);
    EXPECT_EQ(lines[48], "SVID: 46");
}

TEST(ResponseDecoder, TextReplies) {
    EXPECT_EQ(Decode("PZRC461,V1.2"), (Lines{"[Receive] 461", "Version:V1.2", ""}));
    EXPECT_EQ(Decode("PZRC463,2026-05-07"), (Lines{"[Receive] 463", "Release:2026-05-07", ""}));
    std::string eph = "PZRC473,1a";
    for (int i = 1; i <= 24; ++i) eph += i == 9 ? ",00AB1234" : "," + std::to_string(i);
    const Lines lines = Decode(eph);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[1], "PRN Number:1A");
    EXPECT_EQ(lines[2], "IODE:171");
    EXPECT_EQ(lines[3], "SF1: 1 2 3 4 5 6 7 8 ");
    EXPECT_EQ(lines[4], "SF2: 00AB1234 10 11 12 13 14 15 16 ");
    EXPECT_EQ(Decode("PZRC475,b,3f,1,2,3,4,5,6,7,8"),
              (Lines{"[Receive] 475", "PRN Number:B", "Week Number:3F", "1 2 3 4 5 6 7 8 ", ""}));
    EXPECT_EQ(Decode("PZRC305,00001000,DEADBEEF"),
              (Lines{"[Receive] 305", "Addr:00001000", "Value:DEADBEEF", ""}));
    const std::string longText(200, 'v');
    EXPECT_EQ(Decode("PZRC461," + longText)[1], "Version:" + longText.substr(0, 127));
}
