#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "platform/serial/SerialPort.h"
#include "sim/GpdSession.h"
#include "sim/ModuleCommands.h"
#include "sim/NmeaFormat.h"
#include "sim/PtyLine.h"
#include "sim/ReceiverOutput.h"
#include "sim/Simulator.h"
#include "tests/support/TestSupport.h"

using namespace std::chrono;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto end = text.find("\r\n", at);
        EXPECT_NE(end, std::string::npos) << "unterminated: " << text.substr(at);
        if (end == std::string::npos) break;
        out.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return out;
}

// Fields after the name, checksum verified and removed.
std::vector<std::string> Fields(const std::string& sentence, std::string& name) {
    EXPECT_EQ(sentence[0], '$');
    const auto star = sentence.find('*');
    EXPECT_NE(star, std::string::npos);
    uint8_t sum = 0;
    for (std::size_t i = 1; i < star; ++i) sum ^= static_cast<uint8_t>(sentence[i]);
    EXPECT_EQ(std::strtoul(sentence.substr(star + 1).c_str(), nullptr, 16), sum) << sentence;
    std::vector<std::string> fields;
    std::stringstream body(sentence.substr(1, star - 1));
    std::string f;
    std::getline(body, name, ',');
    while (std::getline(body, f, ',')) fields.push_back(f);
    if (sentence[star - 1] == ',') fields.push_back("");
    return fields;
}

struct SatSeen {
    int elevation, azimuth, cn0;
};

// Satellites in view per GSV talker and number, checking each group's counts.
std::map<std::string, std::map<int, SatSeen>> InView(const std::string& epoch) {
    std::map<std::string, std::map<int, SatSeen>> seen;
    std::map<std::string, int> declared, counted;
    for (const auto& line : Lines(epoch)) {
        std::string name;
        const auto f = Fields(line, name);
        if (name.substr(2) != "GSV") continue;
        const std::string talker = name.substr(0, 2);
        const int total = std::stoi(f[0]), number = std::stoi(f[1]);
        EXPECT_LE(number, total);
        EXPECT_LE(total, 9);
        declared[talker] = std::stoi(f[2]);
        EXPECT_LE(declared[talker], 32);
        for (std::size_t k = 3; k + 3 < f.size(); k += 4) {
            seen[talker][std::stoi(f[k])] = {std::stoi(f[k + 1]), std::stoi(f[k + 2]), std::stoi(f[k + 3])};
            ++counted[talker];
        }
    }
    for (const auto& [talker, n] : declared) EXPECT_EQ(counted[talker], n) << talker;
    return seen;
}

}  // namespace

TEST(NmeaFormat, ChecksumAndFieldFormatsMatchKnownSentences) {
    EXPECT_EQ(sim::NmeaSentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"),
              "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n");
    EXPECT_EQ(sim::FormatCoordinate(48.1173, false), "4807.0380,N");
    EXPECT_EQ(sim::FormatCoordinate(-11.5, true), "01130.0000,W");
    EXPECT_EQ(sim::FormatCoordinate(-33.999999999, false), "3400.0000,S");
    EXPECT_EQ(sim::FormatUtcTime(14 * 3600 + 30 * 60 + 15.5), "143015.50");
    EXPECT_EQ(sim::FormatUtcTime(86399.999), "000000.00");
    EXPECT_EQ(sim::FormatDate(20580), "070526");  // 2026-05-07
    EXPECT_EQ(sim::FormatDate(11016), "290200");  // 2000-02-29
}

TEST(ReceiverOutput, EpochHasEveryConstellationWithConsistentGroups) {
    sim::ReceiverOutput out{sim::ReceiverOptions{}};
    const std::string epoch = out.Epoch(0);
    std::vector<std::string> names;
    for (const auto& line : Lines(epoch)) {
        std::string name;
        Fields(line, name);
        if (names.empty() || names.back() != name) names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"GNGGA", "GNGLL", "GPGSA", "GLGSA", "BDGSA", "GAGSA",
                                               "GPGSV", "GLGSV", "BDGSV", "GAGSV", "GNRMC", "GNVTG"}));
    const auto sky = InView(epoch);
    for (const auto& [talker, sats] : sky) {
        for (const auto& [prn, s] : sats) {
            EXPECT_GE(s.elevation, 5) << talker << prn;
            EXPECT_LE(s.elevation, 90);
            EXPECT_GE(s.azimuth, 0);
            EXPECT_LT(s.azimuth, 360);
            EXPECT_GE(s.cn0, 15);
            EXPECT_LE(s.cn0, 52);
        }
    }
    // NMEA numbering: GLONASS 65-96, SBAS 33-64 and QZSS 193- inside the GPS group.
    for (const auto& [prn, s] : sky.at("GL")) EXPECT_TRUE(prn >= 65 && prn <= 96) << prn;
    bool sbas = false, qzss = false;
    for (const auto& [prn, s] : sky.at("GP")) {
        sbas |= prn >= 33 && prn <= 64;
        qzss |= prn >= 193 && prn <= 197;
    }
    EXPECT_TRUE(sbas);
    EXPECT_TRUE(qzss);
    // Every satellite used in a fix is one in view of the same constellation.
    for (const auto& line : Lines(epoch)) {
        std::string name;
        const auto f = Fields(line, name);
        if (name.substr(2) != "GSA") continue;
        ASSERT_EQ(f.size(), 17u) << line;
        const std::string talker = name.substr(0, 2);
        for (int k = 2; k < 14; ++k) {
            if (!f[k].empty()) {
                EXPECT_TRUE(sky.at(talker).count(std::stoi(f[k]))) << line;
            }
        }
    }
}

TEST(ReceiverOutput, SatellitesMoveSmoothlyFromEpochToEpoch) {
    sim::ReceiverOptions options;
    options.epochsPerSecond = 10;
    sim::ReceiverOutput out{options};
    auto previous = InView(out.Epoch(0));
    for (int e = 1; e < 50; ++e) {
        auto now = InView(out.Epoch(e));
        for (const auto& [talker, sats] : now)
            for (const auto& [prn, s] : sats) {
                if (!previous[talker].count(prn)) continue;
                const SatSeen& p = previous[talker][prn];
                EXPECT_LE(std::abs(s.elevation - p.elevation), 1) << talker << prn;
                EXPECT_LE(std::min(std::abs(s.azimuth - p.azimuth), 360 - std::abs(s.azimuth - p.azimuth)), 2);
                EXPECT_LE(std::abs(s.cn0 - p.cn0), 2);
            }
        previous = now;
    }
}

TEST(ReceiverOutput, TalkerOptionsChangeGroupsAndNumbers) {
    sim::ReceiverOptions options;
    options.gnGsa = true;
    options.gsaSystemId = true;
    options.qzTalker = true;
    options.gbTalker = true;
    const std::string epoch = sim::ReceiverOutput{options}.Epoch(3);
    int gsa = 0;
    for (const auto& line : Lines(epoch)) {
        std::string name;
        const auto f = Fields(line, name);
        if (name.substr(2) == "GSA") {
            EXPECT_EQ(name, "GNGSA");
            ASSERT_EQ(f.size(), 18u);
            EXPECT_EQ(f[17], std::to_string(gsa == 0 ? 1 : gsa == 1 ? 2 : gsa == 2 ? 4 : 3));
            ++gsa;
        }
        EXPECT_NE(name, "BDGSV");
    }
    EXPECT_EQ(gsa, 4);
    const auto sky = InView(epoch);
    ASSERT_TRUE(sky.count("QZ"));
    ASSERT_TRUE(sky.count("GB"));
    for (const auto& [prn, s] : sky.at("QZ")) EXPECT_TRUE(prn >= 1 && prn <= 5) << prn;
    for (const auto& [prn, s] : sky.at("GP")) EXPECT_LT(prn, 193);
}

TEST(ReceiverOutput, RouteDrivesAtTownSpeedAndWanderStaysWithinMetres) {
    sim::Motion route(35.0, 139.0, 0, sim::Motion::Mode::Route);
    sim::Motion wander(35.0, 139.0, 0, sim::Motion::Mode::Wander);
    for (double t = 0; t < 600; t += 7) {
        EXPECT_NEAR(route.At(t).speedMps, 13.9, 0.01);
        const sim::Fix w = wander.At(t);
        EXPECT_LT(std::hypot((w.latDeg - 35.0) * 111320, (w.lonDeg - 139.0) * 91200), 6.0);
        EXPECT_LT(w.speedMps, 1.0);
    }
    EXPECT_NEAR(route.At(10).courseDeg, 0, 1e-6);
    EXPECT_NEAR(route.At(800 / 13.9 + 5).courseDeg, 270, 1e-6);
}

TEST(PtyLine, SeesTheHostsBaudRateAndWhetherItIsConnected) {
    sim::PtyLine line;
    std::string error;
    ASSERT_TRUE(line.Open(error)) << error;
    EXPECT_FALSE(line.HostConnected());
    serial::SerialPort host;
    ASSERT_TRUE(host.Open(line.SlavePath()));
    ASSERT_TRUE(host.SetLine({921600}));
    EXPECT_TRUE(line.HostConnected());
    EXPECT_EQ(line.HostBaudRate(), 921600u);
    ASSERT_TRUE(host.SetBaudRate(14400));
    EXPECT_EQ(line.HostBaudRate(), 14400u);
    host.Close();
    EXPECT_FALSE(line.HostConnected());

    testsupport::ScratchDir dir;
    ASSERT_TRUE(line.MakeLink(dir / "ttySIM0", error)) << error;
    EXPECT_TRUE(host.Open(dir / "ttySIM0"));
    host.Close();
    line.Close();
    EXPECT_FALSE(testsupport::Exists(dir / "ttySIM0"));
}

TEST(Simulator, TalksIntoNothingUntilAHostConnectsThenHearsAndAnswersTheHost) {
    sim::PtyLine line;
    std::string error;
    ASSERT_TRUE(line.Open(error));
    sim::SimulatorOptions options;
    options.receiver.epochsPerSecond = 10;
    sim::Simulator module(line, options);
    std::string heard;
    std::mutex heardMutex;
    module.OnReceived([&](const uint8_t* p, std::size_t n) {
        std::lock_guard lock(heardMutex);
        heard.append(reinterpret_cast<const char*>(p), n);
        if (heard.size() >= 2 && heard.compare(heard.size() - 2, 2, "\r\n") == 0)
            module.Send("$PZRC001,ACK*00\r\n");
    });
    std::thread run([&] { module.Run(error); });
    ASSERT_TRUE(testsupport::WaitUntil([&] { return module.BytesDropped() > 0; }, seconds(5)));
    EXPECT_EQ(module.BytesSent(), 0u);

    serial::SerialPort host;
    ASSERT_TRUE(host.Open(line.SlavePath()));
    ASSERT_TRUE(host.SetLine({115200}));
    EXPECT_TRUE(testsupport::WaitUntil([&] { return module.BytesSent() > 0; }, seconds(5)));
    const std::string cmd = "$PZRC00*00\r\n";
    EXPECT_EQ(host.Write(cmd.data(), cmd.size()), static_cast<long>(cmd.size()));
    EXPECT_TRUE(testsupport::WaitUntil([&] {
        std::lock_guard lock(heardMutex);
        return heard == cmd;
    }, seconds(5)));
    // The reply comes between whole epochs, never inside a sentence.
    host.SetTimeouts({200, 0, 0, 0, 0});
    std::string answer;
    for (int i = 0; i < 100 && answer.find("$PZRC001,ACK*00\r\n") == std::string::npos; ++i) {
        char buf[4096];
        const long n = host.Read(buf, sizeof buf);
        if (n > 0) answer.append(buf, static_cast<std::size_t>(n));
    }
    const auto at = answer.find("$PZRC001,ACK*00\r\n");
    ASSERT_NE(at, std::string::npos);
    EXPECT_TRUE(at == 0 || answer.compare(at - 2, 2, "\r\n") == 0);
    module.Stop();
    run.join();
}

// ---- the module's command side ----------------------------------------------------

namespace {

std::string Bytes(std::initializer_list<uint8_t> bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string Feed(sim::ModuleCommands& module, const std::string& bytes, int64_t nextEpoch = 0) {
    std::string out;
    module.Receive(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), nextEpoch, out);
    return out;
}

sim::ModuleCommands Module(int epochsPerSecond = 1) {
    return sim::ModuleCommands(sim::RestartDelays{30, 15, 2}, epochsPerSecond, sim::GpdFaults{}, "");
}

// Epochs from `from` until the fix is back, checking the stages on the way: no fix,
// then one 2D epoch (when there is room for it), then navigating.
int64_t EpochsToFix(const sim::ModuleCommands& module, int64_t from) {
    int64_t e = from;
    while (module.ConditionsAt(e).stage == sim::FixStage::Acquiring && e < from + 10000) ++e;
    if (module.ConditionsAt(e).stage == sim::FixStage::TwoD) ++e;
    EXPECT_EQ(module.ConditionsAt(e).stage, sim::FixStage::Navigating);
    return e - from;
}

using sim::Constellation;

std::set<Constellation> Tracked(const sim::EpochConditions& c) {
    std::set<Constellation> out;
    for (auto s : {Constellation::Gps, Constellation::Sbas, Constellation::Qzss, Constellation::Glonass,
                   Constellation::BeiDou, Constellation::Galileo})
        if (c.Tracks(s)) out.insert(s);
    return out;
}

std::set<std::string> Names(const std::string& epoch) {
    std::set<std::string> names;
    for (const auto& line : Lines(epoch)) {
        std::string name;
        Fields(line, name);
        names.insert(name);
    }
    return names;
}

struct RestartCase {
    const char* legend;
    std::string command;
    std::string reply;
    int64_t fixAfterEpochs;
};

class Restarts : public ::testing::TestWithParam<RestartCase> {};

}  // namespace

TEST_P(Restarts, AreAnsweredAndTakeTheFixAwayForTheirTimeToFirstFix) {
    const RestartCase& c = GetParam();
    auto module = Module();
    EXPECT_EQ(module.ConditionsAt(100).stage, sim::FixStage::Navigating);
    EXPECT_EQ(Feed(module, c.command, 100), c.reply);
    EXPECT_EQ(module.ConditionsAt(99).stage, sim::FixStage::Navigating);
    EXPECT_EQ(module.ConditionsAt(100).stage, sim::FixStage::Acquiring);
    EXPECT_EQ(EpochsToFix(module, 100), c.fixAfterEpochs);
    EXPECT_EQ(module.ConditionsAt(100 + c.fixAfterEpochs - 1).stage, sim::FixStage::TwoD);
}

INSTANTIATE_TEST_SUITE_P(
    ModuleCommands, Restarts,
    ::testing::Values(
        RestartCase{"ZrCold", "$PZRC030,3,1*2A\r\n", "$PZRC001,030,3*2A\r\n", 30},
        RestartCase{"ZrWarm", "$PZRC030,2,1*2B\r\n", "$PZRC001,030,3*2A\r\n", 15},
        RestartCase{"ZrHot", "$PZRC030,1,1*28\r\n", "$PZRC001,030,3*2A\r\n", 2},
        RestartCase{"MtkCold", "$PMTK103*30\r\n", "$PMTK001,103,3*32\r\n", 30},
        RestartCase{"MtkWarm", "$PMTK102*31\r\n", "$PMTK001,102,3*33\r\n", 15},
        RestartCase{"MtkHot", "$PMTK101*32\r\n", "$PMTK001,101,3*30\r\n", 2},
        RestartCase{"UbxCold", Bytes({0xB5, 0x62, 0x06, 0x04, 0x04, 0x00, 0xFF, 0xB9, 0x02, 0x00, 0xC8, 0x8F}),
                    Bytes({0xB5, 0x62, 0x05, 0x01, 0x02, 0x00, 0x06, 0x04, 0x12, 0x3B}), 30},
        RestartCase{"UbxWarm", Bytes({0xB5, 0x62, 0x06, 0x04, 0x04, 0x00, 0x01, 0x00, 0x02, 0x00, 0x11, 0x6C}),
                    Bytes({0xB5, 0x62, 0x05, 0x01, 0x02, 0x00, 0x06, 0x04, 0x12, 0x3B}), 15},
        RestartCase{"UbxHot", Bytes({0xB5, 0x62, 0x06, 0x04, 0x04, 0x00, 0x00, 0x00, 0x02, 0x00, 0x10, 0x68}),
                    Bytes({0xB5, 0x62, 0x05, 0x01, 0x02, 0x00, 0x06, 0x04, 0x12, 0x3B}), 2}),
    [](const auto& info) { return std::string(info.param.legend); });

TEST(ModuleCommands, RestartDelaysAreSecondsOfEpochsAtAnyRate) {
    auto module = Module(10);
    EXPECT_EQ(Feed(module, "$PMTK101*32\r\n", 7), "$PMTK001,101,3*30\r\n");
    EXPECT_EQ(EpochsToFix(module, 7), 20);
    // A restart during another starts the count again.
    EXPECT_EQ(Feed(module, "$PZRC030,3,1*2A\r\n", 15), "$PZRC001,030,3*2A\r\n");
    EXPECT_EQ(EpochsToFix(module, 15), 300);

    sim::ModuleCommands quick(sim::RestartDelays{0, 0, 0}, 1, sim::GpdFaults{}, "");
    Feed(quick, "$PMTK101*32\r\n", 4);
    EXPECT_EQ(quick.ConditionsAt(4).stage, sim::FixStage::Acquiring);  // always one epoch without a fix
    EXPECT_EQ(quick.ConditionsAt(5).stage, sim::FixStage::Navigating);
}

TEST(ModuleCommands, BadChecksumsUnknownNumbersAndOtherSentencesGetTheirStatus) {
    auto module = Module();
    EXPECT_EQ(Feed(module, "$PZRC030,1,1*29\r\n"), "$PZRC001,030,0*29\r\n");
    EXPECT_EQ(Feed(module, "$PZRC030,7,1*2E\r\n"), "$PZRC001,030,0*29\r\n");
    EXPECT_EQ(Feed(module, "$PZRC030,1x,1*50\r\n"), "$PZRC001,030,0*29\r\n");
    EXPECT_EQ(Feed(module, "$PMTK103*31\r\n"), "$PMTK001,103,0*31\r\n");
    EXPECT_EQ(Feed(module, "$PZRC469*20\r\n"), "$PZRC001,469,1*20\r\n");
    EXPECT_EQ(Feed(module, "$PZRC460*29\r\n"), "$PZRC461,V1.2*7F\r\n");  // queries answer with their text
    EXPECT_EQ(Feed(module, "$PZRC462*2B\r\n"), "$PZRC463,2026-11-30*03\r\n");
    EXPECT_EQ(Feed(module, "$PZRC460,1*34\r\n"), "$PZRC001,460,0*28\r\n");
    EXPECT_EQ(Feed(module, "$PMTK999*3B\r\n"), "$PMTK001,999,1*3B\r\n");
    EXPECT_EQ(Feed(module, "$PZRC75*1D\r\n"), "");  // the boot entry is the chip's business
    EXPECT_EQ(Feed(module, "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"), "");
    EXPECT_EQ(Feed(module, "$PZRC030,1,1"), "");  // nothing until the line ends
    EXPECT_EQ(module.ConditionsAt(0).stage, sim::FixStage::Navigating);
    // A "$" inside a broken line starts a new one.
    EXPECT_EQ(Feed(module, "$PZRC0$PMTK101*32\n"), "$PMTK001,101,3*30\r\n");
}

TEST(ModuleCommands, CommandSplitAtEveryByteStillGetsOneReply) {
    const std::string nmea = "$PZRC115,1,0,1,0*2E\r\n";
    const std::string ubx = Bytes({0xB5, 0x62, 0x06, 0x04, 0x04, 0x00, 0x00, 0x00, 0x02, 0x00, 0x10, 0x68});
    const std::string stream = "$GNVTG,,T,,M,,N,,K,N*32\r\n" + nmea + ubx + "\xB5$PMTK101*32\r\n";
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        auto module = Module();
        std::string out = Feed(module, stream.substr(0, cut));
        out += Feed(module, stream.substr(cut));
        EXPECT_EQ(out, "$PZRC001,115,3*2C\r\n" +
                           Bytes({0xB5, 0x62, 0x05, 0x01, 0x02, 0x00, 0x06, 0x04, 0x12, 0x3B}) +
                           "$PMTK001,101,3*30\r\n")
            << "cut at " << cut;
    }
}

TEST(ModuleCommands, ZrAndMtkConstellationChoicesChangeWhatIsTracked) {
    auto module = Module();
    EXPECT_EQ(Feed(module, "$PZRC115,1,0,1,0*2E\r\n"), "$PZRC001,115,3*2C\r\n");
    EXPECT_EQ(Tracked(module.ConditionsAt(0)), (std::set<Constellation>{Constellation::Gps, Constellation::Sbas,
                                                                         Constellation::Qzss, Constellation::BeiDou}));
    // GLONASS with BeiDou is more than the module tracks; a short command is invalid.
    EXPECT_EQ(Feed(module, "$PZRC115,0,1,1,0*2E\r\n"), "$PZRC001,115,2*2D\r\n");
    EXPECT_EQ(Feed(module, "$PZRC115,1,0*2F\r\n"), "$PZRC001,115,0*2F\r\n");
    EXPECT_EQ(Tracked(module.ConditionsAt(0)).count(Constellation::BeiDou), 1u);

    EXPECT_EQ(Feed(module, "$PMTK353,1,1,0,0,0*2B\r\n"), "$PMTK001,353,3*35\r\n");
    EXPECT_EQ(Tracked(module.ConditionsAt(0)), (std::set<Constellation>{Constellation::Gps, Constellation::Sbas,
                                                                         Constellation::Qzss, Constellation::Glonass}));
    EXPECT_EQ(Feed(module, "$PMTK353,0,1,0,0,1*2B\r\n"), "$PMTK001,353,2*34\r\n");
    EXPECT_EQ(module.ConditionsAt(0).stage, sim::FixStage::Navigating);  // no restart
}

TEST(ModuleCommands, UbxGnssAndNmeaAreAcknowledgedAndABadChecksumIsRefused) {
    auto module = Module();
    // GNSS: BeiDou and GLONASS on, GPS, SBAS and QZSS off.
    const std::string gnss = Bytes({0xB5, 0x62, 0x06, 0x3E, 0x2C, 0x00, 0x00, 0x00, 0x20, 0x05, 0x00, 0x08, 0x10,
                                    0x00, 0x00, 0x00, 0x01, 0x01, 0x01, 0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x01,
                                    0x03, 0x08, 0x10, 0x00, 0x01, 0x00, 0x01, 0x01, 0x05, 0x00, 0x03, 0x00, 0x00,
                                    0x00, 0x01, 0x01, 0x06, 0x08, 0x0E, 0x00, 0x01, 0x00, 0x01, 0x01, 0xFD, 0x05});
    const std::string nmea = Bytes({0xB5, 0x62, 0x06, 0x17, 0x14, 0x00, 0x00, 0x41, 0x00, 0x02, 0x00, 0x00, 0x00,
                                    0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                    0x75, 0x57});
    std::string broken = gnss;
    broken[22] = 0x01;  // SBAS on, checksum unchanged

    EXPECT_EQ(Feed(module, broken), Bytes({0xB5, 0x62, 0x05, 0x00, 0x02, 0x00, 0x06, 0x3E, 0x4B, 0x70}));
    EXPECT_EQ(Tracked(module.ConditionsAt(0)).size(), 6u);
    EXPECT_EQ(Feed(module, gnss + nmea), Bytes({0xB5, 0x62, 0x05, 0x01, 0x02, 0x00, 0x06, 0x3E, 0x4C, 0x75,
                                                0xB5, 0x62, 0x05, 0x01, 0x02, 0x00, 0x06, 0x17, 0x25, 0x4E}));
    // Galileo, which the message does not name, keeps its setting.
    EXPECT_EQ(Tracked(module.ConditionsAt(0)), (std::set<Constellation>{Constellation::Glonass, Constellation::BeiDou,
                                                                         Constellation::Galileo}));
    EXPECT_TRUE(module.ConditionsAt(0).nmea41);

    // GPS, GLONASS and BeiDou at once (valid checksum FF 45) is refused. A block's enable
    // bit is its fifth byte: GPS at 14, SBAS 22, BeiDou 30, QZSS 38, GLONASS 46.
    std::string three = gnss;
    three[14] = three[22] = 0x01;
    three[50] = static_cast<char>(0xFF);
    three[51] = 0x45;
    EXPECT_EQ(Feed(module, three), Bytes({0xB5, 0x62, 0x05, 0x00, 0x02, 0x00, 0x06, 0x3E, 0x4B, 0x70}));
    EXPECT_FALSE(module.ConditionsAt(0).Tracks(Constellation::Gps));

    // GPS and BeiDou: the message checksum FD 25 belongs to, SBAS off.
    std::string gpsBeiDou = gnss;
    gpsBeiDou[14] = 0x01;
    gpsBeiDou[46] = 0x00;
    gpsBeiDou[50] = static_cast<char>(0xFD);
    gpsBeiDou[51] = 0x25;
    EXPECT_EQ(Feed(module, gpsBeiDou), Bytes({0xB5, 0x62, 0x05, 0x01, 0x02, 0x00, 0x06, 0x3E, 0x4C, 0x75}));
    EXPECT_EQ(Tracked(module.ConditionsAt(0)),
              (std::set<Constellation>{Constellation::Gps, Constellation::BeiDou, Constellation::Galileo}));
}

TEST(ReceiverOutput, AcquiringEpochHasTimeAndSatellitesButNoPosition) {
    sim::ReceiverOutput out{sim::ReceiverOptions{}};
    sim::EpochConditions acquiring;
    acquiring.stage = sim::FixStage::Acquiring;
    const auto lines = Lines(out.Epoch(5, acquiring));
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(lines[0], "$GNGGA,143020.00,,,,,0,00,99.9,,M,,M,,*45");
    EXPECT_EQ(lines[1], "$GNGLL,,,,,143020.00,V,N*50");
    EXPECT_EQ(lines[2], "$GPGSA,A,1,,,,,,,,,,,,,99.9,99.9,99.9*09");
    EXPECT_EQ(lines[lines.size() - 2], "$GNRMC,143020.00,V,,,,,,,070526,,,N*61");
    EXPECT_EQ(lines.back(), "$GNVTG,,T,,M,,N,,K,N*32");
    EXPECT_FALSE(InView(out.Epoch(5, acquiring)).at("GP").empty());

    sim::EpochConditions twoD;
    twoD.stage = sim::FixStage::TwoD;
    int gsa = 0;
    for (const auto& line : Lines(out.Epoch(5, twoD))) {
        std::string name;
        const auto f = Fields(line, name);
        if (name == "GNGGA") {
            EXPECT_EQ(f[5], "1");
        }
        if (name.substr(2) != "GSA") continue;
        EXPECT_EQ(f[1], "2") << line;
        ++gsa;
    }
    EXPECT_EQ(gsa, 4);
}

TEST(ReceiverOutput, OnlyTrackedConstellationsHaveGsaAndGsv) {
    sim::ReceiverOutput out{sim::ReceiverOptions{}};
    sim::EpochConditions c;
    c.tracked = {true, true, true, false, true, false};  // GPS (with SBAS, QZSS) and BeiDou
    EXPECT_EQ(Names(out.Epoch(0, c)),
              (std::set<std::string>{"GNGGA", "GNGLL", "GPGSA", "BDGSA", "GPGSV", "BDGSV", "GNRMC", "GNVTG"}));
    c.tracked = {false, false, false, true, false, false};  // GLONASS alone, with NMEA 4.10 ids
    c.nmea41 = true;
    EXPECT_EQ(Names(out.Epoch(0, c)), (std::set<std::string>{"GNGGA", "GNGLL", "GLGSA", "GLGSV", "GNRMC", "GNVTG"}));
    for (const auto& line : Lines(out.Epoch(0, c))) {
        std::string name;
        const auto f = Fields(line, name);
        if (name == "GLGSA") {
            EXPECT_EQ(f.back(), "2");
        }
    }
}

// ---- GPD upload ---------------------------------------------------------------------

namespace {

// The host's packets, framed here independently of the simulator: 0xAA 0xF0, payload
// (starting with the total length and the type), XOR of the payload, CR LF.
std::string HostPacket(std::vector<uint8_t> payload) {
    const std::size_t total = payload.size() + 5;
    payload[0] = static_cast<uint8_t>(total);
    payload[1] = static_cast<uint8_t>(total >> 8);
    uint8_t x = 0;
    for (uint8_t b : payload) x ^= b;
    std::string out = "\xAA\xF0";
    out.append(payload.begin(), payload.end());
    out += static_cast<char>(x);
    out += "\r\n";
    return out;
}

std::string DataBlock(uint16_t n, uint8_t fill) {
    std::vector<uint8_t> payload = {0, 0, 0x66, 0x02, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8)};
    for (int i = 0; i < 512; ++i) payload.push_back(static_cast<uint8_t>(fill + i));
    return HostPacket(payload);
}

const std::string kSwitch = "$PZRC149,1,115200*11\r\n";
const std::string kEndBlock = Bytes({0xAA, 0xF0, 0x0B, 0x00, 0x66, 0x02, 0xFF, 0xFF, 0x6F, 0x0D, 0x0A});
const std::string kNmeaMode =  // at 115200
    Bytes({0xAA, 0xF0, 0x0E, 0x00, 0x95, 0x00, 0x00, 0x00, 0xC2, 0x01, 0x00, 0x58, 0x0D, 0x0A});
const std::string kSwitchOk = Bytes({0xAA, 0xF0, 0x0C, 0x00, 0x01, 0x00, 0x95, 0x00, 0x03, 0x9B, 0x0D, 0x0A});
const std::string kBlock0Ok = Bytes({0xAA, 0xF0, 0x0C, 0x00, 0x03, 0x00, 0x00, 0x00, 0x01, 0x0E, 0x0D, 0x0A});
const std::string kBlock1Ok = Bytes({0xAA, 0xF0, 0x0C, 0x00, 0x03, 0x00, 0x01, 0x00, 0x01, 0x0F, 0x0D, 0x0A});
const std::string kEndOk = Bytes({0xAA, 0xF0, 0x0C, 0x00, 0x03, 0x00, 0xFF, 0xFF, 0x01, 0x0E, 0x0D, 0x0A});

struct GpdFaultCase {
    const char* legend;
    sim::GpdFaults faults;
    std::string switchReply, block1Reply;
    bool binary;  // the module went to binary mode
};

class GpdFaultReplies : public ::testing::TestWithParam<GpdFaultCase> {};

sim::GpdFaults Fault(int64_t sim::GpdFaults::*field, int64_t target, uint8_t status = 0) {
    sim::GpdFaults f;
    f.*field = target;
    f.badStatus = status;
    return f;
}

}  // namespace

TEST(GpdSession, RepliesAreFramedLikeTheHostsPackets) {
    EXPECT_EQ(sim::BinaryReply(3, 4, 1),
              Bytes({0xAA, 0xF0, 0x0C, 0x00, 0x03, 0x00, 0x04, 0x00, 0x01, 0x0A, 0x0D, 0x0A}));
    EXPECT_EQ(sim::BinaryReply(1, 0x95, 3), kSwitchOk);
}

TEST(GpdSession, UploadSwitchesToBinaryStoresBlocksAndReturnsToNmea) {
    testsupport::ScratchDir dir;
    sim::ModuleCommands module(sim::RestartDelays{}, 1, sim::GpdFaults{}, dir / "upload.gpd");
    EXPECT_EQ(Feed(module, kSwitch), kSwitchOk);
    EXPECT_TRUE(module.BinaryMode());
    // Text is not understood in binary mode.
    EXPECT_EQ(Feed(module, "$PMTK101*32\r\n"), "");
    EXPECT_EQ(Feed(module, "\x01\xAA\x55" + DataBlock(0, 0x10)), kBlock0Ok);
    EXPECT_EQ(Feed(module, DataBlock(1, 0x80)), kBlock1Ok);
    EXPECT_FALSE(module.Upload().complete);
    EXPECT_EQ(Feed(module, kEndBlock), kEndOk);
    EXPECT_TRUE(module.BinaryMode());
    EXPECT_EQ(Feed(module, kNmeaMode), "");
    EXPECT_FALSE(module.BinaryMode());
    EXPECT_EQ(Feed(module, "$PMTK101*32\r\n"), "$PMTK001,101,3*30\r\n");

    const sim::GpdUpload upload = module.Upload();
    EXPECT_TRUE(upload.complete);
    EXPECT_EQ(upload.blocksAccepted, 2);
    EXPECT_EQ(upload.nmeaModeBaud, 115200u);
    ASSERT_EQ(upload.data.size(), 1024u);
    EXPECT_EQ(upload.data[0], 0x10);
    EXPECT_EQ(upload.data[511], 0x0F);  // 0x10 + 511, in a byte
    EXPECT_EQ(upload.data[512], 0x80);
    std::ifstream file(dir / "upload.gpd", std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(written, std::string(upload.data.begin(), upload.data.end()));
}

TEST(GpdSession, DamagedBlockIsRefusedAndABadSwitchCommandIsInvalid) {
    sim::ModuleCommands module(sim::RestartDelays{}, 1, sim::GpdFaults{}, "");
    EXPECT_EQ(Feed(module, "$PZRC149,2,115200*12\r\n"),
              Bytes({0xAA, 0xF0, 0x0C, 0x00, 0x01, 0x00, 0x95, 0x00, 0x00, 0x98, 0x0D, 0x0A}));
    EXPECT_FALSE(module.BinaryMode());
    EXPECT_EQ(Feed(module, kSwitch), kSwitchOk);
    std::string damaged = DataBlock(1, 0);
    damaged[300] ^= 0x40;
    EXPECT_EQ(Feed(module, damaged), Bytes({0xAA, 0xF0, 0x0C, 0x00, 0x03, 0x00, 0x01, 0x00, 0x00, 0x0E, 0x0D, 0x0A}));
    EXPECT_EQ(module.Upload().blocksAccepted, 0);
}

TEST_P(GpdFaultReplies, MisbehaveOnlyWhereAsked) {
    const GpdFaultCase& c = GetParam();
    sim::ModuleCommands module(sim::RestartDelays{}, 1, c.faults, "");
    EXPECT_EQ(Feed(module, kSwitch), c.switchReply);
    ASSERT_EQ(module.BinaryMode(), c.binary);
    if (!c.binary) return;
    EXPECT_EQ(Feed(module, DataBlock(0, 0)), kBlock0Ok);
    EXPECT_EQ(Feed(module, DataBlock(1, 0)), c.block1Reply);
    EXPECT_EQ(Feed(module, kEndBlock), kEndOk);
}

INSTANTIATE_TEST_SUITE_P(
    GpdSession, GpdFaultReplies,
    ::testing::Values(
        GpdFaultCase{"SilentBlock", Fault(&sim::GpdFaults::silentAt, 1), kSwitchOk, "", true},
        GpdFaultCase{"BadStatusBlock", Fault(&sim::GpdFaults::badStatusAt, 1), kSwitchOk,
                     Bytes({0xAA, 0xF0, 0x0C, 0x00, 0x03, 0x00, 0x01, 0x00, 0x00, 0x0E, 0x0D, 0x0A}), true},
        GpdFaultCase{"BadChecksumBlock", Fault(&sim::GpdFaults::badChecksumAt, 1), kSwitchOk,
                     Bytes({0xAA, 0xF0, 0x0C, 0x00, 0x03, 0x00, 0x01, 0x00, 0x01, 0x0E, 0x0D, 0x0A}), true},
        GpdFaultCase{"WrongBlock", Fault(&sim::GpdFaults::wrongBlockAt, 1), kSwitchOk,
                     Bytes({0xAA, 0xF0, 0x0C, 0x00, 0x03, 0x00, 0x02, 0x00, 0x01, 0x0C, 0x0D, 0x0A}), true},
        GpdFaultCase{"SilentSwitch", Fault(&sim::GpdFaults::silentAt, -1), "", "", false},
        GpdFaultCase{"FailedSwitch", Fault(&sim::GpdFaults::badStatusAt, -1, 2),
                     Bytes({0xAA, 0xF0, 0x0C, 0x00, 0x01, 0x00, 0x95, 0x00, 0x02, 0x9A, 0x0D, 0x0A}), "", false},
        GpdFaultCase{"BadChecksumSwitch", Fault(&sim::GpdFaults::badChecksumAt, -1),
                     Bytes({0xAA, 0xF0, 0x0C, 0x00, 0x01, 0x00, 0x95, 0x00, 0x03, 0x9A, 0x0D, 0x0A}), kBlock1Ok,
                     true}),
    [](const auto& info) { return std::string(info.param.legend); });

// ---- over the line --------------------------------------------------------------------

namespace {

// The simulator on its pseudo-terminal, unpaced and flooding, with a host on the other
// end that keeps everything it hears.
class LiveModule {
public:
    explicit LiveModule(sim::SimulatorOptions options) {
        std::string error;
        EXPECT_TRUE(m_line.Open(error)) << error;
        options.paced = false;
        options.flood = true;
        m_module = std::make_unique<sim::Simulator>(m_line, std::move(options));
        m_run = std::thread([this] {
            std::string e;
            m_module->Run(e);
        });
        EXPECT_TRUE(m_host.Open(m_line.SlavePath()));
        EXPECT_TRUE(m_host.SetLine({115200}));
        m_host.SetTimeouts({serial::Timeouts::kMaxTimeout, serial::Timeouts::kMaxTimeout, 200, 0, 0});
    }
    ~LiveModule() {
        m_host.Close();
        m_module->Stop();
        m_run.join();
    }

    void Write(const std::string& bytes) {
        EXPECT_EQ(m_host.Write(bytes.data(), bytes.size()), static_cast<long>(bytes.size()));
    }
    // Reads until `part` has come after `from`; returns where it starts (npos: never).
    std::size_t ReadUntil(const std::string& part, std::size_t from = 0) {
        for (int i = 0; i < 2000; ++i) {
            const auto at = m_heard.find(part, from);
            if (at != std::string::npos) return at;
            char buf[8192];
            const long n = m_host.Read(buf, sizeof buf);
            if (n < 0) break;
            m_heard.append(buf, static_cast<std::size_t>(n));
        }
        return std::string::npos;
    }
    const std::string& Heard() const { return m_heard; }
    sim::Simulator& Module() { return *m_module; }

private:
    sim::PtyLine m_line;
    std::unique_ptr<sim::Simulator> m_module;
    std::thread m_run;
    serial::SerialPort m_host;
    std::string m_heard;
};

// GGA quality and GSA fix type of each whole epoch in `text`, and the sentence names.
struct EpochSeen {
    std::string quality, fixType;
    std::set<std::string> names;
};

std::vector<EpochSeen> EpochsIn(const std::string& text) {
    std::vector<EpochSeen> epochs;
    std::size_t at = text.find("$GNGGA");
    while (at != std::string::npos) {
        const auto next = text.find("$GNGGA", at + 1);
        if (next == std::string::npos) break;
        EpochSeen e;
        for (const auto& line : Lines(text.substr(at, next - at))) {
            std::string name;
            const auto f = Fields(line, name);
            e.names.insert(name);
            if (name == "GNGGA") e.quality = f[5];
            if (name.substr(2) == "GSA" && e.fixType.empty()) e.fixType = f[1];
        }
        epochs.push_back(e);
        at = next;
    }
    return epochs;
}

}  // namespace

TEST(Simulator, RestartOverTheLineDropsTheFixUntilItsTimeToFirstFixHasPassed) {
    sim::SimulatorOptions options;
    options.restartDelays = {5, 4, 3};
    LiveModule live(options);
    ASSERT_NE(live.ReadUntil("$GNGGA"), std::string::npos);
    live.Write("$PZRC030,1,1*28\r\n");
    const std::size_t reply = live.ReadUntil("$PZRC001,030,3*2A\r\n");
    ASSERT_NE(reply, std::string::npos);
    EXPECT_EQ(live.Heard().compare(reply - 2, 2, "\r\n"), 0);  // between sentences
    const std::size_t after = reply + 19;
    std::size_t at = after;
    for (int k = 0; k < 6 && at != std::string::npos; ++k) at = live.ReadUntil("$GNGGA", at + 1);
    ASSERT_NE(at, std::string::npos);
    const auto epochs = EpochsIn(live.Heard().substr(after));
    ASSERT_GE(epochs.size(), 5u);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"0", "1"}, {"0", "1"}, {"1", "2"}, {"1", "3"}, {"1", "3"}};
    for (std::size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(epochs[k].quality, expected[k].first) << "epoch " << k;
        EXPECT_EQ(epochs[k].fixType, expected[k].second) << "epoch " << k;
    }

    live.Write("$PMTK353,1,1,0,0,0*2B\r\n");
    const std::size_t chosen = live.ReadUntil("$PMTK001,353,3*35\r\n", after);
    ASSERT_NE(chosen, std::string::npos);
    at = chosen;
    for (int k = 0; k < 3 && at != std::string::npos; ++k) at = live.ReadUntil("$GNGGA", at + 1);
    ASSERT_NE(at, std::string::npos);
    for (const auto& e : EpochsIn(live.Heard().substr(chosen))) {
        EXPECT_TRUE(e.names.count("GLGSV"));
        EXPECT_FALSE(e.names.count("BDGSA") || e.names.count("BDGSV") || e.names.count("GAGSV"));
    }
}

TEST(Simulator, GpdUploadOverTheLineHoldsNmeaBackUntilTheNmeaModePacket) {
    testsupport::ScratchDir dir;
    sim::SimulatorOptions options;
    options.gpdOutFile = dir / "upload.gpd";
    LiveModule live(options);
    ASSERT_NE(live.ReadUntil("$GNGGA"), std::string::npos);
    live.Write(kSwitch);
    const std::size_t switched = live.ReadUntil(kSwitchOk);
    ASSERT_NE(switched, std::string::npos);
    live.Write(DataBlock(0, 0x21));
    const std::size_t block0 = live.ReadUntil(kBlock0Ok, switched);
    ASSERT_NE(block0, std::string::npos);
    live.Write(kEndBlock);
    const std::size_t end = live.ReadUntil(kEndOk, block0);
    ASSERT_NE(end, std::string::npos);
    // In binary mode the module sends nothing but its replies.
    EXPECT_EQ(live.Heard().substr(switched), kSwitchOk + kBlock0Ok + kEndOk);
    live.Write(kNmeaMode);
    EXPECT_NE(live.ReadUntil("$GNGGA", end), std::string::npos);

    const sim::GpdUpload upload = live.Module().Upload();
    EXPECT_TRUE(upload.complete);
    EXPECT_EQ(upload.nmeaModeBaud, 115200u);
    const std::string file = testsupport::ReadFile(dir / "upload.gpd");
    ASSERT_EQ(file.size(), 512u);
    EXPECT_EQ(static_cast<uint8_t>(file[0]), 0x21);
    EXPECT_EQ(static_cast<uint8_t>(file[511]), 0x20);  // 0x21 + 511, in a byte
}
