#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "monitor/link/NmeaFields.h"
#include "monitor/link/ProprietaryParsers.h"
#include "monitor/link/StandardParsers.h"
#include "monitor/link/StandardSentences.h"

TEST(Fields, SplitCountsCommasAndEndsAtTheLastStar) {
    FieldSlots f;
    EXPECT_EQ(SplitFields("$GPVTG,054.7,T,,M,005.5,N,010.2,K*48", f), 8);
    EXPECT_EQ(f[0], "054.7");
    EXPECT_EQ(f[2], "");
    EXPECT_EQ(f[7], "K");
    EXPECT_EQ(SplitFields("$GPVTG,1,2", f), -1);  // no '*'
    // Every text the link keeps, "$" through CR, splits; a longer one never reaches here.
    const std::string longest = "$X," + std::string(kMaxSentenceText - 7, 'a') + "*00\r";
    ASSERT_EQ(longest.size(), static_cast<std::size_t>(kMaxSentenceText));
    EXPECT_EQ(SplitFields(longest, f), 1);
    EXPECT_EQ(f[0], std::string(kFieldWidth, 'a'));
    EXPECT_EQ(SplitFields("$X,a" + longest.substr(3), f), -1);
    EXPECT_EQ(SplitFields("$GPTXT,0123456789abcdefXYZ,b*00", f), 2);
    EXPECT_EQ(f[0], "0123456789abcdef");  // cut to 16 characters
    std::string many = "$X";
    for (int i = 0; i < 100; ++i) many += ",1";
    EXPECT_EQ(SplitFields(many + "*00", f), kMaxFields);
}

TEST(Fields, NumberChecks) {
    EXPECT_TRUE(IsInteger("-12"));
    EXPECT_FALSE(IsInteger("1-2"));
    EXPECT_FALSE(IsInteger(""));
    EXPECT_FALSE(IsInteger("1.0"));
    EXPECT_TRUE(IsDecimal("-1.5"));
    EXPECT_FALSE(IsDecimal("1.2.3"));
    EXPECT_FALSE(IsDecimal("1e3"));
    EXPECT_FALSE(IsDecimal(std::string(257, '1')));
}

TEST(ParseGga, SouthernLatitudeSplitsIntoSignedParts) {
    GgaRecord r;
    ASSERT_TRUE(ParseGga("$GPGGA,123519.50,4807.038,S,01131.000,W,1,08,0.9,545.4,M,46.9,M,,*6C", r));
    EXPECT_EQ(r.hour, 12);
    EXPECT_EQ(r.minute, 35);
    EXPECT_FLOAT_EQ(r.second, 19.5f);
    EXPECT_EQ(r.latitudeDegrees, -48);
    EXPECT_EQ(r.latitudeMinutes, -7);
    EXPECT_NEAR(r.latitudeSeconds, -2.28, 1e-6);
    EXPECT_NEAR(r.latitude, -48.1173, 1e-6);
    EXPECT_EQ(r.northSouth, 'S');
    EXPECT_NEAR(r.longitude, -11.516666667, 1e-6);
    EXPECT_EQ(r.fixQuality, 1);
    EXPECT_EQ(r.satellitesUsed, 8);
    EXPECT_FLOAT_EQ(r.hdop, 0.9f);
    EXPECT_FLOAT_EQ(r.altitude, 545.4f);
    EXPECT_FLOAT_EQ(r.geoidSeparation, 46.9f);
}

TEST(ParseGga, WholeMinutesNeverSplitIntoSixtySeconds) {
    for (int minute = 0; minute < 60; ++minute) {
        char value[16];
        std::snprintf(value, sizeof value, "48%02d.000", minute);
        const Coordinate c = ParseCoordinateDms(value, 'N');
        EXPECT_EQ(c.degrees, 48);
        EXPECT_EQ(c.minutes, minute) << value;
        EXPECT_NEAR(c.seconds, 0.0, 1e-6) << value;
        EXPECT_NEAR(c.decimal, 48 + minute / 60.0, 1e-12) << value;
    }
    const Coordinate zero = ParseCoordinateDms("01131.000", 'W');
    EXPECT_FALSE(std::signbit(zero.seconds));  // only non-zero parts turn negative
    EXPECT_EQ(zero.minutes, -31);
    const Coordinate almost = ParseCoordinateDms("01131.99999", 'W');
    EXPECT_EQ(almost.minutes, -31);
    EXPECT_NEAR(almost.seconds, -59.9994, 1e-6);
}

TEST(ParseGga, RulesForTimeQualityAndSatelliteCount) {
    GgaRecord r;
    EXPECT_FALSE(ParseGga("$GPGGA,,,,,,0,00,99.99,,,,,,*48", r));  // no time before a fix
    ASSERT_TRUE(ParseGga("$GPGGA,000001,,,,,0,0A,,,,,,,*00", r));
    EXPECT_EQ(r.satellitesUsed, 10);  // hexadecimal digit after a zero
    EXPECT_EQ(r.latitude, 0.0);
    ASSERT_TRUE(ParseGga("$GPGGA,000001,,,,,,1X,,,,,,,*00", r));
    EXPECT_EQ(r.satellitesUsed, 0);
    EXPECT_EQ(r.fixQuality, 0);
    EXPECT_FALSE(ParseGga("$GPGGA,000001,,,,,Q,08,,,,,,,*00", r));  // quality not a number
    EXPECT_FALSE(ParseGga("$GPGGA,000001,,,,,1,08,,,,,,*00", r));   // 13 fields
    ASSERT_TRUE(ParseGga("$GPGGA,000001,99999999999999999999,N,,,1,08,,,,,,,*00", r));  // saturates
}

TEST(ParseGsa, TalkerLayoutsAndSystems) {
    GsaSentence g;
    ASSERT_TRUE(ParseGsa("$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39", g));
    EXPECT_EQ(g.system, gnss::kGps);
    EXPECT_EQ(g.mode, 'A');
    EXPECT_EQ(g.fixType, '3');
    ASSERT_EQ(g.count, 5);
    EXPECT_EQ(g.prn[4], 24);
    EXPECT_FLOAT_EQ(g.pdop, 2.5f);
    EXPECT_FLOAT_EQ(g.vdop, 2.1f);

    // NMEA 4.10: 12 satellites, three DOPs and a system id.
    ASSERT_TRUE(ParseGsa("$GNGSA,A,3,82,66,81,,,,,,,,,,1.05,0.64,0.83,2*0C", g));
    EXPECT_EQ(g.count, 3);
    EXPECT_FLOAT_EQ(g.pdop, 1.05f);
    EXPECT_FLOAT_EQ(g.hdop, 0.64f);
    EXPECT_FLOAT_EQ(g.vdop, 0.83f);
    EXPECT_EQ(g.system, gnss::kGlonass);

    // The module's own 18-field form: 13 satellite fields.
    ASSERT_TRUE(ParseGsa("$BDGSA,A,3,01,02,03,04,05,06,07,08,09,10,11,12,13,1.1,0.7,0.9*00", g));
    EXPECT_EQ(g.count, 13);
    EXPECT_EQ(g.system, gnss::kBeiDou);
    EXPECT_FLOAT_EQ(g.pdop, 1.1f);

    ASSERT_TRUE(ParseGsa("$GNGSA,A,3,01,02,,,,,,,,,,,1.1,0.7,0.9*00", g));
    EXPECT_EQ(g.system, gnss::kUnresolved);
    std::string wide = "$GAGSA,A,3";
    for (int i = 1; i <= 32; ++i) wide += "," + std::to_string(i);
    ASSERT_TRUE(ParseGsa(wide + ",1.1,0.7,0.9,3*00", g));
    EXPECT_EQ(g.count, 32);
    EXPECT_FLOAT_EQ(g.hdop, 0.7f);
    // 4.10 before a fix (empty DOPs) and with "no DOP" as 99: neither DOP is a satellite.
    ASSERT_TRUE(ParseGsa("$GNGSA,A,1,,,,,,,,,,,,,,,,1*1D", g));
    EXPECT_EQ(g.count, 0);
    EXPECT_EQ(g.vdop, 0.0f);
    EXPECT_EQ(g.system, gnss::kGps);
    ASSERT_TRUE(ParseGsa("$GNGSA,A,1,,,,,,,,,,,,,99,99,99,4*00", g));
    EXPECT_EQ(g.count, 0);
    EXPECT_FLOAT_EQ(g.pdop, 99.0f);
    EXPECT_EQ(g.system, gnss::kBeiDou);

    EXPECT_FALSE(ParseGsa("$GQGSA,A,3,01,,,,,,,,,,,,1.1,0.7,0.9*00", g));  // unknown talker
    EXPECT_FALSE(ParseGsa("$GPGSA,A,3,01,1.1,0.7,0.9*00", g));
}

TEST(ParseQsa, QzssNumbersMapToTheGpsTalkersRange) {
    GsaSentence g;
    ASSERT_TRUE(ParseQsa("$QZQSA,1,A,3,01,03,55,,,,,,,,,,1.8,1.0,1.5*00", g));
    EXPECT_EQ(g.system, gnss::kQzss);
    EXPECT_EQ(g.leadingFlag, '1');
    ASSERT_EQ(g.count, 3);
    EXPECT_EQ(g.prn[0], 193);
    EXPECT_EQ(g.prn[1], 195);
    EXPECT_EQ(g.prn[2], 183);
    EXPECT_FALSE(ParseQsa("$QZQSA,1,A,3,07,,,,,,,,,,,,1.8,1.0,1.5*00", g));
    EXPECT_FALSE(ParseQsa("$GBQSA,1,A,3,01,,,,,,,,,,,,1.8,1.0,1.5*00", g));
}

TEST(ParseGsv, SatellitesStatisticsAndSystems) {
    GsvRecord r;
    ASSERT_TRUE(ParseGsv("$GPGSV,3,1,11,03,03,111,00,40,15,270,35,195,01,010,41,13,06,292,*74", r));
    EXPECT_EQ(r.totalSentences, 3);
    EXPECT_EQ(r.sentenceNumber, 1);
    EXPECT_EQ(r.satellitesInView, 11);
    ASSERT_EQ(r.count, 4);
    EXPECT_EQ(r.satellites[0].system, gnss::kGps);
    EXPECT_EQ(r.satellites[1].system, gnss::kSbas);
    EXPECT_EQ(r.satellites[2].prn, 195);
    EXPECT_EQ(r.satellites[2].system, gnss::kQzss);
    EXPECT_EQ(r.satellites[3].snr, 0);
    EXPECT_EQ(r.trackedCount, 2);
    EXPECT_EQ(r.highestSnr, 41);
    EXPECT_EQ(r.lowestSnr, 35);

    ASSERT_TRUE(ParseGsv("$QZGSV,1,1,01,03,50,120,44.7*00", r));
    EXPECT_EQ(r.satellites[0].prn, 195);
    EXPECT_EQ(r.satellites[0].system, gnss::kQzss);
    EXPECT_EQ(r.satellites[0].snr, 44);
    EXPECT_FALSE(ParseGsv("$QZGSV,1,1,01,07,50,120,44*00", r));

    // NMEA 4.10 signal id after the satellites; an empty group.
    ASSERT_TRUE(ParseGsv("$GLGSV,3,3,10,87,14,030,17,88,62,024,,1*74", r));
    EXPECT_EQ(r.count, 2);
    EXPECT_EQ(r.satellites[1].system, gnss::kGlonass);
    // Empty slots that pad the last sentence are no satellites (and no PRN 0).
    ASSERT_TRUE(ParseGsv("$GLGSV,3,3,10,71,23,216,,72,43,277,,,,,,,,,*00", r));
    EXPECT_EQ(r.count, 2);
    ASSERT_TRUE(ParseGsv("$QZGSV,1,1,01,03,50,120,44,,,,*00", r));
    EXPECT_EQ(r.count, 1);
    ASSERT_TRUE(ParseGsv("$GPGSV,1,1,02,00,50,120,44,07,10,20,30*00", r));
    ASSERT_EQ(r.count, 1);
    EXPECT_EQ(r.satellites[0].prn, 7);
    EXPECT_FALSE(ParseGsv("$QZGSV,1,1,02,00,50,120,44,03,10,20,30*00", r));  // QZSS has no 0
    ASSERT_TRUE(ParseGsv("$GAGSV,1,1,00,7*73", r));
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(r.lowestSnr, 0);

    EXPECT_FALSE(ParseGsv("$GPGSV,10,1,11,03,03,111,00*00", r));  // total above 9
    EXPECT_FALSE(ParseGsv("$GPGSV,9,1,33,03,03,111,00*00", r));   // 33 in view
    EXPECT_FALSE(ParseGsv("$GPGSV,1,1,05,03,03,111,00*00", r));   // more than 4 per sentence
    EXPECT_FALSE(ParseGsv("$GPGSV,1,2,01,03,03,111,00*00", r));   // number above total
    EXPECT_FALSE(ParseGsv("$GPGSV,1,1,01,03,03,111*00", r));      // 6 fields
}

TEST(ParseRmc, DateCenturyAndRequiredFields) {
    RmcRecord r;
    ASSERT_TRUE(ParseRmc("$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,010599,003.1,W*6A", r));
    EXPECT_EQ(r.year, 1999);
    EXPECT_EQ(r.month, 5);
    EXPECT_EQ(r.day, 1);
    EXPECT_EQ(r.status, 'A');
    EXPECT_EQ(r.latitudeDegrees, 48);
    EXPECT_NEAR(r.latitudeMinutes, 7.038, 1e-9);
    EXPECT_EQ(r.longitudeDegrees, 11);
    EXPECT_FLOAT_EQ(r.speedKnots, 22.4f);
    EXPECT_FLOAT_EQ(r.magneticVariation, 3.1f);
    EXPECT_EQ(r.variationDirection, 'W');
    ASSERT_TRUE(ParseRmc("$GNRMC,003956.00,A,4552.65403,S,17030.00668,W,0.025,,010520,,,A,V*07", r));
    EXPECT_EQ(r.year, 2020);
    EXPECT_EQ(r.latitudeDegrees, -45);
    EXPECT_NEAR(r.latitudeMinutes, -52.65403, 1e-9);
    EXPECT_EQ(r.longitudeDegrees, -170);
    EXPECT_EQ(r.mode, 'A');
    EXPECT_FALSE(ParseRmc("$GPRMC,123519,V,,,,,,,,,,N*00", r));  // no date yet
    EXPECT_FALSE(ParseRmc("$GPRMC,,V,,,,,,,010520,,,N*00", r));  // no time
}

// Fifteen digits fit a plain number; their degrees fit no int32_t, and the hemisphere
// must not turn the lowest one into an overflow on the way to the other sign.
TEST(ParseRmc, CoordinatesBeyondAnyIntegerSaturateOnTheirHemispheresSide) {
    RmcRecord r;
    ASSERT_TRUE(ParseRmc("$GPRMC,123519,A,-999999999999999,S,-999999999999999,W,0,0,230394,,*00", r));
    EXPECT_EQ(r.latitudeDegrees, INT16_MAX);
    EXPECT_EQ(r.longitudeDegrees, INT32_MAX);
    ASSERT_TRUE(ParseRmc("$GPRMC,123519,A,999999999999999,S,-999999999999999,E,0,0,230394,,*00", r));
    EXPECT_EQ(r.latitudeDegrees, INT16_MIN);
    EXPECT_EQ(r.longitudeDegrees, INT32_MIN);
    ASSERT_TRUE(ParseRmc("$GPRMC,123519,A,-4807.038,S,-01131.000,W,0,0,230394,,*00", r));
    EXPECT_EQ(r.latitudeDegrees, 48);
    EXPECT_NEAR(r.latitudeMinutes, 7.038, 1e-9);
    EXPECT_EQ(r.longitudeDegrees, 11);
    GllRecord g;
    ASSERT_TRUE(ParseGll("$GPGLL,-999999999999999,N,-999999999999999,W,225444,A*00", g));
    EXPECT_EQ(g.latitudeDegrees, INT16_MIN);
    EXPECT_EQ(g.longitudeDegrees, INT32_MAX);
    GgaRecord gga;
    ASSERT_TRUE(ParseGga("$GPGGA,123519,-999999999999999,S,999999999999999,W,1,08,0.9,545.4,M,46.9,M,,*00", gga));
    EXPECT_EQ(gga.latitudeDegrees, INT16_MAX);
    EXPECT_EQ(gga.longitudeDegrees, -INT16_MAX);
}

TEST(ParseVtgAndGll, FieldsInPlace) {
    VtgRecord v;
    ASSERT_TRUE(ParseVtg("$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A*25", v));
    EXPECT_FLOAT_EQ(v.courseTrue, 54.7f);
    EXPECT_FLOAT_EQ(v.courseMagnetic, 34.4f);
    EXPECT_FLOAT_EQ(v.speedKnots, 5.5f);
    EXPECT_FLOAT_EQ(v.speedKmh, 10.2f);
    EXPECT_EQ(v.mode, 'A');
    ASSERT_TRUE(ParseVtg("$GPVTG,,T,,M,0.0,N,0.0,K*4E", v));
    EXPECT_EQ(v.mode, '\0');
    GllRecord g;
    ASSERT_TRUE(ParseGll("$GPGLL,4916.45,N,12311.12,W,225444,A,A*5C", g));
    EXPECT_EQ(g.latitudeDegrees, 49);
    EXPECT_NEAR(g.latitudeMinutes, 16.45, 1e-9);
    EXPECT_EQ(g.longitudeDegrees, -123);
    EXPECT_STREQ(g.utcTime, "225444");
    EXPECT_EQ(g.status, 'A');
    EXPECT_EQ(g.mode, 'A');
    EXPECT_FALSE(ParseGll("$GPGLL,4916.45,N,12311.12,W*00", g));
}

TEST(ProprietaryParsers, CountsAreBoundedByTheirLists) {
    ProprietaryRecords r{};
    std::string alm = "254";
    for (int i = 0; i < 100; ++i) alm += ",1";
    ASSERT_TRUE(ProprietaryParserFor(sentence::kAlm)(alm + "*00", r));
    EXPECT_EQ(r.alm.count, 63);
    EXPECT_FALSE(ProprietaryParserFor(sentence::kAlm)("3,1,x,0*00", r));
    ASSERT_TRUE(ProprietaryParserFor(sentence::kDgp)("2,1.5,2.5*00", r));
    EXPECT_EQ(r.dgp.count, 2);
    EXPECT_DOUBLE_EQ(r.dgp.values[1], 2.5);
    EXPECT_TRUE(ProprietaryParserFor(sentence::kPmc)("1,2,3,4,5,6,7,8,9,10,11*00", r));
    EXPECT_FALSE(ProprietaryParserFor(sentence::kPmc)("1,2,3,4,5,6,7,8,9,10,1.1*00", r));
    ASSERT_TRUE(ProprietaryParserFor(sentence::kGptxt)("01,01,02,ANTSTATUS=OK*3B", r));
    EXPECT_STREQ(r.txt.text, "ANTSTATUS=OK");
    EXPECT_EQ(ProprietaryParserFor(sentence::kGga), nullptr);
}

TEST(ProprietaryParsers, WbgTableIsCompleteOnlyAtItsLastPart) {
    ProprietaryRecords r{};
    const auto wbg = ProprietaryParserFor(sentence::kWbg);
    ASSERT_TRUE(wbg("1,2,1,1,2,3,4,5,6*00", r));
    EXPECT_TRUE(IsIncompleteWbg(r.wbg));
    EXPECT_EQ(r.wbg.count, 2);
    ASSERT_TRUE(wbg("1,2,2,7,8,9*00", r));
    EXPECT_FALSE(IsIncompleteWbg(r.wbg));
    EXPECT_EQ(r.wbg.count, 3);
    ASSERT_TRUE(wbg("2,1,1,5,10,20,30,40,50*00", r));
    EXPECT_DOUBLE_EQ(r.wbg.entries[0][0], 5);
    EXPECT_DOUBLE_EQ(r.wbg.entries[0][1], 1.0);
    EXPECT_FALSE(wbg("3,1,1*00", r));
}

TEST(Fields, NumberConversionsAgreeWithTheCLibrary) {
    uint64_t seed = 12345;
    auto next = [&] { return seed = seed * 6364136223846793005ULL + 1442695040888963407ULL; };
    for (int i = 0; i < 20000; ++i) {
        std::string text = (next() >> 63) ? "-" : "";
        const int digits = 1 + static_cast<int>(next() >> 60);  // 1..16
        const int point = static_cast<int>(next() >> 59) % (digits + 2);
        for (int d = 0; d < digits; ++d) {
            if (d == point) text += '.';
            text += static_cast<char>('0' + (next() >> 60) % 10);
        }
        EXPECT_EQ(FieldDouble(text), std::strtod(text.c_str(), nullptr)) << text;
        if (text.find('.') == std::string::npos && text.size() < 10) {
            EXPECT_EQ(FieldInt(text), std::strtol(text.c_str(), nullptr, 10)) << text;
        }
    }
    EXPECT_EQ(FieldInt("12.9"), 12);
    EXPECT_EQ(FieldInt(" 7"), 7);
    EXPECT_EQ(FieldInt("99999999999"), INT32_MAX);
    EXPECT_EQ(FieldDouble("1e3"), 1000.0);
    EXPECT_EQ(FieldDouble(""), 0.0);
    EXPECT_EQ(FieldInt(FieldList()[0]), 0);  // a field past the last one has no characters at all
    EXPECT_EQ(FieldDouble(FieldList()[0]), 0.0);
}

TEST(Fields, ListReadsAsSlots) {
    uint64_t seed = 777;
    auto next = [&] { return seed = seed * 6364136223846793005ULL + 1442695040888963407ULL; };
    const std::string alphabet("0123456789.-,,,,**AZ \0\x80", 24);
    for (int i = 0; i < 5000; ++i) {
        std::string text = "$GPGSV";
        const int length = static_cast<int>(next() >> 56);  // 0..255, some over the limit
        for (int k = 0; k < length; ++k) text += alphabet[(next() >> 33) % alphabet.size()];
        if (next() >> 63) text += "*00";
        FieldSlots slots;
        FieldList list;
        const int n = SplitFields(text, slots);
        ASSERT_EQ(SplitFields(text, list), n) << text;
        EXPECT_EQ(list.Count(), std::max(n, 0));
        for (int f = 0; f < n; ++f) EXPECT_EQ(list[f], slots[f]) << text << " field " << f;
        EXPECT_EQ(list[std::max(n, 0)], "");
    }
}

TEST(Fields, CombinedChecksAgreeWithTheSeparateOnes) {
    uint64_t seed = 4242;
    auto next = [&] { return seed = seed * 6364136223846793005ULL + 1442695040888963407ULL; };
    const std::string alphabet = "0123456789-.+e x";
    for (int i = 0; i < 50000; ++i) {
        std::string text;
        const int length = static_cast<int>(next() >> 59);  // 0..31
        for (int k = 0; k < length; ++k) {
            // Mostly digits, so that many of the texts are numbers.
            const uint64_t r = next();
            text += (r >> 62) ? alphabet[(r >> 40) % 10] : alphabet[(r >> 40) % alphabet.size()];
        }
        int32_t integer = -7;
        ASSERT_EQ(IntegerField(text, integer), IsInteger(text)) << text;
        EXPECT_EQ(integer, IsInteger(text) ? FieldInt(text) : -7) << text;
        EXPECT_EQ(FieldInt(text), LongFieldInt(text)) << text;
        double decimal = -7;
        ASSERT_EQ(DecimalField(text, decimal), IsDecimal(text)) << text;
        const double expected = IsDecimal(text) ? FieldDouble(text) : -7;
        EXPECT_EQ(decimal, expected) << text;
        EXPECT_EQ(std::signbit(decimal), std::signbit(expected)) << text;
    }
}

// The table is what the framer, the parsers and the time reader all go by: each talker
// of a row classifies as the row, and a parser gives the row's system for it.
TEST(StandardSentenceTable, ClassifiesEachTalkerOfEachRowAndOnlyThose) {
    for (const StandardSentenceRow& row : StandardSentenceRows().first(kStandardSentenceCount)) {
        for (const TalkerSystem& t : row.talkers) {
            const std::string header = "$" + std::string(t.talker) + std::string(row.type) + ",";
            EXPECT_EQ(ClassifyStandard(header), row.id) << header;
            EXPECT_EQ(TalkerSystemOf(row.id, t.talker), t.system) << header;
        }
        EXPECT_EQ(ClassifyStandard("$GQ" + std::string(row.type) + ","), sentence::kUnknown);
        EXPECT_FALSE(TalkerSystemOf(row.id, "GQ"));
    }
    GsaSentence gsa;
    ASSERT_TRUE(ParseGsa("$GAGSA,A,3,01,,,,,,,,,,,,1.1,0.7,0.9*00", gsa));
    EXPECT_EQ(gsa.system, gnss::kGalileo);
    EXPECT_FALSE(ParseQsa("$GBQSA,1,A,3,01,,,,,,,,,,,,1.8,1.0,1.5*00", gsa)) << "taken, but nothing read";
    EXPECT_EQ(ClassifyStandard("$GBQSA,"), sentence::kQsa);
}

TEST(StandardSentenceTable, TimesComeFromTheRowsFieldOfAnyTalker) {
    EXPECT_EQ(CheckedSentenceTime("$GAGGA,010203.00,2502.0,N,12130.0,E,1,08,0.9,50.0,M,15.0,M,,*00"), 3723);
    EXPECT_EQ(CheckedSentenceTime("$GNGNS,010204,2502.0,N,12130.0,E,AA,08,0.9,50.0,15.0,,*00"), 3724);
    EXPECT_EQ(CheckedSentenceTime("$GPGLL,2502.0,N,12130.0,E,010205.00,A,A*00"), 3725);
    EXPECT_FALSE(CheckedSentenceTime("$GPGLL,2502.0,N,12130.0,E*00")) << "the field is missing";
    EXPECT_FALSE(CheckedSentenceTime("$GPVTG,054.7,T,,M,005.5,N,010.2,K*48"));
    // The checksum is the link's: lower-case digits, which the link drops, give no time.
    EXPECT_TRUE(SentenceTime("$GPZDA,010228.00,01,01,2024,,*6B"));
    EXPECT_FALSE(SentenceTime("$GPZDA,010228.00,01,01,2024,,*6b"));
}
