// The serial port as the flashing programs use it: port list, opening with the user's
// line settings, and FlashPort, through which the boot ROM and loader protocols read,
// write, change the baud rate and set time-outs. Results are the protocol's numbers:
// 0 success, then the number of the failing step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/serial/CancelEvent.h"
#include "platform/serial/SerialPort.h"

// What FlashPort needs from a port. The real one is a serial::SerialPort; tests put a
// scripted line or a pseudo-terminal under it.
class ISerialLine {
public:
    virtual ~ISerialLine() = default;
    virtual long Read(uint8_t* buffer, std::size_t size) = 0;  // within the total time-out
    virtual long Write(const uint8_t* buffer, std::size_t size) = 0;
    virtual bool SetTimeouts(const serial::Timeouts& timeouts) = 0;
    virtual bool GetBaudRate(uint32_t& baudRate) = 0;
    virtual bool SetBaudRate(uint32_t baudRate) = 0;
    virtual bool Purge() = 0;  // both directions
    // Received bytes only: what was written still goes out.
    virtual bool PurgeInput() { return Purge(); }
    virtual long BytesWaiting() = 0;
    virtual bool Flush() = 0;
    virtual int LastErrorCode() = 0;
    // Blocking reads and writes end at once when `cancel` is set.
    virtual void SetCancel(const serial::CancelEvent* /*cancel*/) {}
};

class SerialPortLine : public ISerialLine {
public:
    explicit SerialPortLine(serial::SerialPort& port) : m_port(port) {}
    long Read(uint8_t* buffer, std::size_t size) override { return m_port.Read(buffer, size, m_cancel); }
    long Write(const uint8_t* buffer, std::size_t size) override { return m_port.Write(buffer, size, m_cancel); }
    bool SetTimeouts(const serial::Timeouts& t) override { return m_port.SetTimeouts(t), true; }
    bool GetBaudRate(uint32_t& baudRate) override;
    bool SetBaudRate(uint32_t baudRate) override { return m_port.SetBaudRate(baudRate); }
    bool Purge() override { return m_port.Purge(serial::kPurgeRx | serial::kPurgeTx); }
    bool PurgeInput() override { return m_port.Purge(serial::kPurgeRx); }
    long BytesWaiting() override { return m_port.BytesWaiting(); }
    bool Flush() override { return m_port.Drain(); }
    int LastErrorCode() override { return m_port.LastError().code; }
    void SetCancel(const serial::CancelEvent* cancel) override { m_cancel = cancel; }

private:
    serial::SerialPort& m_port;
    const serial::CancelEvent* m_cancel = nullptr;
};

// The five settings as the front ends' lists show them.
struct FlashLineSettings {
    std::string port;               // device path
    std::string baudRate = "115200";
    std::string dataBits = "8";
    std::string parity = "NOPARITY";
    std::string stopBits = "ONESTOPBIT";
};

inline const std::vector<std::string> kFlashBaudRates = {"9600", "19200", "38400", "57600", "115200"};
inline const std::vector<std::string> kFlashDataBits = {"8", "7", "6"};
inline const std::vector<std::string> kFlashParities = {"NOPARITY", "ODDPARITY", "EVENPARITY", "MARKPARITY",
                                                        "SPACEPARITY"};
inline const std::vector<std::string> kFlashStopBits = {"ONESTOPBIT", "ONE5STOPBITS", "TWOSTOPBITS"};

// Serial ports of this machine plus the paths the user named, in natural order.
std::vector<std::string> ListSerialPorts(const std::vector<std::string>& extraPaths = {});

// Opens and sets up a port; on failure null and `error` reads "Open" + path + " Failed!"
// (followed by the reason on a second line when one is known).
std::unique_ptr<serial::SerialPort> OpenFlashPort(const FlashLineSettings& settings, std::string& error);

// Waits of the protocol go through this, so a test can shorten them.
using WaitFn = void (*)(uint32_t ms);
void SleepMs(uint32_t ms);

// How long a read waits for what it asks: after an empty read (the port's read time-out
// passed without a byte) it pauses `pauseMs` and reads again, `emptyReads` times.
struct ReadPatience {
    uint32_t emptyReads;
    uint32_t pauseMs;
};
// One read within the port's time-out: the answer follows the request at once (an echo,
// the boot ROM's replies, a step of the handshake).
inline constexpr ReadPatience kOneRead{0, 0};

class FlashPort {
public:
    static constexpr uint32_t kDefaultReadTimeoutMs = 5000;
    static constexpr uint32_t kDefaultWriteTimeoutMs = 1500;
    static constexpr uint32_t kUseDefault = 0x0FFFFFFF;

    // Each operation returns 0, or the number of its first failing step as named below;
    // all of them kNoLine without a line.
    static constexpr int kNoLine = 1;
    // Returned by WriteAll and ReadExact once `cancel` is set: the run was stopped.
    static constexpr int kCancelled = 98;

    explicit FlashPort(ISerialLine* line, WaitFn wait = SleepMs, const serial::CancelEvent* cancel = nullptr)
        : m_line(line), m_wait(wait ? wait : SleepMs), m_cancel(cancel) {}

    static constexpr int kTimeoutsRefused = 2;
    // Totals of `readMs` and `writeMs`, each plus `perByteMs` for every byte asked for.
    int SetTimeouts(uint32_t readMs, uint32_t writeMs, uint32_t perByteMs = 1);
    // The rate read, the new rate set, the purge after it (RestoreBaudRate reads no rate).
    static constexpr int kRateUnreadable = 2, kRateRefused = 3, kRatePurgeFailed = 4;
    int GetBaudRate(uint32_t& baudRate);
    int SetBaudRate(uint32_t baudRate);  // also purges both directions
    // Waits until what was written has gone out, then changes the rate and drops only
    // what was received: the last command of a run must reach the module.
    int RestoreBaudRate(uint32_t baudRate);
    // No buffer, an error of the line, or a line that moves no bytes.
    static constexpr int kNoBuffer = 2, kLineError = 3, kStalled = 99;
    int WriteAll(const uint8_t* buffer, std::size_t length);  // kStalled: the line took nothing
    // Reads exactly `length` bytes; an empty read is tolerated `emptyLimit` times, each
    // followed by a pause. kStalled when the limit is exceeded.
    int ReadExact(uint8_t* buffer, std::size_t length, uint32_t emptyLimit, uint32_t pauseMs);
    int ReadExact(uint8_t* buffer, std::size_t length, ReadPatience patience) {
        return ReadExact(buffer, length, patience.emptyReads, patience.pauseMs);
    }
    static constexpr int kCountUnreadable = 2;
    int BytesWaiting(uint32_t& count);
    static constexpr int kPurgeFailed = 2;
    int Purge();

    // A pause of the protocol; it ends early when the run is stopped.
    void Wait(uint32_t ms) const;
    bool Cancelled() const;
    bool HasLine() const { return m_line != nullptr; }
    uint32_t LastError() const { return m_lastError; }

private:
    int LineFailed(int step);  // keeps the line's error code for LastError()

    uint32_t m_lastError = 0;
    ISerialLine* m_line;
    WaitFn m_wait;
    const serial::CancelEvent* m_cancel;
};
