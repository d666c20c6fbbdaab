// The monitor's serial port: line set-up plus the receive and transmit workers.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "monitor/link/CommThread.h"
#include "platform/serial/SerialPort.h"

class CaptureLog;

// The longest one read of the receive worker lasts before it hands on what came. The read
// interval alone ends a read only when the line pauses, and a receiver that fills its
// line (four constellations at 9600 baud, an epoch outlasting its second) never pauses
// for 20 ms: each read would wait for all 8192 bytes, 8.5 s of the line. The comm API's
// read total time-out ends it anyway, on both systems, without touching the interval rule.
inline constexpr uint32_t kReadTotalTimeoutMs = 50;

// The receivers' line: 8 data bits, no parity, one stop bit (the serial layer's codes);
// a read ends at a 20 ms gap between bytes, the pause between a receiver's epochs.
inline constexpr uint8_t kNoParity = 0, kEightBits = 8, kOneStopBit = 0;
inline constexpr uint32_t kReadIntervalMs = 20;

// "Error on open port/dev/ttyUSB7! (error code:2) No such file or directory", with the
// group to join when the device may not be opened.
std::string OpenErrorTextFor(const std::string& device, int code);

class CCommPort {
public:
    // The capture log that gets every byte received; null captures nothing.
    explicit CCommPort(CaptureLog* log);
    ~CCommPort();
    CCommPort(const CCommPort&) = delete;
    CCommPort& operator=(const CCommPort&) = delete;

    // Parity, byte size and stop bits use the comm API's codes: parity 0 none, 1 odd,
    // 2 even, 3 mark, 4 space; stop bits 0 one, 1 one and a half, 2 two.
    void Configure(std::string deviceName, uint32_t baudRate, uint8_t parity, uint8_t byteSize,
                   uint8_t stopBits, uint32_t readIntervalTimeoutMs);

    // Opens the device, sets the line, purges both directions and starts the workers.
    // True at once when already open. On false, OpenErrorText() says why.
    bool Open(ByteCallback callback);
    bool Open(BlockCallback callback);
    void Close();
    bool SetupLine();

    bool IsOpen() const { return m_open.load(std::memory_order_acquire); }
    const std::string& OpenErrorText() const { return m_openErrorText; }
    const std::string& DeviceName() const { return m_deviceName; }

    // Queues bytes on the transmit worker; false while closed or when refused.
    bool Enqueue(const uint8_t* bytes, std::size_t length);
    // Waits until what was queued has left the driver too (Close purges what has not);
    // false when that took longer than `timeoutMs`.
    bool WaitUntilSent(int timeoutMs);

    // What the workers recorded last (empty when nothing failed).
    std::string ReadErrorText() const;
    std::string WriteErrorText() const;
    // Whether the receive worker lost the line; callable from any thread. Stays set until
    // Close, so the owner can close and open the device again.
    LineLoss LineLost() const;

private:
    std::string FailureText(const std::string& lead) const;

    serial::SerialPort m_device;
    std::string m_deviceName;
    uint32_t m_baudRate = 9600;
    uint8_t m_parity = 0;
    uint8_t m_byteSize = 8;
    uint8_t m_stopBits = 0;
    uint32_t m_readIntervalTimeoutMs = 20;
    std::atomic<bool> m_open{false};
    mutable std::mutex m_workersMutex;  // Enqueue from other threads against Open/Close
    std::unique_ptr<CCommReadThread> m_reader;
    std::unique_ptr<CCommWriteThread> m_writer;
    std::string m_openErrorText;
    CaptureLog* m_log;
};
