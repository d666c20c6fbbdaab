#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "monitor/link/CaptureLog.h"
#include "monitor/link/NmeaThread.h"
#include "tests/support/TestSupport.h"

using testsupport::ReadFile;
using testsupport::ScratchDir;

namespace {

std::tm May7At143015() {
    std::tm t{};
    t.tm_mon = 4;
    t.tm_mday = 7;
    t.tm_hour = 14;
    t.tm_min = 30;
    t.tm_sec = 15;
    return t;
}

void Append(CaptureLog& log, const std::string& bytes) {
    log.Append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

TEST(CaptureLogName, MonthDayTimeAndDeviceName) {
    EXPECT_EQ(FormatCaptureLogName("/dev/ttyUSB0", May7At143015()), "0507_143015_ttyUSB0.log");
    EXPECT_EQ(FormatCaptureLogName("/dev/pts/3", May7At143015()), "0507_143015_pts-3.log");
    std::tm jan{};
    jan.tm_mday = 1;
    EXPECT_EQ(FormatCaptureLogName("/dev/ttyS0", jan), "0101_000000_ttyS0.log");
}

TEST(CaptureLog, NamingAloneMakesNoFileAndNoDirectory) {
    ScratchDir dir;
    CaptureLog log(dir / "LOG");
    log.Name("/dev/ttyUSB0", May7At143015());
    log.Close();
    EXPECT_FALSE(testsupport::Exists(dir / "LOG"));
}

TEST(CaptureLog, FirstBlockCreatesTheDirectoryAndIsItselfLogged) {
    ScratchDir dir;
    CaptureLog log(dir / "LOG");
    log.Name("/dev/ttyUSB0", May7At143015());
    Append(log, "$GPGGA");
    EXPECT_EQ(log.FilePath(), dir / "LOG/0507_143015_ttyUSB0.log");
    // Unbuffered: on disk before the connection ends.
    EXPECT_EQ(ReadFile(log.FilePath()), "$GPGGA");
    Append(log, ",1*00\r\n");
    log.Close();
    EXPECT_EQ(ReadFile(dir / "LOG/0507_143015_ttyUSB0.log"), "$GPGGA,1*00\r\n");
}

TEST(CaptureLog, HoldsEveryByteValueExactlyInOrder) {
    ScratchDir dir;
    CaptureLog log(dir / "LOG");
    log.Name("/dev/ttyUSB0", May7At143015());
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const std::string packet = "\xAA\xF0\x03\x00\x95\x00\r\n";
    Append(log, all);
    Append(log, packet);
    Append(log, std::string(8192, '\0'));
    log.Close();
    EXPECT_EQ(ReadFile(dir / "LOG/0507_143015_ttyUSB0.log"), all + packet + std::string(8192, '\0'));
}

TEST(CaptureLog, ReconnectWithinTheSameSecondKeepsEveryConnectionsFile) {
    ScratchDir dir;
    CaptureLog log(dir / "LOG");
    log.Name("/dev/ttyUSB0", May7At143015());
    Append(log, "first connection");
    log.Close();
    Append(log, ", after a close");  // the same connection's file reopened carries on
    log.Close();
    log.Name("/dev/ttyUSB0", May7At143015());
    Append(log, "second");
    log.Close();
    CaptureLog nextRun(dir / "LOG");  // knows the names only from the disk
    nextRun.Name("/dev/ttyUSB0", May7At143015());
    Append(nextRun, "third");
    nextRun.Close();
    EXPECT_EQ(ReadFile(dir / "LOG/0507_143015_ttyUSB0.log"), "first connection, after a close");
    EXPECT_EQ(ReadFile(dir / "LOG/0507_143015_ttyUSB0_2.log"), "second");
    EXPECT_EQ(ReadFile(dir / "LOG/0507_143015_ttyUSB0_3.log"), "third");
}

TEST(CaptureLog, NextConnectionsFirstBlockMovesToTheNewFile) {
    ScratchDir dir;
    CaptureLog log(dir / "LOG");
    log.Name("/dev/ttyUSB0", May7At143015());
    Append(log, "one");
    std::tm later = May7At143015();
    later.tm_sec = 16;
    log.Name("/dev/ttyUSB0", later);  // the old file stays open until the next block
    EXPECT_TRUE(log.IsFileOpen());
    Append(log, "two");
    log.Close();
    EXPECT_EQ(ReadFile(dir / "LOG/0507_143015_ttyUSB0.log"), "one");
    EXPECT_EQ(ReadFile(dir / "LOG/0507_143016_ttyUSB0.log"), "two");
}

TEST(CaptureLog, UnwritableLogIsReportedWithFileAndReasonAndLoggingResumesLater) {
    ScratchDir dir;
    testsupport::WriteFile(dir / "LOG", "a file where the directory should be");
    CaptureLog log(dir / "LOG");
    log.Name("/dev/ttyUSB0", May7At143015());
    EXPECT_EQ(log.ErrorText(), "");
    Append(log, "lost");
    EXPECT_FALSE(log.IsFileOpen());
#ifdef _WIN32
    const char* const reason = "No such file or directory";  // what Windows says for a file in the path
#else
    const char* const reason = "Not a directory";
#endif
    const std::string error = "cannot write capture log " + (dir / "LOG/0507_143015_ttyUSB0.log") + ": " + reason;
    EXPECT_EQ(log.ErrorText(), error);
    EXPECT_EQ(log.BytesLost(), 4u);
    EXPECT_FALSE(log.WasWritten());

    std::filesystem::remove(dir / "LOG");
    Append(log, "kept");  // the directory is made again once it can be
    log.Close();
    EXPECT_EQ(ReadFile(dir / "LOG/0507_143015_ttyUSB0.log"), "kept");
    EXPECT_TRUE(log.WasWritten());
    EXPECT_EQ(log.ErrorText(), error);  // the file still has a gap
    EXPECT_EQ(log.BytesLost(), 4u);

    log.Name("/dev/ttyUSB0");
    EXPECT_EQ(log.ErrorText(), "");
    EXPECT_EQ(log.BytesLost(), 0u);
    EXPECT_FALSE(log.WasWritten());
}

#ifndef _WIN32
// Someone plants a link at the name between naming and the file's making, or swaps the
// closed file for one: the capture never writes through it, and says so.
TEST(CaptureLog, LinkAtTheNameIsRefusedReportedAndEveryRefusedByteCounted) {
    ScratchDir dir;
    std::filesystem::create_directory(dir / "LOG");
    testsupport::WriteFile(dir / "victim", "theirs");
    CaptureLog log(dir / "LOG");
    log.Name("/dev/ttyUSB0", May7At143015());
    std::filesystem::create_symlink(dir / "victim", log.FilePath());
    log.Create();
    EXPECT_FALSE(log.IsFileOpen());
    EXPECT_EQ(log.ErrorText(), "cannot write capture log " + log.FilePath() + ": File exists");
    Append(log, "abc");
    Append(log, std::string(9000, 'x'));
    EXPECT_EQ(log.BytesLost(), 9003u);
    EXPECT_FALSE(log.WasWritten());
    EXPECT_EQ(ReadFile(dir / "victim"), "theirs");

    log.Name("/dev/ttyUSB0", May7At143015());  // "_2", made at once
    log.Create();
    ASSERT_TRUE(log.IsFileOpen());
    Append(log, "mine");
    log.Close();
    std::filesystem::rename(log.FilePath(), dir / "moved");
    std::filesystem::create_symlink(dir / "victim", log.FilePath());
    Append(log, "after a close");
    EXPECT_EQ(log.ErrorText(), "cannot write capture log " + log.FilePath() + ": Too many levels of symbolic links");
    EXPECT_EQ(ReadFile(dir / "victim"), "theirs");
    EXPECT_EQ(ReadFile(dir / "moved"), "mine");
}

// The file is made as the port opens, before any byte comes, and a silent connection
// leaves it empty.
TEST(CaptureLog, ConnectMakesTheFileBeforeTheFirstByte) {
    ScratchDir dir;
    testsupport::PtyPair pty;
    CaptureLog log(dir / "LOG");
    CNmeaThread link(pty.SlavePath(), 9600, nullptr, &log);
    link.Start();
    ASSERT_TRUE(link.Connect()) << link.OpenErrorText();
    EXPECT_TRUE(log.IsFileOpen());
    EXPECT_TRUE(testsupport::Exists(log.FilePath()));
    EXPECT_EQ(ReadFile(log.FilePath()), "");
    EXPECT_EQ(log.ErrorText(), "");
    link.Shutdown();
}
#endif

// The monitor ends one link and starts the next over the program's one capture log.
TEST(CaptureLog, AnEndedLinkLeavesTheNextConnectionsFileOpen) {
    ScratchDir dir;
    CaptureLog log(dir / "LOG");
    auto ended = std::make_unique<CNmeaThread>("/dev/ttyUSB0", 9600, nullptr, &log);
    ended->Start();
    ended->Shutdown();
    CNmeaThread next("/dev/ttyUSB1", 9600, nullptr, &log);
    Append(log, "next connection");
    ended.reset();
    EXPECT_TRUE(log.IsFileOpen());
}
