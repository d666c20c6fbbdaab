// The serial port's two worker threads: the receive worker reads blocks, logs each one
// and hands its bytes on one by one; the transmit worker sends what others queue.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/serial/CancelEvent.h"
#include "platform/serial/SerialPort.h"

class CaptureLog;

using ByteCallback = std::function<void(uint8_t)>;
// The same bytes a block at a time, in order: a framer that scans blocks is several
// times faster than one called per byte.
using BlockCallback = std::function<void(const uint8_t* bytes, std::size_t count)>;

inline constexpr std::size_t kCommBlockSize = 8192;

// Why the line went away: the error code of the failed read (errno, or the Windows
// error) and its words.
struct LineLoss {
    int code = 0;  // 0 while the line is there
    std::string words;
    bool IsLost() const { return code != 0; }
};

class CCommThread {
public:
    explicit CCommThread(serial::SerialPort& port) : m_port(port) {}
    virtual ~CCommThread();
    CCommThread(const CCommThread&) = delete;
    CCommThread& operator=(const CCommThread&) = delete;

    void Start();
    // Sets the stop flag and the completion event, which also ends a read or write that
    // is still waiting on the line. The event lives as long as this object, so no I/O
    // can be left referring to a closed one; Join() before destroying.
    void Stop();
    void Join();

    std::string LastErrorText() const;
    int ErrorRaised() const;

protected:
    virtual void Run() = 0;
    // Called by Stop after the flag is set: a worker asleep on a wait of its own wakes.
    virtual void WakeForStop() {}
    void RecordError(std::string text);
    bool StopRequested() const { return m_stopRequested.load(std::memory_order_acquire); }

    serial::SerialPort& m_port;              // not owned
    serial::CancelEvent m_completion;

private:
    std::atomic<bool> m_stopRequested{false};
    mutable std::mutex m_errorMutex;
    std::string m_lastErrorText;
    int m_errorRaised = 0;
    std::thread m_thread;
};

class CCommReadThread : public CCommThread {
public:
    CCommReadThread(serial::SerialPort& port, BlockCallback callback, CaptureLog* log)
        : CCommThread(port), m_callback(std::move(callback)), m_log(log) {}
    ~CCommReadThread() override;

    // Set by the first failed read and kept: a device that failed once (adapter pulled,
    // far end gone) does not come back under the same handle.
    LineLoss Lost() const;

protected:
    void Run() override;

private:
    void HandOn(const uint8_t* block, std::size_t count);

    // One buffer is enough: while a block is logged and handed on, the driver keeps
    // queueing what arrives, so nothing is lost between two reads.
    uint8_t m_buffer[kCommBlockSize];
    BlockCallback m_callback;
    CaptureLog* m_log;  // may be null: no capture
    std::atomic<int> m_lostCode{0};
};

class CCommWriteThread : public CCommThread {
public:
    using CCommThread::CCommThread;
    ~CCommWriteThread() override;

    // Appends to the send queue; callable from any thread. A burst that would overflow
    // the queue replaces the unsent bytes instead of waiting; more than the whole queue
    // is refused and changes nothing.
    bool Enqueue(const uint8_t* bytes, std::size_t length);
    std::size_t QueuedCount() const;
    // Nothing queued and no write under way: all that was queued is in the driver.
    bool Idle() const;

protected:
    void Run() override;
    void WakeForStop() override;

private:
    mutable std::mutex m_queueMutex;
    std::condition_variable m_queued;
    uint8_t m_queue[kCommBlockSize];
    std::size_t m_queuedCount = 0;
    bool m_writing = false;  // under m_queueMutex: bytes taken from the queue, not yet written
    // Staging buffer for one write: reused only after that write has finished.
    uint8_t m_transfer[kCommBlockSize];
};
