#include "monitor/link/CommPort.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include "monitor/link/CaptureLog.h"
#include "platform/serial/PortList.h"

std::string OpenErrorTextFor(const std::string& device, int code) {
    std::string text = "Error on open port" + device + "! (error code:" + std::to_string(code) + ") " +
                       std::generic_category().message(code);
    if (code == EACCES) {
        const std::string hint = serial::PermissionHint(device);
        if (!hint.empty()) text += "\n" + hint;
    }
    return text;
}


CCommPort::CCommPort(CaptureLog* log) : m_log(log) {}

CCommPort::~CCommPort() { Close(); }

void CCommPort::Configure(std::string deviceName, uint32_t baudRate, uint8_t parity,
                          uint8_t byteSize, uint8_t stopBits, uint32_t readIntervalTimeoutMs) {
    // New settings mean a new connection: workers still running on the old one end here
    // rather than live on unseen beside the next Open.
    Close();
    m_deviceName = std::move(deviceName);
    m_baudRate = baudRate;
    m_parity = parity;
    m_byteSize = byteSize;
    m_stopBits = stopBits;
    m_readIntervalTimeoutMs = readIntervalTimeoutMs;
}

bool CCommPort::SetupLine() {
    serial::LineSettings line;
    line.baudRate = m_baudRate;
    line.dataBits = m_byteSize;
    line.parity = static_cast<serial::Parity>(m_parity);
    line.stopBits = static_cast<serial::StopBits>(m_stopBits);
    if (!m_device.SetLine(line)) return false;
    serial::Timeouts timeouts;
    timeouts.readIntervalMs = m_readIntervalTimeoutMs;
    timeouts.readTotalConstantMs = kReadTotalTimeoutMs;
    m_device.SetTimeouts(timeouts);
    return true;
}

// "<lead> (error code:16) Device or resource busy"
std::string CCommPort::FailureText(const std::string& lead) const {
    const int code = m_device.LastError().code;
    return lead + " (error code:" + std::to_string(code) + ") " + serial::ErrorText(code);
}

bool CCommPort::Open(ByteCallback callback) {
    return Open([callback = std::move(callback)](const uint8_t* bytes, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) callback(bytes[i]);
    });
}

bool CCommPort::Open(BlockCallback callback) {
    std::lock_guard lock(m_workersMutex);
    if (m_reader) return true;
    if (!m_device.Open(m_deviceName)) {
        m_openErrorText = OpenErrorTextFor(m_deviceName, m_device.LastError().code);
        return false;
    }
    if (!SetupLine()) {
        m_openErrorText = FailureText("Setting com port parameters error!");
        m_device.Close();
        return false;
    }
    m_device.Purge(serial::kPurgeRx | serial::kPurgeTx);
    m_reader = std::make_unique<CCommReadThread>(m_device, std::move(callback), m_log);
    m_reader->Start();
    m_writer = std::make_unique<CCommWriteThread>(m_device);
    m_writer->Start();
    m_open.store(true, std::memory_order_release);
    return true;
}

void CCommPort::Close() {
    std::lock_guard lock(m_workersMutex);
    if (!m_reader) return;
    m_open.store(false, std::memory_order_release);
    // Both stop requests go out before either join, so the two wind down together.
    m_reader->Stop();
    m_writer->Stop();
    m_reader->Join();
    m_writer->Join();
    m_reader.reset();
    m_writer.reset();
    m_device.Purge(serial::kPurgeRx | serial::kPurgeTx);
    m_device.Close();
}

bool CCommPort::Enqueue(const uint8_t* bytes, std::size_t length) {
    std::lock_guard lock(m_workersMutex);
    return m_writer && m_writer->Enqueue(bytes, length);
}

bool CCommPort::WaitUntilSent(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        {
            std::lock_guard lock(m_workersMutex);
            if (!m_writer || (m_writer->Idle() && m_device.BytesQueuedOut() <= 0)) return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::string CCommPort::ReadErrorText() const {
    std::lock_guard lock(m_workersMutex);
    return m_reader ? m_reader->LastErrorText() : std::string();
}

std::string CCommPort::WriteErrorText() const {
    std::lock_guard lock(m_workersMutex);
    return m_writer ? m_writer->LastErrorText() : std::string();
}

LineLoss CCommPort::LineLost() const {
    std::lock_guard lock(m_workersMutex);
    return m_reader ? m_reader->Lost() : LineLoss{};
}
