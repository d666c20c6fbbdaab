#include <gtest/gtest.h>

#include <filesystem>

#include "CaptureLog.h"
#include "TestSupport.h"

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

TEST(CaptureLog, SilentConnectionLeavesNoFileAndNoDirectory) {
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

TEST(CaptureLog, ReconnectWithinTheSameSecondTruncatesThePreviousFile) {
    ScratchDir dir;
    CaptureLog log(dir / "LOG");
    log.Name("/dev/ttyUSB0", May7At143015());
    Append(log, "first connection, longer text");
    log.Close();
    log.Name("/dev/ttyUSB0", May7At143015());
    Append(log, "second");
    log.Close();
    EXPECT_EQ(ReadFile(dir / "LOG/0507_143015_ttyUSB0.log"), "second");
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

TEST(CaptureLog, UnwritableDirectoryDropsBlocksSilentlyAndRecoversLater) {
    ScratchDir dir;
    testsupport::WriteFile(dir / "LOG", "a file where the directory should be");
    CaptureLog log(dir / "LOG");
    log.Name("/dev/ttyUSB0", May7At143015());
    Append(log, "lost");
    EXPECT_FALSE(log.IsFileOpen());
    std::filesystem::remove(dir / "LOG");
    Append(log, "kept");  // the directory is made again once it can be
    log.Close();
    EXPECT_EQ(ReadFile(dir / "LOG/0507_143015_ttyUSB0.log"), "kept");
}
