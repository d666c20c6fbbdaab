// The fix analysis library: accuracy figures against hand-computed values, the fix
// record's joining of GGA, report and RMC, and the exports read back by an XML reader,
// xmllint (with schemas of the elements written, tests/data) and gpsbabel.
#include <gtest/gtest.h>

#include <QFile>
#include <QXmlStreamReader>
#include <cmath>
#include <fstream>
#include <sstream>

#include "monitor/analysis/Accuracy.h"
#include "monitor/analysis/FixExport.h"
#include "monitor/analysis/FixRecord.h"
#include "tests/support/TestSupport.h"

namespace {

// A GGA of 9 satellites, HDOP 0.9, 545.4 m, geoid 46.9 m; an RMC at 22.4 kn, 84.4°,
// variation 3.1° W; a report with PDOP 1.5 and VDOP 1.2.
GgaRecord Gga(int hour, int minute, float second, double latitude, double longitude, int quality = 1) {
    return GgaRecord{int16_t(hour), int16_t(minute), second, latitude, 0, 0, 0, latitude < 0 ? 'S' : 'N', longitude,
                     0, 0, 0, longitude < 0 ? 'W' : 'E', int16_t(quality), 9, 0.9f, 545.4f, 46.9f, 0, 0};
}

RmcRecord Rmc(int hour, int minute, float second, int year, int month, int day) {
    return RmcRecord{int16_t(hour), int16_t(minute), second, 'A', 0, 0, 'N', 0, 0, 'E', 22.4f, 84.4f,
                     uint16_t(year), int16_t(month), uint16_t(day), 3.1f, 'W', 'A'};
}

// An epoch with its GGA and a report (fix type 0: no GSA in the epoch).
EpochSummary Epoch(const GgaRecord& gga, char fixType) {
    EpochSummary e{};
    e.hasGga = true;
    e.gga = gga;
    e.hasReport = fixType != 0;
    e.fixType = fixType;
    e.pdop = 1.5f;
    e.vdop = 1.2f;
    return e;
}

int Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

}  // namespace

// Five fixes at known offsets (east, north, up) in metres:
//   (3, 4, 1)  (-3, -4, -1)  (0, 0, 2)  (6, 8, -2)  (1, 0, 0)
// horizontal errors 5, 5, 0, 10, 1; sorted 0, 1, 5, 5, 10.
// mean E = 7/5 = 1.4, N = 8/5 = 1.6, U = 0/5 = 0
// σE² = ΣE²/n − mean² = 55/5 − 1.96 = 9.04   → σE = 3.006659...
// σN² = 96/5 − 2.56 = 16.64                   → σN = 4.079216...
// σU² = 10/5 − 0 = 2                          → σU = 1.414214...
// (the sample deviation would be sqrt(45.2/4) = 3.3615 for east: population it is)
// CEP50: rank ceil(0.50 · 5) = 3 → 5;  CEP95: rank ceil(0.95 · 5) = 5 → 10 (linear
// interpolation would give 9)
// 2DRMS = 2 · sqrt(9.04 + 16.64) = 2 · sqrt(25.68) = 10.135088...;  max = 10
TEST(Accuracy, FiguresOfFixesAtKnownOffsetsMatchTheHandComputation) {
    const track::Enu offsets[] = {{3, 4, 1}, {-3, -4, -1}, {0, 0, 2}, {6, 8, -2}, {1, 0, 0}};
    const AccuracyFigures a = ComputeAccuracy(offsets);
    EXPECT_EQ(a.count, 5u);
    EXPECT_NEAR(a.meanEast, 1.4, 1e-12);
    EXPECT_NEAR(a.meanNorth, 1.6, 1e-12);
    EXPECT_NEAR(a.meanUp, 0, 1e-12);
    EXPECT_NEAR(a.sigmaEast, std::sqrt(9.04), 1e-12);
    EXPECT_NEAR(a.sigmaNorth, std::sqrt(16.64), 1e-12);
    EXPECT_NEAR(a.sigmaUp, std::sqrt(2.0), 1e-12);
    EXPECT_DOUBLE_EQ(a.cep50, 5);
    EXPECT_DOUBLE_EQ(a.cep95, 10);
    EXPECT_NEAR(a.drms2, 10.135088, 1e-6);
    EXPECT_DOUBLE_EQ(a.maxHorizontal, 10);

    // Nearest rank, not interpolated: the median of 0, 1, 5, 10 is the 2nd value (1, not 3);
    // the 95th of twenty values is the 19th.
    const double four[] = {0, 1, 5, 10};
    EXPECT_EQ(NearestRankPercentile(four, 50), 1);
    std::vector<double> twenty;
    for (int i = 1; i <= 20; ++i) twenty.push_back(i);
    EXPECT_EQ(NearestRankPercentile(twenty, 95), 19);

    AccuracyAccumulator cleared;
    cleared.Add(offsets[3]);
    cleared.Clear();
    EXPECT_EQ(cleared.Figures().maxHorizontal, 0);
}

TEST(Accuracy, UpIsTheHeightAboveTheReferenceAndEastNorthStayAsTheTrackPlotsThem) {
    const track::Reference ref = track::MakeReference(48.1173, 11.5167, 545.4);
    const track::Enu above = track::EnuFrom(ref, track::MakeReference(48.1173, 11.5167, 555.4).ecef);
    EXPECT_NEAR(above.up, 10, 1e-6);
    EXPECT_NEAR(std::hypot(above.east, above.north), 0, 1e-6);
    const track::Enu north = track::EnuFrom(ref, track::MakeReference(48.1183, 11.5167, 545.4).ecef);
    EXPECT_NEAR(north.north, 111.2, 0.1);
    EXPECT_NEAR(north.up, 0, 0.01);  // the Earth's curve: under a millimetre at 111 m
}

TEST(FixCollector, JoinsReportAndRmcOfTheEpochAndDatesFixesAcrossMidnight) {
    FixCollector c;
    EXPECT_TRUE(c.AddEpoch(Epoch(Gga(23, 59, 58, 48.1, 11.5), '3')));  // before any date
    c.AddRmc(Rmc(23, 59, 58, 2026, 12, 31));  // after its GGA
    c.AddRmc(Rmc(23, 59, 59.5f, 2026, 12, 31));  // before its GGA
    EXPECT_TRUE(c.AddEpoch(Epoch(Gga(23, 59, 59.5f, 48.1, 11.5, 2), 0)));
    c.AddFix(Gga(0, 0, 0.25f, 48.1, 11.5));  // after midnight, its RMC not come
    ASSERT_EQ(c.Fixes().size(), 3u);
    const FixRecord& first = c.Fixes()[0];
    EXPECT_TRUE(first.hasRmc);
    EXPECT_EQ(first.fixType, '3');
    EXPECT_FLOAT_EQ(first.pdop, 1.5f);
    EXPECT_FLOAT_EQ(first.speedKnots, 22.4f);
    EXPECT_EQ(IsoTime(first).value_or(""), "2026-12-31T23:59:58.000Z");
    EXPECT_TRUE(c.Fixes()[1].hasRmc);
    EXPECT_EQ(c.Fixes()[1].fixType, 0);
    EXPECT_EQ(IsoTime(c.Fixes()[2]).value_or(""), "2027-01-01T00:00:00.250Z");
    EXPECT_FALSE(c.Fixes()[2].hasRmc);

    // Without any RMC date, fixes have a time of day and no date.
    FixCollector undated;
    undated.AddFix(Gga(12, 35, 19, 48.1, 11.5));
    EXPECT_FALSE(IsoTime(undated.Fixes()[0]));
    EXPECT_EQ(TimeOfDay(undated.Fixes()[0]), "12:35:19.000");
    c.Clear();
    EXPECT_TRUE(c.Fixes().empty());
}

// What no receiver's fix can be: no quality, a typed-in or simulated position, a time or
// coordinate out of range (as a corrupt line that passed its checksum gives them).
TEST(FixCollector, EpochsWithoutAPositionInRangeAreNoFixes) {
    FixCollector c;
    EpochSummary noGga{};
    noGga.hasReport = true;
    noGga.fixType = '3';
    EXPECT_FALSE(c.AddEpoch(noGga));
    for (const GgaRecord& gga : {Gga(12, 0, 0, 48.1, 11.5, 0), Gga(12, 0, 0, 48.1, 11.5, 7),
                                 Gga(12, 0, 0, 48.1, 11.5, 8), Gga(99, 99, 99, 48.1, 11.5), Gga(12, 0, 0, 100.7, 11.5),
                                 Gga(12, 0, 0, 48.1, -180.5), Gga(12, 0, 61, 48.1, 11.5)})
        EXPECT_FALSE(c.AddEpoch(Epoch(gga, '3'))) << gga.hour << " " << gga.latitude << " " << gga.fixQuality;
    EXPECT_TRUE(c.Fixes().empty());
    for (int quality = 1; quality <= 6; ++quality) EXPECT_TRUE(c.AddEpoch(Epoch(Gga(23, 59, 60.5f, -90, 180, quality), '2')));
    EXPECT_EQ(c.Fixes().size(), 6u);
}

// Two fixes, the first with its report and RMC, the second bare and before any date.
class Export : public ::testing::Test {
protected:
    Export() {
        FixCollector c;
        c.AddEpoch(Epoch(Gga(12, 35, 19, 48.1173, -11.5167, 2), '3'));
        c.AddRmc(Rmc(12, 35, 19, 1994, 3, 23));
        FixCollector bare;
        bare.AddFix(Gga(12, 35, 20, -33.8568, 151.2153));
        m_fixes = c.Fixes();
        m_fixes.push_back(bare.Fixes()[0]);
    }
    std::string Write(ExportFormat format) {
        std::ostringstream out;
        WriteFixes(out, format, m_fixes, "a <test> & more");
        m_path = m_dir / (std::string("out") + ExtensionOf(format));
        testsupport::WriteFile(m_path, out.str());
        return out.str();
    }
    // Element name → text of each point's children, in document order.
    static std::vector<std::vector<std::pair<QString, QString>>> Points(const std::string& xml, const QString& point) {
        std::vector<std::vector<std::pair<QString, QString>>> points;
        QXmlStreamReader r(QByteArray::fromStdString(xml));
        int depth = 0;
        while (!r.atEnd()) {
            r.readNext();
            if (r.isStartElement()) {
                if (r.name() == point) {
                    points.emplace_back();
                    for (const QXmlStreamAttribute& a : r.attributes())
                        points.back().emplace_back("@" + a.name().toString(), a.value().toString());
                    depth = 1;
                } else if (depth > 0) {
                    points.back().emplace_back(r.name().toString(), r.readElementText(QXmlStreamReader::IncludeChildElements));
                }
            } else if (r.isEndElement() && r.name() == point) {
                depth = 0;
            }
        }
        EXPECT_FALSE(r.hasError()) << r.errorString().toStdString();
        return points;
    }

    std::vector<FixRecord> m_fixes;
    testsupport::ScratchDir m_dir;
    std::string m_path;
};

TEST_F(Export, GpxReadsBackFieldByFieldAndValidates) {
    const std::string gpx = Write(ExportFormat::Gpx);
    const auto points = Points(gpx, "trkpt");
    ASSERT_EQ(points.size(), 2u);
    using Fields = std::vector<std::pair<QString, QString>>;
    EXPECT_EQ(points[0], (Fields{{"@lat", "48.11730000"}, {"@lon", "-11.51670000"}, {"ele", "545.400"},
                                 {"time", "1994-03-23T12:35:19.000Z"}, {"magvar", "356.90"}, {"geoidheight", "46.900"},
                                 {"fix", "dgps"}, {"sat", "9"}, {"hdop", "0.90"}, {"vdop", "1.20"}, {"pdop", "1.50"}}));
    // No date, no time element; no report, no fix type and no DOPs beside HDOP.
    EXPECT_EQ(points[1], (Fields{{"@lat", "-33.85680000"}, {"@lon", "151.21530000"}, {"ele", "545.400"},
                                 {"geoidheight", "46.900"}, {"sat", "9"}, {"hdop", "0.90"}}));
    EXPECT_NE(gpx.find("<name>a &lt;test&gt; &amp; more</name>"), std::string::npos);
    EXPECT_EQ(Shell("xmllint --noout --schema " DATA_DIR "/gpx11-subset.xsd " + m_path), 0);
}

TEST_F(Export, KmlReadsBackAsALineAndOnePlacemarkPerFixAndValidates) {
    const std::string kml = Write(ExportFormat::Kml);
    const auto marks = Points(kml, "Placemark");
    ASSERT_EQ(marks.size(), 3u);  // the line, then the two fixes
    // LineString: tessellate 1, altitudeMode absolute, then the coordinates.
    EXPECT_EQ(marks[0].back().second.section("absolute", 1).trimmed().toStdString(),
              "-11.51670000,48.11730000,545.400\n151.21530000,-33.85680000,545.400");
    using Fields = std::vector<std::pair<QString, QString>>;
    EXPECT_EQ(marks[1], (Fields{{"name", "1"}, {"description", "quality 2, 9 satellites, HDOP 0.90"},
                                {"TimeStamp", "1994-03-23T12:35:19.000Z"}, {"styleUrl", "#fix"},
                                {"Point", "absolute-11.51670000,48.11730000,545.400"}}));
    EXPECT_EQ(marks[2][2].first, "styleUrl");  // no time stamp without a date
    EXPECT_EQ(Shell("xmllint --noout --schema " DATA_DIR "/kml22-subset.xsd " + m_path), 0);
}

TEST_F(Export, CsvHasAHeaderAndEveryFieldOfAFix) {
    std::istringstream csv(Write(ExportFormat::Csv));
    std::string header, first, second, more;
    std::getline(csv, header);
    std::getline(csv, first);
    std::getline(csv, second);
    EXPECT_FALSE(std::getline(csv, more));
    EXPECT_EQ(header, CsvHeader());
    EXPECT_EQ(first, "1994-03-23T12:35:19.000Z,1994-03-23,12:35:19.000,48.11730000,N,-11.51670000,W,2,9,0.90,545.400,"
                     "46.900,0.0,0,3,1.50,1.20,A,22.400,84.40,3.10,W,A");
    EXPECT_EQ(second, ",,12:35:20.000,-33.85680000,S,151.21530000,E,1,9,0.90,545.400,46.900,0.0,0,,,,,,,,,");
}

TEST_F(Export, GpsbabelReadsTheGpxAndTheKml) {
    if (Shell("gpsbabel -V") != 0) GTEST_SKIP() << "gpsbabel is not installed (Debian package gpsbabel)";
    for (ExportFormat format : {ExportFormat::Gpx, ExportFormat::Kml}) {
        Write(format);
        const std::string csv = m_dir / "babel.csv";
        ASSERT_EQ(Shell(std::string("gpsbabel -w -t -i ") + (format == ExportFormat::Gpx ? "gpx" : "kml") + " -f " + m_path +
                      " -o unicsv -F " + csv), 0);
        const std::string text = testsupport::ReadFile(csv);
        EXPECT_NE(text.find("48.117300"), std::string::npos) << text;
        EXPECT_NE(text.find("151.215300"), std::string::npos) << text;
    }
}

// The running percentiles against sorting the values at each size, over values with
// repeats, in rising, falling and mixed order.
TEST(Accuracy, RunningPercentilesAgreeWithSortingAtEverySize) {
    std::vector<double> values;
    for (int i = 0; i < 300; ++i) values.push_back(std::fmod(i * 37.0, 101.0) / 4);  // mixed, with repeats
    for (int i = 0; i < 100; ++i) values.push_back(100 - i);                        // falling
    for (int i = 0; i < 100; ++i) values.push_back(i * 0.5);                        // rising
    for (int percent : {50, 95}) {
        RunningPercentile running(percent);
        std::vector<double> sorted;
        for (double v : values) {
            running.Add(v);
            sorted.insert(std::upper_bound(sorted.begin(), sorted.end(), v), v);
            ASSERT_EQ(running.Value(), NearestRankPercentile(sorted, percent)) << percent << " at " << sorted.size();
        }
    }
}
