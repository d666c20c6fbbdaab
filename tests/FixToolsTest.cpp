// nmeastats and nmeaexport as a user runs them: a small capture in, figures and files
// out; bad command lines and inputs told; every real capture read without a crash.
#include <gtest/gtest.h>

#include <dirent.h>

#include "tests/support/Nmea.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr std::chrono::seconds kLimit(60);

// Three fixes straight north of each other 0.001 minute of latitude apart, which is
// 1.8532 m on the ellipsoid at 48 degrees (meridian radius 6,370.8 km × π/180/60,000),
// altitudes 545.4, 546.4 and 547.4, with the RMC of each epoch (and in the first, a
// second talker's GGA of the same fix); then an epoch without a fix and two whose GGA
// passed its checksum with a time or a latitude out of range.
std::string Capture() {
    std::string c;
    const char* latitudes[] = {"4807.0380", "4807.0390", "4807.0400"};
    const char* altitudes[] = {"545.4", "546.4", "547.4"};
    for (int i = 0; i < 3; ++i) {
        const std::string time = "12351" + std::to_string(i);
        c += testsupport::Sentence("GPGGA," + time + ".00," + latitudes[i] + ",N,01131.0000,E,1,08,0.9," + altitudes[i] +
                                   ",M,46.9,M,,");
        if (i == 0)
            c += testsupport::Sentence("GLGGA," + time + ".00," + latitudes[i] + ",N,01131.0000,E,1,08,0.9," +
                                       altitudes[i] + ",M,46.9,M,,");
        c += testsupport::Sentence("GPRMC," + time + ".00,A," + latitudes[i] +
                                   ",N,01131.0000,E,000.5,054.7,231194,003.1,W,A");
    }
    c += testsupport::Sentence("GPGGA,123513.00,,,,,0,00,99.9,,M,,M,,");
    c += testsupport::Sentence("GPGGA,999999.00,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,");
    c += testsupport::Sentence("GPGGA,123514.00,10042.0000,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,");
    return c;
}

struct ToolRun {
    int status;
    std::string output;
};

ToolRun Tool(const std::vector<std::string>& argv, const std::string& dir) {
    testsupport::ChildProcess p(argv, dir);
    const int status = p.Wait(kLimit);
    return {status, p.Output()};
}

}  // namespace

TEST(NmeaStats, FiguresAgainstAGivenReferenceAndTheMeanAsTextAndJson) {
    testsupport::ScratchDir dir;
    testsupport::WriteFile(dir / "c.nmea", Capture());
    // The reference is the middle fix: offsets about -1.853, 0, +1.854 north (the metre
    // of height apart adds a few tenths of a millimetre) and -1, 0, +1 up. Horizontal
    // errors sorted 0, 1.853, 1.854: CEP50 is rank 2, CEP95 rank 3;
    // σN = sqrt(2 · 1.8533² / 3) = 1.513; 2DRMS = 2 σN = 3.027; σU = sqrt(2/3) = 0.816.
    const ToolRun given = Tool({NMEASTATS, "c.nmea", "--ref", "48.11731667,11.51666667,546.4"}, dir.Path());
    EXPECT_EQ(given.status, 0) << given.output;
    EXPECT_NE(given.output.find("fixes               3\n"), std::string::npos) << given.output;
    EXPECT_NE(given.output.find("(given)"), std::string::npos) << given.output;
    EXPECT_NE(given.output.find("std deviation (m)   east 0.000  north 1.513  up 0.816\n"), std::string::npos)
        << given.output;
    EXPECT_NE(given.output.find("CEP50 (m)           1.853\nCEP95 (m)           1.854\n2DRMS (m)           3.027\n"),
              std::string::npos) << given.output;

    const ToolRun json = Tool({NMEASTATS, "--json", "c.nmea"}, dir.Path());
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(json.output.rfind("{\"fixes\":3,\"reference\":{\"latitude\":48.117316667,\"longitude\":11.516666667,"
                                "\"altitude\":546.4000,\"source\":\"mean\"},\"mean\":{\"east\":0.0000,\"north\":0.0000,"
                                "\"up\":0.0000},\"sigma\":{\"east\":0.0000,\"north\":1.5133,\"up\":0.8165},",
                                0),
              0u) << json.output;
    EXPECT_NE(json.output.find("\"cep50\":1.8534,\"cep95\":1.8534,\"drms2\":3.0265,\"maxHorizontal\":1.8534}\n"), std::string::npos) << json.output;
}

TEST(NmeaStats, BadCommandLinesAndInputsAreTold) {
    testsupport::ScratchDir dir;
    testsupport::WriteFile(dir / "none.nmea", testsupport::Sentence("GPGGA,123513.00,,,,,0,00,99.9,,M,,M,,"));
    const ToolRun badRef = Tool({NMEASTATS, "none.nmea", "--ref", "48.1,11.5"}, dir.Path());
    EXPECT_EQ(badRef.status, 2);
    EXPECT_EQ(badRef.output.rfind("nmeastats: --ref wants LAT,LON,ALT in degrees and metres, not \"48.1,11.5\"\nusage: ", 0), 0u);
    EXPECT_EQ(Tool({NMEASTATS, "none.nmea", "--ref", "91,0,0"}, dir.Path()).status, 2);
    EXPECT_EQ(Tool({NMEASTATS}, dir.Path()).status, 2);
    EXPECT_EQ(Tool({NMEASTATS, "none.nmea"}, dir.Path()).output,
              "nmeastats: none.nmea holds no fix (no GGA with a fix quality from 1 to 6)\n");
    // A receiver in its simulator mode (quality 8) reports no fix of its own.
    testsupport::WriteFile(dir / "simulated.nmea",
                           testsupport::Sentence("GPGGA,123513.00,4807.038,N,01131.000,E,8,08,0.9,545.4,M,46.9,M,,"));
    EXPECT_EQ(Tool({NMEASTATS, "simulated.nmea"}, dir.Path()).status, 1);
    const ToolRun missing = Tool({NMEASTATS, "missing.nmea"}, dir.Path());
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.output, "nmeastats: cannot read missing.nmea: No such file or directory\n");
}

TEST(NmeaExport, WritesEachFormatToStandardOutputOrAFile) {
    testsupport::ScratchDir dir;
    testsupport::WriteFile(dir / "c.nmea", Capture());
    const ToolRun csv = Tool({NMEAEXPORT, "c.nmea", "--csv"}, dir.Path());
    EXPECT_EQ(csv.status, 0);
    EXPECT_EQ(testsupport::CountOf(csv.output, "\n"), 4u);  // the header and three fixes
    EXPECT_NE(csv.output.find("\n1994-11-23T12:35:11.000Z,1994-11-23,12:35:11.000,48.11731667,N,11.51666667,E,1,8,0.90,"
                              "546.400,46.900,0.0,0,,,,A,0.500,54.70,3.10,W,A\n"),
              std::string::npos) << csv.output;

    EXPECT_EQ(Tool({NMEAEXPORT, "c.nmea", "--gpx", "-o", "t.gpx"}, dir.Path()).status, 0);
    const std::string gpx = testsupport::ReadFile(dir / "t.gpx");
    EXPECT_EQ(testsupport::CountOf(gpx, "<trkpt "), 3u);
    EXPECT_NE(gpx.find("<name>c.nmea</name>"), std::string::npos);
    EXPECT_EQ(Tool({NMEAEXPORT, "c.nmea", "--kml", "-o", "t.kml"}, dir.Path()).status, 0);
    EXPECT_EQ(testsupport::CountOf(testsupport::ReadFile(dir / "t.kml"), "<Point>"), 3u);
    EXPECT_EQ(std::system(("xmllint --noout --schema " DATA_DIR "/gpx11-subset.xsd " + (dir / "t.gpx")).c_str()), 0);
    EXPECT_EQ(std::system(("xmllint --noout --schema " DATA_DIR "/kml22-subset.xsd " + (dir / "t.kml")).c_str()), 0);

    EXPECT_EQ(Tool({NMEAEXPORT, "c.nmea"}, dir.Path()).status, 2);
    EXPECT_EQ(Tool({NMEAEXPORT, "c.nmea", "--gpx", "--csv"}, dir.Path()).status, 2);
    const ToolRun unwritable = Tool({NMEAEXPORT, "c.nmea", "--gpx", "-o", "no/such/dir.gpx"}, dir.Path());
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(unwritable.output, "nmeaexport: cannot write no/such/dir.gpx: No such file or directory\n");
    const ToolRun full = Tool({"/bin/sh", "-c", std::string(NMEAEXPORT) + " c.nmea --csv > /dev/full"}, dir.Path());
    EXPECT_EQ(full.status, 1) << full.output;
}

// Real receivers' output: whatever each holds, both tools end by themselves with a
// status they chose (1 for a capture without a fix), never by a signal.
TEST(FixTools, EveryRealCaptureIsReadToTheEnd) {
    testsupport::ScratchDir dir;
    int captures = 0;
    for (const std::string& name : testsupport::ListDir(NMEA_CAPTURES)) {
        if (!name.ends_with(".nmea")) continue;
        ++captures;
        const std::string path = std::string(NMEA_CAPTURES) + "/" + name;
        const ToolRun stats = Tool({NMEASTATS, path, "--json"}, dir.Path());
        EXPECT_TRUE(stats.status == 0 || stats.status == 1) << name << ": " << stats.output;
        for (const char* format : {"--gpx", "--kml", "--csv"}) {
            const ToolRun out = Tool({NMEAEXPORT, path, format, "-o", "out"}, dir.Path());
            EXPECT_EQ(out.status, 0) << name << " " << format << ": " << out.output;
        }
        EXPECT_EQ(std::system(("xmllint --noout " + (dir / "out")).c_str()), 256) << name;  // the CSV is no XML
    }
    EXPECT_EQ(captures, 9);
}
