// zrctl as a test bench runs it against the simulated module.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <csignal>

#include "tests/support/Nmea.h"
#include "tests/support/TestSupport.h"

using namespace std::chrono_literals;
using testsupport::ChildProcess;
using testsupport::ScratchDir;

TEST(Zrctl, RestartTtffAndGpdAgainstTheSimulatedModule) {
    ScratchDir dir;
    ChildProcess sim({ZRSIM, "--link", dir / "ttySIM0", "--rate", "10", "--ttff", "30,15,1", "--gpd-out", dir / "got.gpd"},
                     dir.Path());
    ASSERT_TRUE(sim.WaitFor("\n", 20s)) << sim.Output();
    const std::string port = dir / "ttySIM0";

    ChildProcess hot({ZRCTL, "--port", port, "--baud", "115200", "--seconds", "1", "send", "ZR", "hot"}, dir.Path());
    EXPECT_EQ(hot.Wait(20s), 0) << hot.Output();
    EXPECT_NE(hot.Output().find("[Respond] 030\nStatus: Valid packet, action succeeded\n"), std::string::npos)
        << hot.Output();

    // At 9600 baud the module's ten epochs a second fill the line: an epoch of about 1100
    // bytes takes 1.15 s, and a reply goes out after the epoch on the line, so listening
    // a second could end before it came.
    ChildProcess version({ZRCTL, "--port", port, "--seconds", "3", "raw", "PZRC460"}, dir.Path());
    EXPECT_EQ(version.Wait(20s), 0) << version.Output();
    EXPECT_NE(version.Output().find("[Receive] 461\nVersion:V1.2\n"), std::string::npos) << version.Output();

    ChildProcess ttff({ZRCTL, "--port", port, "--baud", "115200", "--seconds", "30", "ttff", "ZR", "hot"}, dir.Path());
    EXPECT_EQ(ttff.Wait(60s), 0) << ttff.Output();
    EXPECT_NE(ttff.Output().find(" s\n"), std::string::npos) << ttff.Output();

    testsupport::WriteFile(dir / "a.gpd", testsupport::RandomBytes(600, 7));
    ChildProcess gpd({ZRCTL, "--port", port, "--baud", "115200", "gpd", dir / "a.gpd"}, dir.Path());
    EXPECT_EQ(gpd.Wait(60s), 0) << gpd.Output();
    EXPECT_NE(gpd.Output().find("GPD file sent finish"), std::string::npos) << gpd.Output();
    EXPECT_EQ(testsupport::ReadFile(dir / "got.gpd").substr(0, 600), testsupport::ReadFile(dir / "a.gpd"));

    ChildProcess refused({ZRCTL, "--port", port, "constellations", "ZR", "beidou,glonass"}, dir.Path());
    EXPECT_EQ(refused.Wait(20s), 1);
    EXPECT_NE(refused.Output().find("BeiDou and Glonass cannot be selected at the sametime!"), std::string::npos);
    ChildProcess bad({ZRCTL, "--port", port, "send", "XX", "hot"}, dir.Path());
    EXPECT_EQ(bad.Wait(20s), 2);
}

// The other two families answer in their own way: a $PMTK001 sentence, a UBX ACK-ACK
// (one for each message sent); each is printed decoded.
TEST(Zrctl, MtkAndUbxAcknowledgesArePrintedDecoded) {
    ScratchDir dir;
    ChildProcess sim({ZRSIM, "--link", dir / "ttySIM0", "--rate", "10"}, dir.Path());
    ASSERT_TRUE(sim.WaitFor("\n", 20s)) << sim.Output();
    const std::string port = dir / "ttySIM0";
    const auto run = [&](std::vector<std::string> command) {
        std::vector<std::string> args{ZRCTL, "--port", port, "--baud", "115200", "--seconds", "1"};
        args.insert(args.end(), command.begin(), command.end());
        ChildProcess zrctl(args, dir.Path());
        EXPECT_EQ(zrctl.Wait(20s), 0) << zrctl.Output();
        return zrctl.Output();
    };
    std::string out = run({"send", "MTK", "warm"});
    EXPECT_NE(out.find("MTK ACK for PMTK102 (warm start): succeeded\n\n"), std::string::npos) << out;
    out = run({"raw", "PMTK999"});
    EXPECT_NE(out.find("MTK ACK for PMTK999: unsupported\n"), std::string::npos) << out;
    out = run({"send", "UBX", "hot"});
    EXPECT_NE(out.find("UBX ACK-ACK for CFG-RST (06 04)\n\n"), std::string::npos) << out;
    // CFG-GNSS, then CFG-NMEA at once.
    out = run({"constellations", "UBX", "beidou,glonass"});
    EXPECT_NE(out.find("UBX ACK-ACK for CFG-GNSS (06 3E)\n\nUBX ACK-ACK for CFG-NMEA (06 17)\n\n"),
              std::string::npos) << out;
}

// Each GPD fault of the simulated module ends the upload with the step and the reason in
// words and status 1; the module is back in NMEA after it, answering a text command.
TEST(Zrctl, GpdFaultsAreToldByStepAndTheModuleAnswersNmeaAfterwards) {
    struct Case {
        const char* fault;
        const char* message;
    };
    const Case cases[] = {
        {"gpd-silent=-1", "Switch to binary packets: no reply in 2 s (ACK timeout 1); module sent back to NMEA"},
        {"gpd-bad-status=-1,2", "Switch to binary packets: the module failed to switch (ACK error Fail)"},
        {"gpd-wrong-block=0", "Block 1 of 2: the reply answers block 1, type 3 (ACK error 1, seq 1); module sent back to NMEA"},
        {"gpd-bad-status=1", "Block 2 of 2: refused, status 0 (ACK error 2, seq 2); module sent back to NMEA"},
        {"gpd-silent=1", "Block 2 of 2: no reply in 2 s (ACK timeout 2); module sent back to NMEA"},
        {"gpd-bad-checksum=65535", "End block: reply checksum wrong (ACK error -4, seq 65535); module sent back to NMEA"},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        ChildProcess sim({ZRSIM, "--link", dir / "ttySIM0", "--rate", "10", "--unpaced", "--fault", c.fault}, dir.Path());
        ASSERT_TRUE(sim.WaitFor("\n", 20s)) << sim.Output();
        const std::string port = dir / "ttySIM0";
        testsupport::WriteFile(dir / "a.gpd", testsupport::RandomBytes(600, 3));
        ChildProcess gpd({ZRCTL, "--port", port, "--baud", "115200", "gpd", dir / "a.gpd"}, dir.Path());
        EXPECT_EQ(gpd.Wait(30s), 1) << c.fault << "\n" << gpd.Output();
        EXPECT_NE(gpd.Output().find(std::string(c.message) + "\n"), std::string::npos) << c.fault << "\n" << gpd.Output();
        ChildProcess version({ZRCTL, "--port", port, "--baud", "115200", "--seconds", "1", "raw", "PZRC460"}, dir.Path());
        EXPECT_EQ(version.Wait(20s), 0) << version.Output();
        EXPECT_NE(version.Output().find("Version:"), std::string::npos) << c.fault << "\n" << version.Output();
    }
}

// Blocks are told as they go; Ctrl+C in a wait cancels at once, the module sent back to
// NMEA, with the status of a program ended by Ctrl+C.
TEST(Zrctl, GpdTellsEachBlockAndCtrlCCancelsBackToNmea) {
    ScratchDir dir;
    ChildProcess sim({ZRSIM, "--link", dir / "ttySIM0", "--rate", "10", "--unpaced", "--fault", "gpd-silent=2"},
                     dir.Path());
    ASSERT_TRUE(sim.WaitFor("\n", 20s)) << sim.Output();
    testsupport::WriteFile(dir / "a.gpd", testsupport::RandomBytes(1500, 5));
    ChildProcess gpd({ZRCTL, "--port", dir / "ttySIM0", "--baud", "115200", "gpd", dir / "a.gpd"}, dir.Path());
    ASSERT_TRUE(gpd.WaitFor("block 3 of 3\n", 20s)) << gpd.Output();
    gpd.Signal(SIGINT);
    EXPECT_EQ(gpd.Wait(1500ms), 130) << gpd.Output();  // well inside the 2 s the wait had left
    EXPECT_EQ(gpd.Output(), "block 1 of 3\nblock 2 of 3\nblock 3 of 3\nBlock 3 of 3: cancelled; module sent back to NMEA\n");
}

// Only a regular file of 1 to 4000 bytes goes out: devices, a FIFO (opened without
// waiting for a writer) and an empty file are refused before the port is opened.
TEST(Zrctl, GpdRefusesWhatIsNoFileOfOneToFourThousandBytes) {
    ScratchDir dir;
    testsupport::WriteFile(dir / "empty.gpd", "");
    testsupport::WriteFile(dir / "big.gpd", std::string(4001, 'x'));
    ASSERT_EQ(mkfifo((dir / "pipe.gpd").c_str(), 0600), 0);
    const std::pair<std::string, const char*> cases[] = {
        {"/dev/zero", "GPD file is not a regular file!"}, {"/dev/null", "GPD file is not a regular file!"},
        {dir / "pipe.gpd", "GPD file is not a regular file!"}, {dir.Path(), "GPD file is not a regular file!"},
        {dir / "empty.gpd", "GPD file is empty!"}, {dir / "big.gpd", "GPD file length > 4000!"},
        {dir / "missing.gpd", "Could not open the GPD file!"}};
    for (const auto& [file, message] : cases) {
        ChildProcess gpd({ZRCTL, "--port", dir / "nothing-here", "gpd", file}, dir.Path());
        EXPECT_EQ(gpd.Wait(10s), 1) << file;
        EXPECT_EQ(gpd.Output(), std::string("zrctl: ") + message + "\n") << file;
    }
}

// A series of hot restarts against the module's own half-second fix: a line per cycle,
// the statistics, the CSV; a silent module times out; Ctrl+C and a dead line end the series.
TEST(Zrctl, TtffCyclesPrintEachCycleAndTheStatisticsAndEndOnTimeOutCtrlCOrLostLine) {
    ScratchDir dir;
    ChildProcess sim({ZRSIM, "--link", dir / "ttySIM0", "--rate", "10", "--unpaced", "--ttff", "30,15,0.5"},
                     dir.Path());
    ASSERT_TRUE(sim.WaitFor("\n", 20s)) << sim.Output();
    const std::string port = dir / "ttySIM0";
    ChildProcess series({ZRCTL, "--port", port, "--baud", "115200", "ttff", "ZR", "hot", "--cycles", "3", "--timeout",
                         "20", "--csv", dir / "ttff.csv"},
                        dir.Path());
    ASSERT_EQ(series.Wait(60s), 0) << series.Output();
    for (const char* line : {"cycle 1  hot  0.5 s  ", "cycle 2  hot  0.5 s  ", "cycle 3  hot  0.5 s  ",
                             "3 of 3 cycles reached 3D: min 0.5 s, median 0.50 s, mean 0.50 s, max 0.5 s\n"})
        EXPECT_NE(series.Output().find(line), std::string::npos) << line << "\n" << series.Output();
    const std::string csv = testsupport::ReadFile(dir / "ttff.csv");
    EXPECT_EQ(testsupport::CountOf(csv, ",hot,0.5,"), 3u) << csv;
    EXPECT_NE(csv.find("\nreached_3d,3\n"), std::string::npos) << csv;

    sim.Signal(SIGUSR1);  // the module is taken out: silent
    ChildProcess silent({ZRCTL, "--port", port, "ttff", "ZR", "hot", "--cycles", "2", "--timeout", "0.5"}, dir.Path());
    EXPECT_EQ(silent.Wait(30s), 1) << silent.Output();
    EXPECT_EQ(testsupport::CountOf(silent.Output(), "  hot  time-out  "), 2u) << silent.Output();
    EXPECT_NE(silent.Output().find("0 of 2 cycles reached 3D (2 time-outs)\n"), std::string::npos);

    sim.Signal(SIGUSR1);  // back; a cold start series stopped by Ctrl+C keeps what it had
    ChildProcess stopped({ZRCTL, "--port", port, "ttff", "ZR", "cold", "--cycles", "3", "--csv", dir / "stop.csv"},
                         dir.Path());
    ASSERT_TRUE(stopped.WaitFor("[Respond] 030\n", 20s)) << stopped.Output();
    stopped.Signal(SIGINT);
    EXPECT_EQ(stopped.Wait(20s), 130) << stopped.Output();
    EXPECT_NE(stopped.Output().find("zrctl: stopped by SIGINT (0 of 3 cycles measured)"), std::string::npos);
    EXPECT_TRUE(testsupport::Exists(dir / "stop.csv"));

    // Pulled out by the cable during a cold start.
    ChildProcess lost({ZRCTL, "--port", port, "ttff", "ZR", "cold", "--cycles", "2", "--csv", dir / "lost.csv"},
                      dir.Path());
    ASSERT_TRUE(lost.WaitFor("[Respond] 030\n", 20s)) << lost.Output();
    sim.Signal(SIGKILL);
    EXPECT_EQ(lost.Wait(30s), 1) << lost.Output();
    EXPECT_NE(lost.Output().find("zrctl: line lost on " + port + ": Input/output error (0 of 2 cycles measured)"),
              std::string::npos)
        << lost.Output();
    EXPECT_TRUE(testsupport::ReadFile(dir / "lost.csv").starts_with("cycle,restart,ttff_s,started\n\n"));
    ChildProcess badCount({ZRCTL, "--port", port, "ttff", "ZR", "hot", "--cycles", "0"}, dir.Path());
    EXPECT_EQ(badCount.Wait(20s), 2);
}

// A module on a bare line: its reply's fields reach the terminal with control bytes
// shown as \xHH, and a line lost while replies are listened for ends zrctl at once,
// not when --seconds does.
namespace {

// The command zrctl sends, read once it has the line open.
std::string Command(testsupport::PtyPair& pty) {
    std::string got;
    testsupport::WaitUntil([&] { return (got += pty.ReadMaster(64, 100)).ends_with("\r\n"); }, 5s);
    return got;
}

}  // namespace

TEST(Zrctl, ReplyTextIsEscapedAndALostLineIsToldAtOnce) {
    ScratchDir dir;
    testsupport::PtyPair pty;
    ChildProcess version({ZRCTL, "--port", pty.SlavePath(), "--seconds", "1", "raw", "PZRC460"}, dir.Path());
    EXPECT_EQ(Command(pty), testsupport::Sentence("PZRC460"));
    pty.WriteMaster(testsupport::Sentence("PZRC461,V1\x1B[2J\x07"));
    EXPECT_EQ(version.Wait(20s), 0) << version.Output();
    EXPECT_NE(version.Output().find("Version:V1\\x1B[2J\\x07\n"), std::string::npos) << version.Output();
    EXPECT_EQ(version.Output().find('\x1B'), std::string::npos) << version.Output();

    for (const std::vector<std::string>& verb : {std::vector<std::string>{"send", "ZR", "hot"},
                                                {"constellations", "ZR", "gps"}, {"raw", "PZRC460"}}) {
        testsupport::PtyPair line;
        std::vector<std::string> args{ZRCTL, "--port", line.SlavePath(), "--seconds", "600"};
        args.insert(args.end(), verb.begin(), verb.end());
        ChildProcess run(args, dir.Path());
        EXPECT_TRUE(Command(line).starts_with("$PZRC")) << verb[0];
        line.CloseMaster();
        EXPECT_EQ(run.Wait(20s), 1) << verb[0] << run.Output();
        EXPECT_NE(run.Output().find("zrctl: line lost on " + line.SlavePath() + ": Input/output error\n"),
                  std::string::npos) << run.Output();
    }
}
