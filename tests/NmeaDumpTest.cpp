// The headless decoder as a user runs it: a capture file in, JSON lines out.
#include <gtest/gtest.h>

#include <poll.h>

#include <cstdio>
#include <memory>

#include "tests/support/Nmea.h"
#include "tests/support/TestSupport.h"

namespace {

std::string Output(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe.get())) > 0) out.append(buf, n);
    return out;
}

constexpr std::chrono::seconds kLimit(20);

// The far end of the line sees no one holding the device any more.
bool HungUp(const testsupport::PtyPair& pty) {
    return testsupport::WaitUntil([&] {
        pollfd p{pty.Master(), 0, 0};
        return ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP);
    }, kLimit);
}

}  // namespace

TEST(NmeaDump, PrintsEachWindowMessageAsOneJsonLine) {
    testsupport::ScratchDir dir;
    testsupport::WriteFile(dir / "capture.log",
                           "junk" + testsupport::Sentence("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A") +
                               testsupport::Sentence("PZRC001,030,3") + testsupport::Sentence("PMTK001,102,3") +
                               std::string("\xB5\x62\x05\x00\x02\x00\x06\x3E\x4B\x70", 10) +
                               std::string("\xAA\xF0\x0C\x00\x03\x00\x04\x00\x01\x0A\r\n", 12));
    const std::string out = Output(std::string(NMEADUMP) + " " + (dir / "capture.log"));
    EXPECT_EQ(out,
              "{\"msg\":1031,\"window\":\"NMEA info\",\"start\":0,\"length\":44,"
              "\"sentence\":\"$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A*25\\r\"}\n"
              "{\"msg\":1030,\"window\":\"NMEA info\",\"vtg\":{\"courseTrue\":54.7000008,\"courseMagnetic\":34.4000015,"
              "\"speedKnots\":5.5,\"speedKmh\":10.1999998,\"mode\":\"A\"}}\n"
              "{\"msg\":1105,\"window\":\"Velocity\",\"vtg\":{\"courseTrue\":54.7000008,\"courseMagnetic\":34.4000015,"
              "\"speedKnots\":5.5,\"speedKmh\":10.1999998,\"mode\":\"A\"}}\n"
              "{\"msg\":1126,\"window\":\"Navigation command\",\"reply\":[\"[Receive] 001\",\"[Respond] 030\","
              "\"Status: Valid packet, action succeeded\",\"\"]}\n"
              "{\"msg\":1126,\"window\":\"Navigation command\",\"reply\":[\"MTK ACK for PMTK102 (warm start): "
              "succeeded\",\"\"]}\n"
              "{\"msg\":1126,\"window\":\"Navigation command\",\"reply\":[\"UBX ACK-NAK for CFG-GNSS (06 3E): "
              "refused\",\"\"]}\n"
              "{\"binary\":\"aaf00c0003000400010a0d0a\",\"check\":0}\n");
    // Standard input works the same; a missing file is an error.
    EXPECT_EQ(Output(std::string(NMEADUMP) + " < " + (dir / "capture.log")), out);
    EXPECT_NE(std::system((std::string(NMEADUMP) + " /nonexistent/file 2>/dev/null").c_str()), 0);
}

TEST(NmeaDump, UnreadableInputIsAnError) {
    testsupport::ScratchDir dir;
    testsupport::ChildProcess dump({NMEADUMP, dir.Path()}, "/");
    EXPECT_EQ(dump.Wait(kLimit), 1);
    EXPECT_EQ(dump.Output(), "nmeadump: cannot read " + dir.Path() + ": Is a directory\n");
}

TEST(NmeaDumpPort, RunEndingOnTimeDecodesEverySentenceAlreadyReceived) {
    testsupport::ScratchDir dir;
    testsupport::PtyPair pty;
    testsupport::ChildProcess dump({NMEADUMP, "--port", pty.SlavePath(), "--seconds", "2"}, dir.Path());
    ASSERT_TRUE(dump.WaitFor("capturing to", kLimit)) << dump.Output();
    // Far more JSON than the pipe holds while nobody reads it: the link thread is still
    // behind when the time is up.
    std::string lines;
    for (int i = 0; i < 200; ++i)
        lines += testsupport::Sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    pty.WriteMaster(lines);
    ASSERT_TRUE(HungUp(pty));
    EXPECT_EQ(dump.Wait(kLimit), 0) << dump.Output();
    EXPECT_EQ(testsupport::CountOf(dump.Output(), "\"msg\":1031"), 200u);
}

TEST(NmeaDumpPort, LostLineIsToldAndFailsTheRun) {
    testsupport::ScratchDir dir;
    testsupport::PtyPair pty;
    testsupport::ChildProcess dump({NMEADUMP, "--port", pty.SlavePath()}, dir.Path());
    ASSERT_TRUE(dump.WaitFor("capturing to", kLimit)) << dump.Output();
    pty.CloseMaster();
    EXPECT_EQ(dump.Wait(kLimit), 1);
    EXPECT_EQ(testsupport::CountOf(dump.Output(), "nmeadump: line lost on " + pty.SlavePath() +
                                                      ": Input/output error\n"), 1u) << dump.Output();
}
