#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

#include "monitor/link/CaptureLog.h"
#include "monitor/link/CommPort.h"
#include "tests/support/TestSupport.h"

using namespace std::chrono;
using testsupport::PtyPair;
using testsupport::ScratchDir;
using testsupport::WaitUntil;

namespace {

// What the receive worker hands on, readable from the test thread.
class Received {
public:
    ByteCallback Callback() {
        return [this](uint8_t b) {
            std::lock_guard lock(m_mutex);
            m_bytes += static_cast<char>(b);
        };
    }
    BlockCallback Blocks() {
        return [this](const uint8_t* bytes, std::size_t count) {
            std::lock_guard lock(m_mutex);
            m_bytes.append(reinterpret_cast<const char*>(bytes), count);
            ++m_blocks;
        };
    }
    std::string Bytes() {
        std::lock_guard lock(m_mutex);
        return m_bytes;
    }
    std::size_t BlockCount() {
        std::lock_guard lock(m_mutex);
        return m_blocks;
    }
    bool WaitForSize(std::size_t n, seconds limit = seconds(10)) {
        return WaitUntil([&] { return Bytes().size() >= n; }, duration_cast<milliseconds>(limit));
    }

private:
    std::mutex m_mutex;
    std::string m_bytes;
    std::size_t m_blocks = 0;  // calls of the block callback
};

struct Connection {
    ScratchDir dir;
    CaptureLog log{dir / "LOG"};
    PtyPair pty;
    Received received;
    CCommPort port{&log};

    bool Open(uint32_t baud = 9600) {
        log.Name(pty.SlavePath());
        port.Configure(pty.SlavePath(), baud, 0, 8, 0, 20);
        return port.Open(received.Callback());
    }
    // As the link opens it: blocks to the callback, here with the read interval given.
    bool OpenForBlocks(uint32_t readIntervalMs) {
        log.Name(pty.SlavePath());
        port.Configure(pty.SlavePath(), 9600, 0, 8, 0, readIntervalMs);
        return port.Open(received.Blocks());
    }
};

}  // namespace

TEST(CommPort, OpenTwiceStartsNoSecondPairOfWorkers) {
    Connection c;
    ASSERT_TRUE(c.Open());
    // Counted while open: a sanitizer runtime may start threads of its own at the first.
    const int open = testsupport::ThreadCount();
    EXPECT_TRUE(c.port.Open(c.received.Callback()));
    EXPECT_EQ(testsupport::ThreadCount(), open);
    EXPECT_TRUE(c.port.IsOpen());
    c.port.Close();
    EXPECT_FALSE(c.port.IsOpen());
    EXPECT_EQ(testsupport::ThreadCount(), open - 2);
}

TEST(CommPort, OpenFailureTextsNameTheDeviceTheErrorCodeAndItsMeaning) {
    CCommPort missing(nullptr);
    missing.Configure("/dev/ttyUSB7", 9600, 0, 8, 0, 20);
    EXPECT_FALSE(missing.Open([](uint8_t) {}));
    EXPECT_EQ(missing.OpenErrorText(), "Error on open port/dev/ttyUSB7! (error code:2) No such file or directory");
    EXPECT_FALSE(missing.IsOpen());

    Connection c;
    ASSERT_TRUE(c.Open());
    CCommPort second(nullptr);
    second.Configure(c.pty.SlavePath(), 9600, 0, 8, 0, 20);
    EXPECT_FALSE(second.Open([](uint8_t) {}));
    EXPECT_EQ(second.OpenErrorText(), "Error on open port" + c.pty.SlavePath() + "! (error code:16) Device or resource busy");

    ScratchDir dir;
    testsupport::WriteFile(dir / "plain", "not a tty");
    CCommPort notSerial(nullptr);
    notSerial.Configure(dir / "plain", 9600, 0, 8, 0, 20);
    EXPECT_FALSE(notSerial.Open([](uint8_t) {}));
    EXPECT_EQ(notSerial.OpenErrorText(), "Setting com port parameters error! (error code:25) Inappropriate ioctl for device");
    // The handle was closed again: the file can be opened exclusively once more.
    serial::SerialPort again;
    EXPECT_TRUE(again.Open(dir / "plain"));
}

TEST(CommPort, OpenSetsTheLineAndDiscardsWhatWasWaiting) {
    Connection c;
    c.pty.WriteMaster("stale bytes from before the connection");
    ASSERT_TRUE(c.Open(115200));
    serial::LineSettings seen;
    ASSERT_TRUE(serial::ReadLineSettings(c.pty.Master(), seen));
    EXPECT_EQ(seen.baudRate, 115200u);
    EXPECT_EQ(seen.dataBits, 8);
    EXPECT_EQ(seen.parity, serial::Parity::None);
    EXPECT_EQ(seen.stopBits, serial::StopBits::One);
    c.pty.WriteMaster("$fresh\r\n");
    ASSERT_TRUE(c.received.WaitForSize(8));
    EXPECT_EQ(c.received.Bytes(), "$fresh\r\n");
}

TEST(CommPort, CloseWhileAReadIsPendingReturnsPromptly) {
    Connection c;
    ASSERT_TRUE(c.Open());
    std::this_thread::sleep_for(milliseconds(30));  // the reader is now waiting on the line
    const auto start = steady_clock::now();
    c.port.Close();
    // 100 ms is the promise; the margin is for loaded, sanitized test machines.
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - start).count(), 250);
}

TEST(CommPort, ReceivedBlocksGoToTheLogBeforeTheCallbackInOrder) {
    Connection c;
    ASSERT_TRUE(c.Open());
    const std::string data = testsupport::RandomBytes(50000, 3);
    for (std::size_t at = 0; at < data.size(); at += 7001) c.pty.WriteMaster(data.substr(at, 7001));
    ASSERT_TRUE(c.received.WaitForSize(data.size()));
    c.port.Close();
    c.log.Close();
    EXPECT_EQ(c.received.Bytes(), data);
    EXPECT_EQ(testsupport::ReadFile(c.log.FilePath()), data);
}

// A receiver that fills its line never pauses for the read interval; what has come must
// still be handed on while the line runs, not once a whole block is in. The interval
// here is far longer than any pause a loaded machine puts into the feed, so the feed
// (never a block's worth) can be handed on early only by the read's total time-out.
TEST(CommPort, ALineThatNeverGoesQuietIsHandedOnInPartsWhileItRuns) {
    Connection c;
    ASSERT_TRUE(c.OpenForBlocks(60000));
    const std::string data = testsupport::RandomBytes(kCommBlockSize - 192, 7);
    constexpr std::size_t kSlice = 8;  // every 2 ms: about a 38400 baud line's worth
    std::size_t fed = 0;
    while (fed < data.size() && c.received.BlockCount() < 3) {
        c.pty.WriteMaster(data.substr(fed, kSlice));
        fed += kSlice;
        std::this_thread::sleep_for(milliseconds(2));
    }
    EXPECT_LT(fed, data.size()) << "no three blocks were handed on while the line ran";
    c.pty.WriteMaster(data.substr(std::min(fed, data.size())));
    ASSERT_TRUE(c.received.WaitForSize(data.size()));
    c.port.Close();
    c.log.Close();
    EXPECT_EQ(c.received.Bytes(), data);
    EXPECT_EQ(testsupport::ReadFile(c.log.FilePath()), data);
}

TEST(CommPort, QueuedBytesAreSentInOrder) {
    Connection c;
    ASSERT_TRUE(c.Open());
    std::string sent;
    for (int i = 0; i < 50; ++i) {
        const std::string cmd = "$PCMD," + std::to_string(i) + "\r\n";
        ASSERT_TRUE(c.port.Enqueue(reinterpret_cast<const uint8_t*>(cmd.data()), cmd.size()));
        sent += cmd;
        std::this_thread::sleep_for(milliseconds(1));
    }
    EXPECT_EQ(c.pty.ReadMaster(sent.size(), 5000), sent);
    c.port.Close();
    EXPECT_FALSE(c.port.Enqueue(reinterpret_cast<const uint8_t*>("x"), 1));
}

TEST(CommWriteThread, EnqueueKeepsAddsReplacesOrRefuses) {
    PtyPair pty;
    serial::SerialPort device;
    ASSERT_TRUE(device.Open(pty.SlavePath()));
    ASSERT_TRUE(device.SetLine({}));
    CCommWriteThread writer(device);  // not started: the queue holds still
    const std::string full(8192, 'f');
    EXPECT_TRUE(writer.Enqueue(reinterpret_cast<const uint8_t*>(full.data()), full.size()));
    EXPECT_EQ(writer.QueuedCount(), 8192u);
    const std::string tooBig(8193, 't');
    EXPECT_FALSE(writer.Enqueue(reinterpret_cast<const uint8_t*>(tooBig.data()), tooBig.size()));
    EXPECT_EQ(writer.QueuedCount(), 8192u);

    CCommWriteThread burst(device);
    const std::string old(8100, 'o'), fresh(100, 'n');
    EXPECT_TRUE(burst.Enqueue(reinterpret_cast<const uint8_t*>(old.data()), old.size()));
    EXPECT_TRUE(burst.Enqueue(reinterpret_cast<const uint8_t*>(fresh.data()), fresh.size()));
    EXPECT_EQ(burst.QueuedCount(), 100u);
    burst.Start();  // only the burst that replaced the unsent bytes goes out
    EXPECT_EQ(pty.ReadMaster(8192, 300), fresh);
}

TEST(CommPort, LineLostWhileConnectedIsToldAndKeepsWorkersAliveAndLogsNothingTwice) {
    Connection c;
    ASSERT_TRUE(c.Open());
    c.pty.WriteMaster("$GPGGA,before*00\r\n");
    ASSERT_TRUE(c.received.WaitForSize(18));
    EXPECT_FALSE(c.port.LineLost().IsLost());
    c.pty.CloseMaster();
    ASSERT_TRUE(WaitUntil([&] { return c.port.LineLost().IsLost(); }, seconds(5)));
    EXPECT_EQ(c.port.LineLost().code, EIO);
    EXPECT_EQ(c.port.LineLost().words, "Input/output error");
    EXPECT_EQ(c.port.ReadErrorText(), "Error on read file 5");
    const std::string cmd = "$PCMD\r\n";
    EXPECT_TRUE(c.port.Enqueue(reinterpret_cast<const uint8_t*>(cmd.data()), cmd.size()));
    EXPECT_TRUE(WaitUntil([&] { return c.port.WriteErrorText() == "Error on write data! (err:5)"; },
                          seconds(5)));
    EXPECT_TRUE(c.port.IsOpen());
    c.port.Close();
    EXPECT_FALSE(c.port.LineLost().IsLost());  // the next Open starts afresh
    c.log.Close();
    EXPECT_EQ(c.received.Bytes(), "$GPGGA,before*00\r\n");
    EXPECT_EQ(testsupport::ReadFile(c.log.FilePath()), "$GPGGA,before*00\r\n");
}

TEST(CommPort, UnwritableCaptureLogIsReportedWhileBytesStillArrive) {
    Connection c;
    testsupport::WriteFile(c.dir / "LOG", "a file where the directory should be");
    ASSERT_TRUE(c.Open());
    c.pty.WriteMaster("$GPGGA,1*00\r\n");
    ASSERT_TRUE(c.received.WaitForSize(13));
    c.port.Close();
    EXPECT_EQ(c.received.Bytes(), "$GPGGA,1*00\r\n");
    EXPECT_EQ(c.log.ErrorText(), "cannot write capture log " + c.log.FilePath() + ": Not a directory");
    EXPECT_EQ(c.log.BytesLost(), 13u);
}
