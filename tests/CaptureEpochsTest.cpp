// Each real receiver's capture through the link, epoch by epoch: what the windows are
// told at each epoch is compared with a summary checked in beside this test
// (tests/data/epochs/<capture>.txt), and the counts that must agree across the monitor
// and the tools are checked on every capture.
//
// After a deliberate change of what the link tells the windows, write the summaries
// anew with REGENERATE_EPOCHS=1 and read the difference before committing it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "monitor/link/EpochLogic.h"
#include "monitor/link/NmeaFields.h"
#include "monitor/link/SatelliteTable.h"
#include "tests/support/LinkHarness.h"
#include "tests/support/TestSupport.h"
#include "tools/CaptureFixes.h"

namespace {

std::string CapturePath(const std::string& name) { return std::string(NMEA_CAPTURES) + "/" + name; }

// "G7 R8": satellites per constellation letter, in the order of the system codes.
template <typename Count>
std::string PerSystem(int n, Count&& systemOf) {
    static constexpr char kLetters[] = "GQERBS";
    std::map<int, int> counts;
    for (int i = 0; i < n; ++i) ++counts[systemOf(i)];
    std::string out;
    for (const auto& [system, count] : counts) {
        if (!out.empty()) out += ' ';
        out += system >= 0 && system < 6 ? kLetters[system] : 'U';
        out += std::to_string(count);
    }
    return out.empty() ? "-" : out;
}

// One line per epoch, written when its summary comes: the GGA's time, quality and
// position, the fix type, then what the sky and velocity windows were last told.
class EpochLines {
public:
    void Take(const LinkMessage& m) {
        if (const auto* used = std::get_if<UsedSatelliteSet>(&m.payload); used && m.number == msg::kUsedSatellites) {
            m_used = PerSystem(used->count, [&](int i) { return used->system[i]; });
        } else if (const auto* view = std::get_if<SatelliteViewSet>(&m.payload); view && m.number == msg::kSatellitesInView) {
            m_view = PerSystem(view->count, [&](int i) { return view->satellites[i].system; });
        } else if (const auto* vtg = std::get_if<VtgRecord>(&m.payload); vtg && m.number == msg::kVelocityVtg) {
            char text[48];
            std::snprintf(text, sizeof text, "%.2f kn %.2f deg", vtg->speedKnots, vtg->courseTrue);
            m_velocity = text;
        } else if (const auto* epoch = std::get_if<EpochSummary>(&m.payload); epoch && m.number == msg::kTrackEpoch) {
            m_text += Line(*epoch);
        }
    }
    const std::string& Text() const { return m_text; }

private:
    std::string Line(const EpochSummary& e) const {
        char head[120] = "-";
        if (e.hasGga) {
            const GgaRecord& g = e.gga;
            std::snprintf(head, sizeof head, "%02d:%02d:%05.2f q%d %.6f %.6f %.1f", g.hour, g.minute, g.second,
                          g.fixQuality, g.latitude, g.longitude, g.altitude);
        }
        const std::string fix = e.hasReport ? std::string("fix ") + (e.fixType ? e.fixType : '?') : "fix -";
        return std::string(head) + " | " + fix + " | used " + m_used + " | view " + m_view + " | " + m_velocity + "\n";
    }

    std::string m_used = "-", m_view = "-", m_velocity = "-";
    std::string m_text;
};

// The epochs of a capture as a reader of the text alone finds them: each new time of day
// in a GGA, RMC, GNS, GLL or ZDA that passes its checksum begins one, and before the
// receiver has a time, each GGA (these receivers send one an epoch).
std::size_t Epochs(const std::string& capture) {
    std::size_t epochs = 0;
    double last = -1;
    std::size_t at = 0;
    while ((at = capture.find('$', at)) != std::string::npos) {
        std::size_t end = capture.find_first_of("\r\n$", at + 1);
        if (end == std::string::npos) end = capture.size();
        const std::string_view sentence = std::string_view(capture).substr(at, end - at);
        const auto time = SentenceTime(sentence);
        if (!time && sentence.size() > 7 && sentence.substr(3, 4) == "GGA," && sentence[7] == ',') ++epochs;
        if (time && *time != last) {
            ++epochs;
            last = *time;
        }
        at = end;
    }
    return epochs;
}

class CaptureEpochs : public ::testing::TestWithParam<const char*> {};

}  // namespace

TEST_P(CaptureEpochs, EachEpochIsToldAsItWasBefore) {
    const std::string capture = testsupport::ReadFile(CapturePath(GetParam()));
    EpochLines lines;
    for (const LinkMessage& m : testsupport::RunThroughLink(capture)) lines.Take(m);
    const std::string golden = std::string(EPOCHS_DIR) + "/" + GetParam() + ".txt";
    if (std::getenv("REGENERATE_EPOCHS")) {
        testsupport::WriteFile(golden, lines.Text());
        GTEST_SKIP() << "written " << golden;
    }
    ASSERT_TRUE(std::filesystem::exists(golden)) << golden << ": run with REGENERATE_EPOCHS=1 to write it";
    const std::string expected = testsupport::ReadFile(golden);
    // Line by line, so that a difference names its epoch.
    std::istringstream want(expected), got(lines.Text());
    std::string a, b;
    for (int line = 1; std::getline(want, a); ++line) {
        ASSERT_TRUE(std::getline(got, b)) << "epoch " << line << " missing: " << a;
        ASSERT_EQ(b, a) << "epoch " << line;
    }
    EXPECT_FALSE(std::getline(got, b)) << "an epoch more: " << b;
}

// The sky at most once an epoch, Fix mode a sample for each epoch with a GGA or GSA, and
// Track the same fixes as the capture tools.
TEST_P(CaptureEpochs, OneSkyPerEpochAndEveryFixOnce) {
    const std::string path = CapturePath(GetParam());
    const std::string capture = testsupport::ReadFile(path);
    const auto messages = testsupport::RunThroughLink(capture);
    std::size_t skies = 0, views = 0, samples = 0, fixes = 0;
    std::set<double> fixTimes;
    for (const LinkMessage& m : messages) {
        skies += m.number == msg::kUsedSatellites;
        views += m.number == msg::kSatellitesInView;
        samples += m.number == msg::kFixModeEpoch;
        if (const auto* e = std::get_if<EpochSummary>(&m.payload); e && m.number == msg::kTrackEpoch && e->hasGga &&
                                                                  IsPositionFix(e->gga)) {
            ++fixes;
            const double t = e->gga.hour * 3600.0 + e->gga.minute * 60.0 + e->gga.second;
            EXPECT_TRUE(fixTimes.insert(t).second) << "a second fix at " << t;
        }
    }
    const std::size_t epochs = Epochs(capture);
    EXPECT_EQ(skies, views);
    // The part before the first time is an epoch of its own.
    EXPECT_LE(skies, epochs + 1) << epochs << " epochs";
    EXPECT_LE(samples, epochs + 1);
    EXPECT_GT(samples, 0u);

    FixCollector tools;
    std::string error;
    ASSERT_TRUE(ReadCaptureFixes(path, tools, error)) << error;
    EXPECT_EQ(fixes, tools.Fixes().size());
}

// The satellite table of each epoch holds the satellites of the epoch's report of the
// sky, constellation by constellation, each signal of a satellite once; its used rows
// are the report's used satellites.
TEST_P(CaptureEpochs, EachEpochsSatelliteTableListsItsSkyReport) {
    const auto messages = testsupport::RunThroughLink(testsupport::ReadFile(CapturePath(GetParam())));
    const SatelliteViewSet* view = nullptr;
    const UsedSatelliteSet* used = nullptr;
    int tables = 0;
    for (const LinkMessage& m : messages) {
        if (m.number == msg::kSatellitesInView) view = &std::get<SatelliteViewSet>(m.payload);
        if (m.number == msg::kUsedSatellites) used = &std::get<UsedSatelliteSet>(m.payload);
        if (m.number != msg::kSatelliteTable) continue;
        ASSERT_TRUE(view && used) << "a table before its report";
        const auto& rows = std::get<SatelliteTable>(m.payload).rows;
        ++tables;
        std::string inView, inTable;
        std::set<std::pair<int, int>> inReport, usedInReport, usedInTable;
        for (int i = 0; i < view->count; ++i) inReport.insert({view->satellites[i].system, view->satellites[i].prn});
        for (int i = 0; i < used->count; ++i) usedInReport.insert({used->system[i], used->prn[i]});
        std::set<std::pair<int, int>> listed;
        std::set<std::tuple<int, int, int>> signals;
        for (const SatelliteRow& r : rows) {
            EXPECT_TRUE(signals.insert({r.system, r.prn, r.signalId}).second) << "a signal twice, PRN " << r.prn;
            if (r.elevation != kNotInView) listed.insert({r.system, r.prn});
            if (r.used) usedInTable.insert({r.system, r.prn});
        }
        inView = PerSystem(static_cast<int>(inReport.size()), [&](int i) { return std::next(inReport.begin(), i)->first; });
        inTable = PerSystem(static_cast<int>(listed.size()), [&](int i) { return std::next(listed.begin(), i)->first; });
        EXPECT_EQ(inTable, inView) << "table " << tables;
        EXPECT_EQ(listed, inReport) << "table " << tables;
        for (const auto& satellite : usedInTable) EXPECT_TRUE(usedInReport.count(satellite)) << satellite.second;
    }
    EXPECT_GT(tables, 0);
}

// NMEA 4.11 from a dual-band receiver: one row per satellite and signal, by the ids of
// its GSV groups ($GPGSV,...,1 L1 C/A, ...,6 L2C-L; Galileo 7 E1-BC and 2 E5b).
TEST(CaptureSatelliteTable, ADualBandReceiverHasARowPerSignal) {
    const auto messages = testsupport::RunThroughLink(testsupport::ReadFile(CapturePath("ublox-zed-f9p-nmea.nmea")));
    std::vector<SatelliteTable> tables;
    for (const LinkMessage& m : messages)
        if (m.number == msg::kSatelliteTable) tables.push_back(std::get<SatelliteTable>(m.payload));
    ASSERT_GE(tables.size(), 5u);
    std::map<std::string, int> perSignal;
    for (const SatelliteRow& r : tables[4].rows)
        ++perSignal[std::string(SystemName(r.system)) + " " + std::string(SignalName(r.system, r.signalId))];
    EXPECT_EQ(perSignal, (std::map<std::string, int>{{"BeiDou B1I", 10}, {"GLONASS G1 C/A", 10}, {"GLONASS G2 C/A", 10},
                                                     {"GPS L1 C/A", 12}, {"GPS L2C-L", 12}, {"Galileo E1-BC", 9},
                                                     {"Galileo E5b", 9}}));
}

INSTANTIATE_TEST_SUITE_P(Receivers, CaptureEpochs,
                         ::testing::Values("GPSmap-76S.nmea", "quectel-eg25-g.nmea", "quectel-l76k-nmea.nmea",
                                           "sirfstarv-nmea.nmea", "skytraq.nmea", "st-teseo-liv3f.nmea",
                                           "telit-he910.nmea", "tr737a-plus.nmea", "ublox-zed-f9p-nmea.nmea"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });
