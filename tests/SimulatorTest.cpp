#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "NmeaFormat.h"
#include "PtyLine.h"
#include "ReceiverOutput.h"
#include "SerialPort.h"
#include "Simulator.h"
#include "TestSupport.h"

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
