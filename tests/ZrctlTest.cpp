// zrctl as a test bench runs it against the simulated module.
#include <gtest/gtest.h>

#include "TestSupport.h"

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

    ChildProcess version({ZRCTL, "--port", port, "--seconds", "1", "raw", "PZRC460"}, dir.Path());
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
