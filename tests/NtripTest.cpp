// The corrections chain on loopback: zrsim as a caster, zrsim as the module on a
// pseudo-terminal, zrctl ntrip between them.
#include <gtest/gtest.h>

#include <csignal>
#include <regex>

#include "tests/support/TestSupport.h"

using namespace std::chrono_literals;
using testsupport::ChildProcess;
using testsupport::ScratchDir;

namespace {

// A caster on a free port; its address as zrctl wants it.
std::string CasterAddress(ChildProcess& caster) {
    const std::string first = "caster on ";
    EXPECT_TRUE(caster.WaitFor("\n", 20s)) << caster.Output();
    const auto at = caster.Output().find(first);
    if (at == std::string::npos) return "";
    return caster.Output().substr(at + first.size(), caster.Output().find('\n', at) - at - first.size());
}

}  // namespace

// The module goes Float then Fixed on corrections; a corrupt frame is counted by the
// client and never reaches the module; a dropped connection is made again; the rover's
// GGA reaches the caster, as SIM1 asks for it; with the caster gone the module falls back
// to a plain fix.
TEST(Ntrip, ModuleReachesFixedSurvivesADropAndFallsBackWhenTheCasterStops) {
    for (const char* version : {"2", "1"}) {
        ScratchDir dir;
        ChildProcess caster({ZRSIM, "--caster", "0", "--caster-user", "rover:secret", "--caster-corrupt", "4",
                             "--caster-drop-after", "9"},
                            dir.Path());
        const std::string address = CasterAddress(caster);
        ChildProcess sim({ZRSIM, "--link", dir / "ttySIM0"}, dir.Path());
        ASSERT_TRUE(sim.WaitFor("\n", 20s)) << sim.Output();
        ChildProcess zrctl({ZRCTL, "--port", dir / "ttySIM0", "--baud", "115200", "ntrip", "--caster", address, "--mount",
                            "SIM1", "--user", "rover:secret", "--ntrip", version, "--gga-every", "2"},
                           dir.Path());
        ASSERT_TRUE(zrctl.WaitFor("fix quality 5 (Float)", 60s)) << zrctl.Output();
        ASSERT_TRUE(zrctl.WaitFor("fix quality 4 (Fixed)", 60s)) << zrctl.Output();
        ASSERT_TRUE(zrctl.WaitFor(", 2 connections,", 60s)) << zrctl.Output();
        EXPECT_TRUE(std::regex_search(zrctl.Output(), std::regex("bad frames [1-9]"))) << zrctl.Output();
        EXPECT_NE(zrctl.Output().find(", 1074: "), std::string::npos);
        caster.Signal(SIGTERM);
        EXPECT_EQ(caster.Wait(20s), 0);
        EXPECT_NE(caster.Output().find("zrsim: caster: connection dropped\n"), std::string::npos) << caster.Output();
        EXPECT_NE(caster.Output().find("zrsim: caster: from the rover: $GPGGA,"), std::string::npos) << caster.Output();
        const std::size_t stopped = zrctl.Output().size();
        ASSERT_TRUE(zrctl.WaitFor("(connection refused)", 60s, stopped)) << zrctl.Output();
        ASSERT_TRUE(zrctl.WaitFor("fix quality 1 (GPS fix)", 60s, stopped)) << zrctl.Output().substr(stopped);
        zrctl.Signal(SIGINT);
        EXPECT_EQ(zrctl.Wait(20s), 130);
        // The module took every frame it was given, and none was damaged.
        sim.Signal(SIGTERM);
        EXPECT_EQ(sim.Wait(20s), 0);
        EXPECT_NE(sim.Output().find(" RTCM frames taken, 0 bad\n"), std::string::npos) << sim.Output();
    }
}

// Refusals are said in words with status 1; the table is listed without a port.
TEST(Ntrip, WrongPasswordUnknownMountpointAndNoCasterAreToldAndTheTableListed) {
    ScratchDir dir;
    ChildProcess caster({ZRSIM, "--caster", "0", "--caster-user", "rover:secret"}, dir.Path());
    const std::string address = CasterAddress(caster);
    ChildProcess sim({ZRSIM, "--link", dir / "ttySIM0"}, dir.Path());
    ASSERT_TRUE(sim.WaitFor("\n", 20s)) << sim.Output();
    const auto run = [&](std::vector<std::string> args, int status, const char* seconds = "20") {
        std::vector<std::string> argv{ZRCTL, "--port", dir / "ttySIM0", "--baud", "115200", "--seconds", seconds, "ntrip"};
        argv.insert(argv.end(), args.begin(), args.end());
        ChildProcess zrctl(argv, dir.Path());
        EXPECT_EQ(zrctl.Wait(60s), status) << zrctl.Output();
        return zrctl.Output();
    };
    for (const char* version : {"1", "2"}) {
        EXPECT_NE(run({"--caster", address, "--mount", "SIM1", "--user", "rover:wrong", "--ntrip", version}, 1)
                      .find("zrctl: 401 Unauthorized: check user and password\n"),
                  std::string::npos);
        EXPECT_NE(run({"--caster", address, "--mount", "NOPE", "--ntrip", version}, 1)
                      .find("zrctl: mountpoint NOPE not in the caster's table\n"),
                  std::string::npos);
    }
    ChildProcess table({ZRCTL, "ntrip", "--caster", address, "--table"}, dir.Path());
    EXPECT_EQ(table.Wait(20s), 0);
    EXPECT_EQ(table.Output(), "SIM1  RTCM 3.3  wants GGA\nSIM2  RTCM 3.3  no GGA\n");
    caster.Signal(SIGTERM);
    EXPECT_EQ(caster.Wait(20s), 0);
    const std::string gone = run({"--caster", address, "--mount", "SIM1"}, 1, "4");
    EXPECT_NE(gone.find("zrctl: connection refused\n"), std::string::npos) << gone;
    EXPECT_NE(gone.find("(connection refused)"), std::string::npos) << gone;
}
