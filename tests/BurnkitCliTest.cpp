// The command-line flasher as a production script runs it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/serial/SerialPort.h"
#include "tests/support/SimulatedChip.h"

namespace {

struct Outcome {
    int status;
    std::string output;  // standard output and error together
};

Outcome Cli(const std::string& arguments) {
    const std::string command = std::string(BURNKIT_CLI) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    Outcome o{-1, {}};
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) o.output.append(buf, n);
    const int raw = pclose(pipe);
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return o;
}

}  // namespace

TEST(BurnkitCli, FlashesEveryPortAndSaysSo) {
    testsupport::SimulatedChip a, b;
    const std::string image = testsupport::RandomBytes(3000, 21);
    testsupport::WriteFile(a.Dir() / "image.bin", image);
    const Outcome o = Cli("--port " + a.Path() + " --port " + b.Path() + " --image " + (a.Dir() / "image.bin"));
    EXPECT_EQ(o.status, 0) << o.output;
    EXPECT_NE(o.output.find(a.Path() + ": Burn Flash Img Success !"), std::string::npos) << o.output;
    EXPECT_NE(o.output.find(b.Path() + ": Burn Flash Img Success !"), std::string::npos) << o.output;
    EXPECT_TRUE(a.Flash().compare(0, image.size(), image) == 0);
    EXPECT_TRUE(b.Flash().compare(0, image.size(), image) == 0);
}

// The loader's closing command reaches the module, which is then back in its firmware:
// the same module flashes again.
TEST(BurnkitCli, SameModuleFlashesTwiceAndEachLinePrintsOnce) {
    testsupport::SimulatedChip chip;
    const std::string image = testsupport::RandomBytes(50000, 22);
    testsupport::WriteFile(chip.Dir() / "image.bin", image);
    for (int run = 0; run < 2; ++run) {
        const Outcome o = Cli("--port " + chip.Path() + " --image " + (chip.Dir() / "image.bin"));
        ASSERT_EQ(o.status, 0) << "run " << run << ": " << o.output;
        std::size_t hundreds = 0;
        for (std::size_t at = o.output.find("100%"); at != std::string::npos; at = o.output.find("100%", at + 1))
            ++hundreds;
        EXPECT_EQ(hundreds, 1u) << o.output;
    }
    EXPECT_TRUE(chip.Flash().compare(0, image.size(), image) == 0);
}

TEST(BurnkitCli, ReportAppendsACsvLinePerPortAndJsonGoesToStandardOutput) {
    testsupport::SimulatedChip chip;
    testsupport::WriteFile(chip.Dir() / "image.bin", testsupport::RandomBytes(2000, 23));
    const std::string report = chip.Dir() / "runs.csv";
    const std::string gone = chip.Dir() / "ttyGONE";
    const std::string command = std::string(BURNKIT_CLI) + " --port " + chip.Path() + " --port " + gone +
                                " --image " + (chip.Dir() / "image.bin") + " --report " + report + " --json 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    EXPECT_EQ(WEXITSTATUS(pclose(pipe)), 1);  // one port would not open
    // Standard output holds the two objects and nothing else.
    ASSERT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
    EXPECT_EQ(out.rfind("{\"time\":\"", 0), 0u) << out;
    EXPECT_NE(out.find("\"slot\":1,\"port\":\"" + chip.Path() + "\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"result\":\"0\",\"meaning\":\"success\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"slot\":2,\"port\":\"" + gone + "\""), std::string::npos) << out;
    const std::string csv = testsupport::ReadFile(report);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3) << csv;  // the header and a line per port
    Outcome again = Cli("--port " + chip.Path() + " --image " + (chip.Dir() / "image.bin") + " --report " + report);
    EXPECT_EQ(again.status, 0) << again.output;
    const std::string more = testsupport::ReadFile(report);
    EXPECT_EQ(more.compare(0, csv.size(), csv), 0);  // appended, never rewritten
    EXPECT_EQ(std::count(more.begin(), more.end(), '\n'), 4);
    again = Cli("--port " + chip.Path() + " --image " + (chip.Dir() / "image.bin") + " --report /nonexistent/runs.csv");
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.output.find("cannot append the record of " + chip.Path() + " to /nonexistent/runs.csv"),
              std::string::npos)
        << again.output;
}

// A fixture on the line: a module put in is flashed once; the next waits until it was
// taken out and another put in.
TEST(BurnkitCli, AutoModeFlashesEachModulePutIntoTheFixture) {
    testsupport::SimulatedChip chip;
    testsupport::WriteFile(chip.Dir() / "image.bin", testsupport::RandomBytes(3000, 24));
    const std::string report = chip.Dir() / "runs.csv";
    chip.SetInserted(false);
    testsupport::ChildProcess cli({BURNKIT_CLI, "--port", chip.Path(), "--image", chip.Dir() / "image.bin", "--auto",
                                   "--quiet-ms", "300", "--report", report},
                                  chip.Dir().Path());
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_EQ(testsupport::ReadFile(report), "");  // an empty fixture flashes nothing
    chip.SetInserted(true);
    ASSERT_TRUE(cli.WaitFor(": module 1: Burn Flash Img Success !", std::chrono::seconds(30))) << cli.Output();
    // The flashed module talks again: no second run until it was taken out.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(cli.Output().find("module 2"), std::string::npos) << cli.Output();
    chip.SetInserted(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    chip.SetInserted(true);
    ASSERT_TRUE(cli.WaitFor(": module 2: Burn Flash Img Success !", std::chrono::seconds(30))) << cli.Output();
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait(std::chrono::seconds(5)), 130) << cli.Output();
    const std::string csv = testsupport::ReadFile(report);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3) << csv;
}

// A module already in the fixture when the tool starts talks NMEA: it is flashed at once.
TEST(BurnkitCli, AutoModeFlashesAModuleAlreadyInTheFixture) {
    testsupport::SimulatedChip chip;
    testsupport::WriteFile(chip.Dir() / "image.bin", testsupport::RandomBytes(3000, 25));
    testsupport::ChildProcess cli({BURNKIT_CLI, "--port", chip.Path(), "--image", chip.Dir() / "image.bin", "--auto",
                                   "--quiet-ms", "300"},
                                  chip.Dir().Path());
    ASSERT_TRUE(cli.WaitFor(": module 1: Burn Flash Img Success !", std::chrono::seconds(30))) << cli.Output();
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait(std::chrono::seconds(5)), 130) << cli.Output();
}

TEST(BurnkitCli, SigintStopsTheRunFreesThePortAndExitsWith130) {
    sim::ChipFaults silent;
    silent.silentBootRom = true;
    testsupport::SimulatedChip chip(silent);
    testsupport::WriteFile(chip.Dir() / "image.bin", std::string(1000, 'x'));
    testsupport::ChildProcess cli({BURNKIT_CLI, "--port", chip.Path(), "--image", chip.Dir() / "image.bin"},
                                  chip.Dir().Path());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto signalled = std::chrono::steady_clock::now();
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait(std::chrono::seconds(5)), 130) << cli.Output();
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(1));
    EXPECT_NE(cli.Output().find(chip.Path() + ": Stopped"), std::string::npos) << cli.Output();
    serial::SerialPort probe;
    EXPECT_TRUE(probe.Open(chip.Path()));
}

TEST(BurnkitCli, BadInputsGiveClearMessagesAndNonZeroStatus) {
    testsupport::ScratchDir dir;
    testsupport::WriteFile(dir / "tiny.bin", "abc");
    testsupport::WriteFile(dir / "image.bin", std::string(100, 'x'));
    Outcome o = Cli("--image " + (dir / "image.bin"));
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.output.find("no --port given"), std::string::npos);
    o = Cli("--port /dev/null --image " + (dir / "missing.bin"));
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.output.find("missing.bin: cannot open it"), std::string::npos) << o.output;
    o = Cli("--port /dev/null --image " + (dir / "tiny.bin"));
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.output.find("is 3 bytes; an image needs at least 4"), std::string::npos) << o.output;
    o = Cli("--port /dev/ttyNoSuchPort --image " + (dir / "image.bin"));
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.output.find("Open/dev/ttyNoSuchPort Failed!"), std::string::npos) << o.output;
    o = Cli("--port /dev/ttyNoSuchPort --baud 12345 --image " + (dir / "image.bin"));
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.output.find("--baud"), std::string::npos);
    for (const char* bad : {"-1", "abc", "0", "12x"}) {
        o = Cli("--port /dev/null --handshake-attempts " + std::string(bad) + " --image " + (dir / "image.bin"));
        EXPECT_EQ(o.status, 2) << bad;
        EXPECT_NE(o.output.find("--handshake-attempts wants a whole number"), std::string::npos) << o.output;
    }
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    o = Cli("--port /dev/null --image " + (dir / "fifo"));  // no hang on a FIFO
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.output.find("fifo: not a regular file"), std::string::npos) << o.output;

    sim::ChipFaults silent;
    silent.silentBootRom = true;
    testsupport::SimulatedChip chip(silent);
    o = Cli("--port " + chip.Path() + " --handshake-attempts 20 --handshake-passes 1 --image " + (dir / "image.bin"));
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.output.find("Error=b0006 (no answer to the boot ROM handshake: is the module powered and wired?)"),
              std::string::npos)
        << o.output;
}

// The result line and the records say the rate the image went at and why, who ran the
// fixture and where each run's steps are logged.
TEST(BurnkitCli, ResultLinesAndRecordsCarryTheRateTheFailureAndTheOperator) {
    sim::ChipFaults refusing;
    refusing.refuseBaudSwitch = true;
    testsupport::SimulatedChip chip(refusing);
    testsupport::WriteFile(chip.Dir() / "image.bin", testsupport::RandomBytes(3000, 25));
    const std::string report = chip.Dir() / "runs.csv";
    Outcome o = Cli("--port " + chip.Path() + " --image " + (chip.Dir() / "image.bin") + " --report " + report +
                    " --operator Ana --lot L17 --json");
    ASSERT_EQ(o.status, 0) << o.output;
    EXPECT_NE(o.output.find(chip.Path() + ": Burn Flash Img Success !; written at 115200 baud: the module refused 921600"),
              std::string::npos)
        << o.output;
    EXPECT_NE(o.output.find("\"rate\":115200,\"packet_repeats\":0,\"failure\":\"\""), std::string::npos) << o.output;
    const std::string csv = testsupport::ReadFile(report);
    EXPECT_NE(csv.find("," + (chip.Dir() / "image.bin") + ",115200,0,,,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",Ana,L17," + report + ".runs/"), std::string::npos) << csv;
    const std::vector<std::string> logs = testsupport::ListDir(report + ".runs");
    ASSERT_EQ(logs.size(), 1u);
    const std::string log = testsupport::ReadFile(report + ".runs/" + logs[0]);
    EXPECT_NE(log.find("written at 115200 baud: the module refused 921600"), std::string::npos) << log;
    EXPECT_NE(log.find("done: success"), std::string::npos) << log;

    sim::ChipFaults aborting;
    aborting.abortPacket = 1;
    testsupport::SimulatedChip other(aborting);
    o = Cli("--port " + other.Path() + " --image " + (chip.Dir() / "image.bin") + " --report /dev/full");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.output.find(other.Path() + ": Burn Flash Img Fail ! Error=e (the module's loader aborted the stream "
                                           "(cause 0x05) at packet 1"),
              std::string::npos)
        << o.output;
    EXPECT_NE(o.output.find("cannot append the record of " + other.Path() + " to /dev/full: No space left on device"),
              std::string::npos)
        << o.output;
}

// A fixture's adapter pulled and plugged in again: said at once, recorded, and the port
// is used again when it comes back; the lost port makes the exit status non-zero.
TEST(BurnkitCli, AutoModeSaysAPortWasLostAndWaitsForItToComeBack) {
    testsupport::SimulatedChip chip;
    const std::string link = chip.MakeLink("ttyFIXTURE");
    testsupport::WriteFile(chip.Dir() / "image.bin", testsupport::RandomBytes(3000, 26));
    const std::string report = chip.Dir() / "runs.csv";
    chip.SetInserted(false);
    testsupport::ChildProcess cli({BURNKIT_CLI, "--port", link, "--image", chip.Dir() / "image.bin", "--auto",
                                   "--quiet-ms", "300", "--report", report},
                                  chip.Dir().Path());
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    chip.SetPlugged(false);
    ASSERT_TRUE(cli.WaitFor(link + ": port lost", std::chrono::seconds(10))) << cli.Output();
    chip.SetPlugged(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    chip.SetInserted(true);
    ASSERT_TRUE(cli.WaitFor(": module 1: Burn Flash Img Success !", std::chrono::seconds(30))) << cli.Output();
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait(std::chrono::seconds(5)), 1) << cli.Output();
    EXPECT_NE(cli.Output().find(link + " was lost 1 time(s)"), std::string::npos) << cli.Output();
    const std::string csv = testsupport::ReadFile(report);
    EXPECT_EQ(testsupport::CountOf(csv, "\n"), 3u) << csv;
    EXPECT_NE(csv.find(",3,no port to flash through,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",port lost,port lost,"), std::string::npos) << csv;
}

// With --wait-for-ports a fixture's port that is not there yet is waited for, and
// Ctrl+C ends the session as usual.
TEST(BurnkitCli, AutoModeWithWaitForPortsWaitsForAPortMissingAtTheStart) {
    testsupport::SimulatedChip chip;
    testsupport::WriteFile(chip.Dir() / "image.bin", testsupport::RandomBytes(3000, 27));
    chip.SetInserted(false);
    const std::string link = chip.Dir() / "ttyFIXTURE";
    testsupport::ChildProcess cli({BURNKIT_CLI, "--port", link, "--image", chip.Dir() / "image.bin", "--auto",
                                   "--wait-for-ports", "--quiet-ms", "300"},
                                  chip.Dir().Path());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    chip.MakeLink("ttyFIXTURE");
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    chip.SetInserted(true);
    ASSERT_TRUE(cli.WaitFor(link + ": module 1: Burn Flash Img Success !", std::chrono::seconds(30))) << cli.Output();
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait(std::chrono::seconds(5)), 130) << cli.Output();
}
