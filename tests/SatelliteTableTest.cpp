// The satellite table the link builds from each epoch's report of the sky: a row per
// signal where the receiver names them, a satellite's unnamed group dropped beside its
// named ones, whether the fix used it, and the signal names by constellation.
#include <gtest/gtest.h>

#include <tuple>

#include "monitor/link/SatelliteTable.h"
#include "tests/support/LinkHarness.h"
#include "tests/support/Nmea.h"

namespace {

using testsupport::Sentence;

std::vector<SatelliteTable> TablesOf(const std::string& bytes) {
    std::vector<SatelliteTable> tables;
    for (const LinkMessage& m : testsupport::RunThroughLink(bytes))
        if (m.number == msg::kSatelliteTable) tables.push_back(std::get<SatelliteTable>(m.payload));
    return tables;
}

using Row = std::tuple<int, int, int, int, int, bool>;  // system, PRN, signal, elevation, C/N0, used

std::vector<Row> RowsOf(const SatelliteTable& t) {
    std::vector<Row> rows;
    for (const SatelliteRow& r : t.rows) rows.emplace_back(r.system, r.prn, r.signalId, r.elevation, r.snr, r.used);
    return rows;
}

}  // namespace

TEST(SatelliteTable, ARowPerSignalWithWhatTheFixUsed) {
    const std::string epoch =
        Sentence("GPGGA,123519.00,4807.038,N,01131.000,E,1,04,0.9,545.4,M,46.9,M,,") +
        Sentence("GNGSA,A,3,10,13,,,,,,,,,,,1.5,0.9,1.2,1") + Sentence("GNGSA,A,3,11,,,,,,,,,,,,1.5,0.9,1.2,3") +
        Sentence("GNGSA,A,3,07,,,,,,,,,,,,1.5,0.9,1.2,3") +  // Galileo 7: used, not in the GSVs
        Sentence("GPGSV,1,1,02,10,24,284,33,13,37,124,30,1") + Sentence("GPGSV,1,1,02,10,24,284,18,13,37,124,,6") +
        Sentence("GAGSV,1,1,01,11,55,061,44,7") + Sentence("GAGSV,1,1,01,11,55,061,40,2") +
        Sentence("GAGSV,1,1,01,11,55,061,,0");  // the same satellite with no signal named: no row
    const auto tables = TablesOf(epoch + epoch);
    ASSERT_GE(tables.size(), 1u);
    EXPECT_EQ(RowsOf(tables[0]), (std::vector<Row>{{gnss::kGps, 10, 1, 24, 33, true},
                                                   {gnss::kGps, 10, 6, 24, 18, true},
                                                   {gnss::kGps, 13, 1, 37, 30, true},
                                                   {gnss::kGps, 13, 6, 37, 0, true},
                                                   {gnss::kGalileo, 7, 0, kNotInView, 0, true},
                                                   {gnss::kGalileo, 11, 2, 55, 40, true},
                                                   {gnss::kGalileo, 11, 7, 55, 44, true}}));
}

TEST(SatelliteTable, AReceiverWithoutSignalIdsHasARowPerSatellite) {
    const std::string epoch = Sentence("GPGGA,123519.00,4807.038,N,01131.000,E,1,02,0.9,545.4,M,46.9,M,,") +
                              Sentence("GPGSA,A,3,04,,,,,,,,,,,,2.5,1.3,2.1") +
                              Sentence("GPGSV,1,1,02,04,40,100,40,05,50,200,45") +
                              Sentence("GLGSV,1,1,01,65,10,010,30");
    const auto tables = TablesOf(epoch + epoch);
    ASSERT_GE(tables.size(), 1u);
    EXPECT_EQ(RowsOf(tables[0]), (std::vector<Row>{{gnss::kGps, 4, 0, 40, 40, true},
                                                   {gnss::kGps, 5, 0, 50, 45, false},
                                                   {gnss::kGlonass, 65, 0, 10, 30, false}}));
}

TEST(SatelliteTable, SignalNamesByConstellation) {
    EXPECT_EQ(SignalName(gnss::kGps, 1), "L1 C/A");
    EXPECT_EQ(SignalName(gnss::kGps, 6), "L2C-L");
    EXPECT_EQ(SignalName(gnss::kGps, 8), "L5-Q");
    EXPECT_EQ(SignalName(gnss::kGalileo, 1), "E5a");
    EXPECT_EQ(SignalName(gnss::kGalileo, 7), "E1-BC");
    EXPECT_EQ(SignalName(gnss::kGlonass, 3), "G2 C/A");
    EXPECT_EQ(SignalName(gnss::kBeiDou, 11), "B2I");
    EXPECT_EQ(SignalName(gnss::kQzss, 10), "L6E");
    EXPECT_EQ(SignalName(gnss::kGps, 0), "");
    EXPECT_EQ(SignalName(gnss::kSbas, 1), "");
    EXPECT_EQ(SignalName(gnss::kGps, 15), "");
    EXPECT_EQ(SystemName(gnss::kBeiDou), "BeiDou");
    EXPECT_EQ(SystemName(gnss::kUnresolved), "?");
}
