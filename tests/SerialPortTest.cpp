#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/serial/CancelEvent.h"
#include "platform/serial/SerialPort.h"
#include "tests/support/TestSupport.h"

using namespace std::chrono;
using serial::LineSettings;
using serial::Parity;
using serial::SerialPort;
using serial::StopBits;
using serial::Timeouts;
using testsupport::PtyPair;

namespace {

constexpr uint32_t kMax = Timeouts::kMaxTimeout;

struct OpenPort {
    PtyPair pty;
    SerialPort port;
    OpenPort() {
        EXPECT_TRUE(port.Open(pty.SlavePath()));
        EXPECT_TRUE(port.SetLine(LineSettings{}));
    }
    // Reads `size` bytes with the given time-outs; the elapsed time goes to `ms`.
    long TimedRead(const Timeouts& t, std::string& out, std::size_t size, long& ms,
                   const serial::CancelEvent* cancel = nullptr) {
        port.SetTimeouts(t);
        out.assign(size, '\0');
        const auto start = steady_clock::now();
        const long n = port.Read(out.data(), size, cancel);
        ms = duration_cast<milliseconds>(steady_clock::now() - start).count();
        out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return n;
    }
};

}  // namespace

class BaudRateReadBack : public ::testing::TestWithParam<uint32_t> {};

TEST_P(BaudRateReadBack, OtherSideOfThePairSeesTheRate) {
    OpenPort p;
    LineSettings line;
    line.baudRate = GetParam();
    ASSERT_TRUE(p.port.SetLine(line));
    LineSettings seen;
    ASSERT_TRUE(serial::ReadLineSettings(p.pty.Master(), seen));
    EXPECT_EQ(seen.baudRate, GetParam());
}

INSTANTIATE_TEST_SUITE_P(AnyRate, BaudRateReadBack,
                         ::testing::Values(4800u, 9600u, 14400u, 19200u, 38400u, 56000u, 57600u,
                                           115200u, 128000u, 230400u, 256000u, 460800u, 921600u));

TEST(SerialLine, FramingBitsForEveryCombinationDecodeBackTheSame) {
    for (uint8_t bits = 5; bits <= 8; ++bits)
        for (Parity parity : {Parity::None, Parity::Odd, Parity::Even, Parity::Mark, Parity::Space})
            for (StopBits stop : {StopBits::One, bits == 5 ? StopBits::OnePointFive : StopBits::Two}) {
                uint32_t cflag = 0x0000100F;  // other bits are left alone
                ASSERT_TRUE(serial::EncodeFraming({9600, bits, parity, stop}, cflag));
                EXPECT_EQ(cflag & 0x0000100Fu, 0x0000100Fu);
                LineSettings seen;
                serial::DecodeFraming(cflag, seen);
                EXPECT_EQ(seen.dataBits, bits);
                EXPECT_EQ(seen.parity, parity);
                EXPECT_EQ(seen.stopBits, stop);
            }
    // Linux c_cflag values: CS8 0x30, CS7 0x20, CSTOPB 0x40, PARENB 0x100, PARODD 0x200,
    // CMSPAR 0x40000000.
    uint32_t cflag = 0;
    ASSERT_TRUE(serial::EncodeFraming({9600, 8, Parity::None, StopBits::One}, cflag));
    EXPECT_EQ(cflag, 0x30u);
    ASSERT_TRUE(serial::EncodeFraming({9600, 7, Parity::Even, StopBits::Two}, cflag));
    EXPECT_EQ(cflag, 0x160u);
    ASSERT_TRUE(serial::EncodeFraming({9600, 8, Parity::Mark, StopBits::One}, cflag));
    EXPECT_EQ(cflag, 0x40000330u);
}

TEST(SerialLine, StopBitsReadBackOnThePair) {
    // A pseudo-terminal forces 8 data bits and no parity; stop bits and rate it keeps.
    OpenPort p;
    for (StopBits stop : {StopBits::One, StopBits::Two}) {
        ASSERT_TRUE(p.port.SetLine({57600, 8, Parity::None, stop}));
        LineSettings seen;
        ASSERT_TRUE(serial::ReadLineSettings(p.pty.Master(), seen));
        EXPECT_EQ(seen.stopBits, stop);
        EXPECT_EQ(seen.baudRate, 57600u);
    }
}

TEST(SerialLine, ImpossibleSettingsAreRefusedWithEinval) {
    OpenPort p;
    EXPECT_FALSE(p.port.SetLine(LineSettings{9600, 9, Parity::None, StopBits::One}));
    EXPECT_EQ(p.port.LastError().code, EINVAL);
    EXPECT_FALSE(p.port.SetLine(LineSettings{0, 8, Parity::None, StopBits::One}));
    EXPECT_EQ(p.port.LastError().code, EINVAL);
    EXPECT_FALSE(p.port.SetLine(LineSettings{9600, 5, Parity::None, StopBits::Two}));
    EXPECT_FALSE(p.port.SetLine(LineSettings{9600, 8, Parity::None, StopBits::OnePointFive}));
}

TEST(SerialOpen, SecondOpenerIsRefusedEvenForRootUntilTheFirstCloses) {
    PtyPair pty;
    SerialPort first, second;
    ASSERT_TRUE(first.Open(pty.SlavePath()));
    EXPECT_FALSE(second.Open(pty.SlavePath()));
    EXPECT_EQ(second.LastError().code, EBUSY);
    EXPECT_NE(second.LastError().text.find(pty.SlavePath()), std::string::npos);
    first.Close();
    EXPECT_TRUE(second.Open(pty.SlavePath()));
}

TEST(SerialOpen, MissingDeviceReportsErrnoAndPath) {
    SerialPort port;
    EXPECT_FALSE(port.Open("/dev/ttyNoSuchDevice7"));
    EXPECT_EQ(port.LastError().code, ENOENT);
    EXPECT_EQ(port.LastError().text,
              "cannot open /dev/ttyNoSuchDevice7: No such file or directory");
}

TEST(SerialRead, MaxIntervalAloneReturnsAtOnceWithWhatIsWaiting) {
    OpenPort p;
    std::string got;
    long ms = 0;
    EXPECT_EQ(p.TimedRead({kMax, 0, 0, 0, 0}, got, 64, ms), 0);
    EXPECT_LT(ms, 50);
    p.pty.WriteMaster("abc");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return p.port.BytesWaiting() == 3; }, seconds(2)));
    EXPECT_EQ(p.TimedRead({kMax, 0, 0, 0, 0}, got, 64, ms), 3);
    EXPECT_EQ(got, "abc");
}

TEST(SerialRead, IntervalTimeoutEndsTheReadAfterAQuietGap) {
    OpenPort p;
    std::thread far([&] {
        p.pty.WriteMaster("0123456789");
        std::this_thread::sleep_for(milliseconds(300));
        p.pty.WriteMaster("late");
    });
    std::string got;
    long ms = 0;
    // No total: waits for the first byte as long as it takes, then for a 40 ms gap.
    EXPECT_EQ(p.TimedRead({40, 0, 0, 0, 0}, got, 100, ms), 10);
    EXPECT_EQ(got, "0123456789");
    EXPECT_GE(ms, 40);
    far.join();
    EXPECT_EQ(p.TimedRead({40, 0, 0, 0, 0}, got, 100, ms), 4);
    EXPECT_EQ(got, "late");
}

TEST(SerialRead, IntervalKeepsGoingWhileBytesKeepComing) {
    OpenPort p;
    std::thread far([&] {
        for (int i = 0; i < 6; ++i) {
            p.pty.WriteMaster("x");
            std::this_thread::sleep_for(milliseconds(15));
        }
    });
    std::string got;
    long ms = 0;
    EXPECT_EQ(p.TimedRead({150, 0, 0, 0, 0}, got, 6, ms), 6);  // full request ends it
    far.join();
}

TEST(SerialRead, TotalTimeoutIsConstantPlusMultiplierTimesBytesAsked) {
    OpenPort p;
    p.pty.WriteMaster("12345");
    std::string got;
    long ms = 0;
    // 10 bytes asked at 10 ms each plus 50 ms: 150 ms, with five bytes there.
    EXPECT_EQ(p.TimedRead({0, 10, 50, 0, 0}, got, 10, ms), 5);
    EXPECT_EQ(got, "12345");
    EXPECT_GE(ms, 140);
    EXPECT_EQ(p.TimedRead({0, 0, 60, 0, 0}, got, 10, ms), 0);
    EXPECT_GE(ms, 55);
}

// What the monitor's receive worker relies on when a receiver fills its line: the total
// ends the read with what came although the gap after each byte never reaches the
// interval.
TEST(SerialRead, TotalTimeoutEndsAReadWhoseIntervalNeverRunsOut) {
    OpenPort p;
    std::atomic<bool> stop{false}, fedAll{false};
    std::thread far([&] {
        for (int i = 0; i < 2000 && !stop; ++i) {  // 4 s or more, if nothing stops it
            p.pty.WriteMaster("x");
            std::this_thread::sleep_for(milliseconds(2));
        }
        fedAll = true;
    });
    std::string got;
    long ms = 0;
    const long n = p.TimedRead({1000, 0, 60, 0, 0}, got, 4096, ms);
    const bool ranToTheEnd = fedAll;
    stop = true;
    far.join();
    EXPECT_GE(n, 1);
    EXPECT_FALSE(ranToTheEnd) << "the read waited for the line to go quiet";
}

TEST(SerialRead, FullRequestReturnsWithoutWaitingForTimeouts) {
    OpenPort p;
    p.pty.WriteMaster(std::string(100, 'q'));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return p.port.BytesWaiting() == 100; }, seconds(2)));
    std::string got;
    long ms = 0;
    EXPECT_EQ(p.TimedRead({0, 0, 5000, 0, 0}, got, 50, ms), 50);
    EXPECT_LT(ms, 1000);
    EXPECT_EQ(p.port.BytesWaiting(), 50);
}

TEST(SerialRead, FirstByteModeWaitsForOneByteThenReturns) {
    OpenPort p;
    std::string got;
    long ms = 0;
    EXPECT_EQ(p.TimedRead({kMax, kMax, 80, 0, 0}, got, 64, ms), 0);
    EXPECT_GE(ms, 75);
    std::thread far([&] {
        std::this_thread::sleep_for(milliseconds(30));
        p.pty.WriteMaster("Z");
    });
    EXPECT_EQ(p.TimedRead({kMax, kMax, 5000, 0, 0}, got, 64, ms), 1);
    EXPECT_LT(ms, 2000);
    far.join();
}

TEST(SerialRead, CancelEventEndsAReadThatWouldWaitForever) {
    OpenPort p;
    serial::CancelEvent cancel;
    std::thread stopper([&] {
        std::this_thread::sleep_for(milliseconds(30));
        cancel.Set();
    });
    std::string got;
    long ms = 0;
    EXPECT_EQ(p.TimedRead({20, 0, 0, 0, 0}, got, 64, ms, &cancel), 0);
    stopper.join();
    // Stays set: a read started after the cancel returns at once too.
    EXPECT_EQ(p.TimedRead({20, 0, 0, 0, 0}, got, 64, ms, &cancel), 0);
    cancel.Reset();
    EXPECT_FALSE(cancel.IsSet());
}

TEST(SerialRead, HungUpLineIsAnErrorNotAnEndlessZero) {
    OpenPort p;
    p.pty.WriteMaster("bye");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return p.port.BytesWaiting() == 3; }, seconds(2)));
    p.pty.CloseMaster();
    std::string got;
    long ms = 0;
    const long n = p.TimedRead({20, 0, 0, 0, 0}, got, 64, ms);
    // What was queued before the hang-up may or may not survive it; never a hang.
    if (n > 0) {
        EXPECT_EQ(got, "bye");
    } else {
        EXPECT_EQ(n, -1);
        EXPECT_EQ(p.port.LastError().code, EIO);
    }
    EXPECT_EQ(p.TimedRead({20, 0, 0, 0, 0}, got, 64, ms), -1);
    EXPECT_EQ(p.port.LastError().code, EIO);
}

TEST(SerialWrite, TotalTimeoutReturnsWhatFitWhenNobodyReads) {
    OpenPort p;
    p.port.SetTimeouts({0, 0, 0, 0, 100});
    const std::string big(1 << 20, 'w');
    const auto start = steady_clock::now();
    const long n = p.port.Write(big.data(), big.size());
    EXPECT_GT(n, 0);
    EXPECT_LT(n, static_cast<long>(big.size()));
    EXPECT_GE(duration_cast<milliseconds>(steady_clock::now() - start).count(), 95);
}

TEST(SerialWrite, BytesArriveInOrderOnTheOtherSide) {
    OpenPort p;
    const std::string data = testsupport::RandomBytes(3000, 7);
    EXPECT_EQ(p.port.Write(data.data(), data.size()), 3000);
    EXPECT_EQ(p.pty.ReadMaster(3000, 2000), data);
}

TEST(SerialPurge, DropsWaitingInputAndLeavesThePortUsable) {
    OpenPort p;
    p.pty.WriteMaster(std::string(100, 'p'));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return p.port.BytesWaiting() == 100; }, seconds(2)));
    EXPECT_TRUE(p.port.Purge(serial::kPurgeRx | serial::kPurgeTx));
    EXPECT_EQ(p.port.BytesWaiting(), 0);
    EXPECT_TRUE(p.port.ClearBreak());
    p.pty.WriteMaster("after");
    std::string got;
    long ms = 0;
    EXPECT_EQ(p.TimedRead({30, 0, 0, 0, 0}, got, 64, ms), 5);
    EXPECT_EQ(got, "after");
}
