// rxwatch as a user runs it against a line that goes away, and the command line both
// receive tools share.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/Nmea.h"
#include "tests/support/TestSupport.h"

using namespace std::chrono_literals;
using testsupport::ChildProcess;
using testsupport::PtyPair;
using testsupport::ScratchDir;

namespace {

constexpr auto kLimit = 20s;

// The rest of the line after `lead` in `text`.
std::string LineAfter(const std::string& text, const std::string& lead) {
    const auto at = text.find(lead);
    if (at == std::string::npos) return {};
    const auto start = at + lead.size();
    return text.substr(start, text.find('\n', start) - start);
}

// The command line run with its standard output sent to `target` (standard error stays
// with the test).
std::vector<std::string> StdoutTo(const std::string& target, std::vector<std::string> command) {
    command.insert(command.begin(), {"/bin/sh", "-c", "out=$1; shift; exec \"$@\" > \"$out\"", "sh", target});
    return command;
}

}  // namespace

TEST(RxWatch, LostLineAndUnwritableCaptureLogAreToldAtOnceAndFailTheRun) {
    ScratchDir dir;
    PtyPair pty;
    testsupport::WriteFile(dir / "LOG", "a file where the directory should be");
    ChildProcess rx({RXWATCH, "--port", pty.SlavePath()}, dir.Path());
    ASSERT_TRUE(rx.WaitFor("capturing to", kLimit)) << rx.Output();
    const std::string problem =
        "rxwatch: cannot write capture log " + LineAfter(rx.Output(), "capturing to ") + ": Not a directory\n";
    pty.WriteMaster("$GPGGA,1*00\r\n");
    ASSERT_TRUE(rx.WaitFor(problem, kLimit)) << rx.Output();
    ASSERT_TRUE(rx.WaitFor("$GPGGA,1*00\n", kLimit));  // receiving goes on
    pty.CloseMaster();
    ASSERT_TRUE(rx.WaitFor("rxwatch: line lost on " + pty.SlavePath() + ": Input/output error\n", kLimit))
        << rx.Output();
    EXPECT_EQ(rx.Wait(kLimit), 1);
    EXPECT_EQ(testsupport::CountOf(rx.Output(), problem), 2u) << rx.Output();  // and in the summary
    EXPECT_NE(rx.Output().find("13 bytes received; no capture log written"), std::string::npos) << rx.Output();
}

TEST(RxWatch, WithWaitTheDeviceIsOpenedAgainWhenItReturns) {
    ScratchDir dir;
    const std::string device = dir / "ttySIM0";
    auto first = std::make_unique<PtyPair>();
    std::filesystem::create_symlink(first->SlavePath(), device);
    ChildProcess rx({RXWATCH, "--port", device, "--wait"}, dir.Path());
    ASSERT_TRUE(rx.WaitFor("capturing to", kLimit)) << rx.Output();
    first->WriteMaster("one\n");
    ASSERT_TRUE(rx.WaitFor("one\n", kLimit));
    // Gone before the line drops, so a reused terminal number is never opened instead.
    std::filesystem::remove(device);
    first.reset();
    ASSERT_TRUE(rx.WaitFor("rxwatch: waiting for " + device + " to come back\n", kLimit)) << rx.Output();
    PtyPair second;
    std::filesystem::create_symlink(second.SlavePath(), device);
    ASSERT_TRUE(rx.WaitFor("rxwatch: line back on " + device, kLimit)) << rx.Output();
    second.WriteMaster("two\n");
    ASSERT_TRUE(rx.WaitFor("two\n", kLimit));
    rx.Signal(SIGTERM);
    EXPECT_EQ(rx.Wait(kLimit), 0) << rx.Output();
    const std::string logs = LineAfter(rx.Output(), "8 bytes received; capture logs ");
    const auto comma = logs.find(", ");
    EXPECT_EQ(testsupport::ReadFile(dir / logs.substr(0, comma)), "one\n") << rx.Output();
    EXPECT_EQ(testsupport::ReadFile(dir / logs.substr(comma + 2)), "two\n") << rx.Output();
}

// The simulator's adapter is pulled and comes back as another device behind its stable
// name: rxwatch says so at once each time and goes on capturing into a new file.
TEST(RxWatch, WithWaitAPulledAdapterIsFoundAgainByItsStableName) {
    ScratchDir dir;
    std::filesystem::create_directories(dir / "by-id");
    const std::string stable = dir / "by-id/usb-Sim_Module_0001-if00-port0";
    ChildProcess module({ZRSIM, "--link", stable, "--rate", "10", "--unplug-after", "1", "--unplug-for", "1"}, dir.Path());
    ASSERT_TRUE(module.WaitFor("\n", kLimit));
    const std::string device = module.Output().substr(0, module.Output().find('\n'));
    ChildProcess rx({RXWATCH, "--port", device, "--baud", "115200", "--wait", "--by-id", dir / "by-id"}, dir.Path());
    ASSERT_TRUE(rx.WaitFor("rxwatch: line lost on " + device + ": Input/output error\nrxwatch: waiting for " + device +
                           " to come back\nrxwatch: line back on ", kLimit)) << rx.Output();
    const std::string back = LineAfter(rx.Output(), "rxwatch: line back on ");
    EXPECT_EQ(back.substr(0, back.find(';')), std::filesystem::read_symlink(stable).string());
    const std::size_t before = testsupport::CountOf(rx.Output(), "GGA,");
    EXPECT_TRUE(testsupport::WaitUntil([&] {
        rx.WaitFor("\n\n\n", 100ms);  // reads what came meanwhile
        return testsupport::CountOf(rx.Output(), "GGA,") > before;
    }, kLimit));
    rx.Signal(SIGTERM);
    EXPECT_EQ(rx.Wait(kLimit), 0) << rx.Output();
    EXPECT_NE(rx.Output().find("; capture logs LOG/"), std::string::npos) << rx.Output();
}

TEST(ReceiveTools, BaudAutoFindsTheModulesRateAndSaysSo) {
    ScratchDir dir;
    ChildProcess module({ZRSIM, "--link", dir / "ttySIM0", "--baud", "9600", "--rate", "5"}, dir.Path());
    ASSERT_TRUE(module.WaitFor("\n", kLimit));
    for (const auto& [tool, extra] : {std::pair{RXWATCH, "GGA,"}, {NMEADUMP, "{\"msg\":1025,"}, {ZRCTL, "[Respond] 030"}}) {
        const std::string name = std::filesystem::path(tool).filename().string();
        std::vector<std::string> args{tool, "--port", dir / "ttySIM0", "--baud", "auto", "--seconds", "2"};
        if (name == "zrctl") args.insert(args.end(), {"send", "ZR", "hot"});
        ChildProcess run(args, dir.Path());
        EXPECT_EQ(run.Wait(kLimit), 0) << run.Output();
        EXPECT_NE(run.Output().find(name + ": trying 115200 ...\n" + name + ": trying 9600 ...\n" + name + ": found 9600\n"),
                  std::string::npos) << run.Output();
        EXPECT_NE(run.Output().find(extra), std::string::npos) << run.Output();
    }
}

// The adapter is pulled while the rates are tried: with --wait the tool waits for it
// and hunts again where it comes back.
TEST(ReceiveTools, BaudAutoWithWaitOutlastsAPullDuringTheHunt) {
    ScratchDir dir;
    ChildProcess module({ZRSIM, "--link", dir / "ttySIM0", "--baud", "57600", "--unplug-after", "0.5",
                         "--unplug-for", "1"}, dir.Path());
    ASSERT_TRUE(module.WaitFor("\n", kLimit));
    ChildProcess run({RXWATCH, "--port", dir / "ttySIM0", "--baud", "auto", "--wait", "--seconds", "8"}, dir.Path());
    EXPECT_EQ(run.Wait(kLimit), 0) << run.Output();
    const std::string& out = run.Output();
    const auto waiting = out.find("rxwatch: waiting for " + dir / "ttySIM0" + " to come back\n");
    ASSERT_NE(waiting, std::string::npos) << out;
    EXPECT_NE(out.find("rxwatch: trying 115200 ...", waiting), std::string::npos) << out;
    EXPECT_NE(out.find("rxwatch: found 57600", waiting), std::string::npos) << out;
    EXPECT_NE(out.find("GGA,"), std::string::npos) << out;
}

TEST(ReceiveTools, BadNumbersAreRefusedNamingTheOptionAndTheValue) {
    const std::pair<std::string, std::string> bad[] = {
        {"--baud", "-1"}, {"--baud", "0"}, {"--baud", "4000001"}, {"--baud", "96o0"}, {"--baud", "Auto"},
        {"--baud", "auto9600"}, {"--baud", ""},
        {"--seconds", "abc"}, {"--seconds", "0"}, {"--seconds", "-2"}, {"--seconds", "inf"},
        {"--seconds", "9.3e9"}, {"--seconds", "1000000001"}, {"--seconds", "1e300"}};
    for (const char* tool : {RXWATCH, NMEADUMP}) {
        for (const auto& [option, value] : bad) {
            ChildProcess run({tool, "--port", "/dev/null", option, value}, "/");
            EXPECT_EQ(run.Wait(kLimit), 2) << tool << " " << option << " " << value;
            EXPECT_NE(run.Output().find(option + " wants"), std::string::npos) << run.Output();
            EXPECT_NE(run.Output().find("\"" + value + "\""), std::string::npos) << run.Output();
        }
    }
    // A run longer than the clock can count would otherwise end at once, as if done.
    ChildProcess zrctl({ZRCTL, "--port", "/dev/null", "--seconds", "9.3e9", "send", "ZR", "hot"}, "/");
    EXPECT_EQ(zrctl.Wait(kLimit), 2);
    EXPECT_NE(zrctl.Output().find("--seconds wants a number above 0 and at most 1e9, not \"9.3e9\""), std::string::npos)
        << zrctl.Output();
}

// Opening a FIFO would wait for a writer: the simulator's replay looks at the kind first.
TEST(ReceiveTools, SimulatorReplayOfAFifoIsRefusedAtOnce) {
    ScratchDir dir;
    ASSERT_EQ(mkfifo((dir / "fifo.log").c_str(), 0600), 0);
    ChildProcess sim({ZRSIM, "--link", dir / "ttySIM0", "--replay", dir / "fifo.log"}, dir.Path());
    EXPECT_EQ(sim.Wait(kLimit), 1) << sim.Output();
    EXPECT_NE(sim.Output().find("zrsim: cannot replay " + dir / "fifo.log" + ": not a regular file\n"), std::string::npos)
        << sim.Output();
}

// A full disk or a reader that has gone: told in one line, the run ends at once, status 1.
TEST(ReceiveTools, FailedStandardOutputIsAnErrorThatEndsTheRun) {
    for (const char* tool : {RXWATCH, NMEADUMP}) {
        const std::string name = std::filesystem::path(tool).filename().string();
        ScratchDir dir;
        PtyPair pty;
        ChildProcess run(StdoutTo("/dev/full", {tool, "--port", pty.SlavePath()}), dir.Path());
        ASSERT_TRUE(run.WaitFor("capturing to", kLimit)) << run.Output();
        for (const char* time : {"123519", "123520", "123521"})
            pty.WriteMaster(testsupport::Sentence(std::string("GPGGA,") + time + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
        EXPECT_EQ(run.Wait(kLimit), 1) << run.Output();
        EXPECT_EQ(testsupport::CountOf(run.Output(), name + ": cannot write standard output: No space left on device\n"),
                  1u) << run.Output();
    }
    ScratchDir dir;
    testsupport::WriteFile(dir / "a.log", testsupport::Sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
    ChildProcess file(StdoutTo("/dev/full", {NMEADUMP, dir / "a.log"}), dir.Path());
    EXPECT_EQ(file.Wait(kLimit), 1) << file.Output();
    EXPECT_NE(file.Output().find("nmeadump: cannot write standard output: No space left on device\n"), std::string::npos)
        << file.Output();

    // The reader of a pipe goes away while rxwatch runs: no SIGPIPE death, the words.
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    const int reader = open((dir / "pipe").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    PtyPair pty;
    ChildProcess rx(StdoutTo(dir / "pipe", {RXWATCH, "--port", pty.SlavePath()}), dir.Path());
    ASSERT_TRUE(rx.WaitFor("capturing to", kLimit)) << rx.Output();
    close(reader);
    pty.WriteMaster("$GPTXT,gone\r\n");
    EXPECT_EQ(rx.Wait(kLimit), 1) << rx.Output();
    EXPECT_NE(rx.Output().find("rxwatch: cannot write standard output: Broken pipe\n"), std::string::npos) << rx.Output();
}

// Nobody reads rxwatch's output while a flooding module fills the line: what the reader
// leaves is counted, not kept, and the run still ends when --seconds says.
TEST(RxWatch, UnreadOutputIsLeftOutAndTheRunKeepsItsTime) {
    ScratchDir dir;
    ChildProcess module({ZRSIM, "--link", dir / "ttySIM0", "--unpaced", "--flood"}, dir.Path());
    ASSERT_TRUE(module.WaitFor("\n", kLimit));
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    const int reader = open((dir / "pipe").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);  // there, never read
    ASSERT_GE(reader, 0);
    ChildProcess rx(StdoutTo(dir / "pipe", {RXWATCH, "--port", dir / "ttySIM0", "--baud", "115200", "--seconds", "3"}),
                    dir.Path());
    EXPECT_EQ(rx.Wait(kLimit), 1) << rx.Output();
    close(reader);
    EXPECT_NE(rx.Output().find(" received bytes not printed: standard output was not read in time\n"), std::string::npos)
        << rx.Output();
    EXPECT_NE(rx.Output().find("bytes received; capture log LOG/"), std::string::npos) << rx.Output();
}
