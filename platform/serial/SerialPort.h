// Serial port access with the comm API's model: exclusive open, line settings,
// interval/total time-outs, bytes waiting, purge, break, drain.
//
// Linux implementation on termios2 (any baud rate through BOTHER) and poll()
// (SerialPort.cpp); Windows on the comm API with overlapped I/O (SerialPortWin.cpp).
// Every blocking call can also be cut short by a CancelEvent, which is how a worker
// thread's stop request reaches a read or write that is still waiting for the line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace serial {

class CancelEvent;

enum class Parity : uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };
enum class StopBits : uint8_t { One = 0, OnePointFive = 1, Two = 2 };

struct LineSettings {
    uint32_t baudRate = 9600;
    uint8_t dataBits = 8;  // 5..8
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
};

// Time-outs in milliseconds with the comm API's meaning:
// - readIntervalMs: largest gap allowed between two bytes once the first has come;
//   0 = not used; kMaxTimeout with both read totals 0 = return at once with what is there.
// - read total = readTotalConstantMs + readTotalMultiplierMs * bytes asked; 0 = not used.
//   kMaxTimeout interval and multiplier with a constant in between: return at once if
//   bytes are waiting, else wait up to the constant for the first byte.
// - write total likewise; 0 = wait until everything is written.
struct Timeouts {
    static constexpr uint32_t kMaxTimeout = 0xFFFFFFFFu;
    uint32_t readIntervalMs = 0;
    uint32_t readTotalMultiplierMs = 0;
    uint32_t readTotalConstantMs = 0;
    uint32_t writeTotalMultiplierMs = 0;
    uint32_t writeTotalConstantMs = 0;
};

enum PurgeFlags : unsigned { kPurgeRx = 1u, kPurgeTx = 2u };

// Result of a failed call: the system's error code (errno, or GetLastError on Windows)
// and a readable text that names the device.
struct Error {
    int code = 0;
    std::string text;
};

// The error code of the last call that failed in the calling thread, on any port, as the comm
// API's GetLastError: a port's receive and transmit workers each learn their own
// failure even when both fail at once.
int ThisThreadLastErrorCode();

// The system's words for an error code of this layer (strerror, or FormatMessage).
std::string ErrorText(int code);

// Whether a UART can send these data bits, parity and stop bits.
bool IsValidFraming(const LineSettings& settings);

#ifndef _WIN32
// Data bits, parity and stop bits as termios c_cflag bits (the other bits of `cflag`
// are kept); false for settings no UART has.
bool EncodeFraming(const LineSettings& settings, uint32_t& cflag);
void DecodeFraming(uint32_t cflag, LineSettings& settings);

// Line settings of any open tty. On the master side of a pseudo-terminal this reads
// what the program on the slave side set.
bool ReadLineSettings(int fd, LineSettings& settings);
#endif

class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the device for exclusive use: a second opener fails with EBUSY, root included.
    // On Windows the path is "COM5" or "\\.\COM5"; a second opener gets ERROR_ACCESS_DENIED.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const;
    const std::string& Path() const { return m_path; }

    // Raw mode, no flow control, receiver on, DTR and RTS raised.
    bool SetLine(const LineSettings& settings);
    bool GetLine(LineSettings& settings);
    bool SetBaudRate(uint32_t baudRate);

    void SetTimeouts(const Timeouts& timeouts);
    const Timeouts& GetTimeouts() const { return m_timeouts; }

    // Returns the number of bytes transferred (possibly fewer than asked, possibly 0 when
    // a time-out ran out or the cancel event was set), or -1 on error. A hung-up line
    // reads as an error (EIO).
    long Read(void* buffer, std::size_t size, const CancelEvent* cancel = nullptr);
    long Write(const void* buffer, std::size_t size, const CancelEvent* cancel = nullptr);

    long BytesWaiting();      // received, not yet read; -1 on error
    long BytesQueuedOut();    // written, not yet on the line; -1 on error
    bool Purge(unsigned flags);
    bool ClearBreak();
    bool Drain();
    // Asks the driver to hand over received bytes at once rather than after its latency
    // timer (USB serial bridges hold them up to 16 ms). False when the driver has no such
    // setting or refuses: nothing changes then. Close puts the old setting back.
    bool RequestLowLatency();

    // The last failure of any call; a copy, as the reading and the writing thread may
    // both fail at once.
    Error LastError() const;

private:
    bool Fail(const char* what);  // with the system's last error
    bool FailWith(const char* what, int code);

#ifdef _WIN32
    long Transfer(bool reading, void* buffer, std::size_t size, const CancelEvent* cancel);

    void* m_handle = nullptr;  // the comm handle, opened for overlapped I/O
#else
    enum class WaitResult { Ready, TimedOut, Cancelled, Error };
    WaitResult WaitFor(short events, int timeoutMs, const CancelEvent* cancel);

    int m_fd = -1;
    std::optional<int> m_flagsBeforeLowLatency;  // the driver's flags to restore at Close
#endif
    std::string m_path;
    Timeouts m_timeouts;  // set before reads and writes start, not while they run
    mutable std::mutex m_errorMutex;
    Error m_error;
};

}  // namespace serial
