#include "monitor/link/CommThread.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include "monitor/link/CaptureLog.h"

namespace {
constexpr int kPollMs = 10;
}

CCommThread::~CCommThread() {
    Stop();
    Join();
}

void CCommThread::Start() {
    m_thread = std::thread([this] { Run(); });
}

void CCommThread::Stop() {
    m_stopRequested.store(true, std::memory_order_release);
    m_completion.Set();
    WakeForStop();
}

void CCommThread::Join() {
    if (m_thread.joinable()) m_thread.join();
}

void CCommThread::RecordError(std::string text) {
    std::lock_guard lock(m_errorMutex);
    m_lastErrorText = std::move(text);
    m_errorRaised = 1;
}

std::string CCommThread::LastErrorText() const {
    std::lock_guard lock(m_errorMutex);
    return m_lastErrorText;
}

int CCommThread::ErrorRaised() const {
    std::lock_guard lock(m_errorMutex);
    return m_errorRaised;
}

// Derived destructors stop and join first: the thread runs a virtual Run() on members
// that the base destructor would otherwise outlive.
CCommReadThread::~CCommReadThread() {
    Stop();
    Join();
}

LineLoss CCommReadThread::Lost() const {
    const int code = m_lostCode.load(std::memory_order_acquire);
    return code == 0 ? LineLoss{} : LineLoss{code, serial::ErrorText(code)};
}

void CCommReadThread::HandOn(const uint8_t* block, std::size_t count) {
    if (m_log) m_log->Append(block, count);
    m_callback(block, count);
}

// A read completes with a full block, once at least one byte has come and the line has
// then been quiet for the read interval time-out, or when the read's total time-out ran
// out (with what came by then, possibly nothing).
void CCommReadThread::Run() {
    while (!StopRequested()) {
        const long n = m_port.Read(m_buffer, sizeof m_buffer, &m_completion);
        if (n > 0) HandOn(m_buffer, static_cast<std::size_t>(n));
        if (n >= 0 || StopRequested()) continue;
        const int code = serial::ThisThreadLastErrorCode();
        RecordError("Error on read file " + std::to_string(code));
        int none = 0;
        m_lostCode.compare_exchange_strong(none, code != 0 ? code : EIO, std::memory_order_acq_rel);
        // A lost line fails every read at once: pause for a poll period (or until the
        // stop) rather than spin a core.
        m_completion.Wait(kPollMs);
    }
}

CCommWriteThread::~CCommWriteThread() {
    Stop();
    Join();
}

bool CCommWriteThread::Enqueue(const uint8_t* bytes, std::size_t length) {
    {
        std::lock_guard lock(m_queueMutex);
        if (m_queuedCount + length <= sizeof m_queue) {
            std::memcpy(m_queue + m_queuedCount, bytes, length);
            m_queuedCount += length;
        } else if (length > sizeof m_queue) {
            return false;
        } else {
            std::memcpy(m_queue, bytes, length);
            m_queuedCount = length;
        }
    }
    m_queued.notify_one();
    return true;
}

bool CCommWriteThread::Idle() const {
    std::lock_guard lock(m_queueMutex);
    return m_queuedCount == 0 && !m_writing;
}

std::size_t CCommWriteThread::QueuedCount() const {
    std::lock_guard lock(m_queueMutex);
    return m_queuedCount;
}

// The lock orders the notice after the worker's look at the flag: it cannot miss it.
void CCommWriteThread::WakeForStop() {
    { std::lock_guard lock(m_queueMutex); }
    m_queued.notify_all();
}

void CCommWriteThread::Run() {
    while (!StopRequested()) {
        std::size_t count = 0;
        {
            std::unique_lock lock(m_queueMutex);
            // Asleep until bytes are queued or Stop wakes it: a monitor that sends nothing
            // for a day does not wake a hundred times a second for it.
            m_queued.wait(lock, [this] { return m_queuedCount > 0 || StopRequested(); });
            if (m_queuedCount == 0) continue;
            std::memcpy(m_transfer, m_queue, m_queuedCount);
            count = m_queuedCount;
            m_queuedCount = 0;
            m_writing = true;
        }
        // Waits until the bytes are written (or the stop cancels the write), so the
        // staging buffer is never refilled under a write in progress.
        if (m_port.Write(m_transfer, count, &m_completion) < 0 && !StopRequested())
            RecordError("Error on write data! (err:" + std::to_string(serial::ThisThreadLastErrorCode()) +
                        ")");
        std::lock_guard lock(m_queueMutex);
        m_writing = false;
    }
}
