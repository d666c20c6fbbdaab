#include "flash/core/FlashPort.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/serial/PortList.h"

namespace {

template <typename T>
int IndexOf(const std::vector<std::string>& list, const std::string& value, T& out) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i] == value) return out = static_cast<T>(i), 0;
    return -1;
}

}  // namespace

void SleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool FlashPort::Cancelled() const { return m_cancel && m_cancel->IsSet(); }

void FlashPort::Wait(uint32_t ms) const {
    if (!m_cancel || m_wait != SleepMs) {
        if (!Cancelled()) m_wait(ms);
        return;
    }
    m_cancel->Wait(static_cast<int>(ms));  // ends as soon as the run is stopped
}

bool SerialPortLine::GetBaudRate(uint32_t& baudRate) {
    serial::LineSettings line;
    if (!m_port.GetLine(line)) return false;
    baudRate = line.baudRate;
    return true;
}

std::vector<std::string> ListSerialPorts(const std::vector<std::string>& extraPaths) {
    return serial::ListPorts(extraPaths);
}

std::unique_ptr<serial::SerialPort> OpenFlashPort(const FlashLineSettings& settings, std::string& error) {
    error = "Open" + settings.port + " Failed!";
    serial::LineSettings line;
    line.baudRate = static_cast<uint32_t>(std::strtoul(settings.baudRate.c_str(), nullptr, 10));
    line.dataBits = static_cast<uint8_t>(std::atoi(settings.dataBits.c_str()));
    uint8_t parity = 0, stop = 0;
    if (IndexOf(kFlashParities, settings.parity, parity) < 0 || IndexOf(kFlashStopBits, settings.stopBits, stop) < 0) {
        error += "\nunknown parity or stop bits setting";
        return nullptr;
    }
    line.parity = static_cast<serial::Parity>(parity);
    line.stopBits = static_cast<serial::StopBits>(stop);
    auto port = std::make_unique<serial::SerialPort>();
    if (!port->Open(settings.port) || !port->SetLine(line)) {
        error += "\n" + port->LastError().text;
        // Not allowed to open it: say how to become allowed.
        if (port->LastError().code == EACCES) {
            const std::string hint = serial::PermissionHint(settings.port);
            if (!hint.empty()) error += "\n" + hint;
        }
        // Held by a program that locks it (a terminal, another flasher): say which.
        if (port->LastError().code == EBUSY) {
            const std::string holders = serial::PortHoldersText(serial::PortHolders(settings.port));
            if (!holders.empty()) error += "\n" + holders;
        }
        return nullptr;
    }
    serial::Timeouts t;
    t.readIntervalMs = 1000;
    t.readTotalMultiplierMs = 1;
    t.readTotalConstantMs = 5000;
    t.writeTotalMultiplierMs = 1;
    t.writeTotalConstantMs = 1500;
    port->SetTimeouts(t);
    port->ClearBreak();
    // Each packet waits for its answer: an adapter holding the answer for its latency
    // timer would halve the rate. A refusal costs speed only.
    port->RequestLowLatency();
    port->Purge(serial::kPurgeRx | serial::kPurgeTx);
    error.clear();
    return port;
}

int FlashPort::LineFailed(int step) {
    m_lastError = static_cast<uint32_t>(m_line->LastErrorCode());
    return step;
}

int FlashPort::SetTimeouts(uint32_t readMs, uint32_t writeMs, uint32_t perByteMs) {
    if (!m_line) return kNoLine;
    if (readMs >= kUseDefault) readMs = kDefaultReadTimeoutMs;
    if (writeMs >= kUseDefault) writeMs = kDefaultWriteTimeoutMs;
    serial::Timeouts t;
    t.readTotalConstantMs = readMs;
    t.readTotalMultiplierMs = readMs ? perByteMs : 0;
    t.writeTotalConstantMs = writeMs;
    t.writeTotalMultiplierMs = writeMs ? perByteMs : 0;
    if (!m_line->SetTimeouts(t)) return LineFailed(kTimeoutsRefused);
    return 0;
}

int FlashPort::GetBaudRate(uint32_t& baudRate) {
    if (!m_line) return kNoLine;
    if (!m_line->GetBaudRate(baudRate)) return LineFailed(kRateUnreadable);
    return 0;
}

int FlashPort::RestoreBaudRate(uint32_t baudRate) {
    if (!m_line) return kNoLine;
    m_line->Flush();
    if (!m_line->SetBaudRate(baudRate)) return LineFailed(kRateRefused);
    if (!m_line->PurgeInput()) return kRatePurgeFailed;
    return 0;
}

int FlashPort::SetBaudRate(uint32_t baudRate) {
    if (!m_line) return kNoLine;
    uint32_t current = 0;
    if (!m_line->GetBaudRate(current)) return LineFailed(kRateUnreadable);
    if (!m_line->SetBaudRate(baudRate)) return LineFailed(kRateRefused);
    if (!m_line->Purge()) return kRatePurgeFailed;
    return 0;
}

int FlashPort::WriteAll(const uint8_t* buffer, std::size_t length) {
    if (!m_line) return kNoLine;
    if (Cancelled()) return kCancelled;
    if (!buffer || length == 0) return kNoBuffer;
    std::size_t done = 0;
    while (done < length) {
        const long n = m_line->Write(buffer + done, length - done);
        if (n < 0) return kLineError;
        if (n == 0) return kStalled;
        done += static_cast<std::size_t>(n);
    }
    std::this_thread::yield();
    m_line->Flush();
    return 0;
}

int FlashPort::ReadExact(uint8_t* buffer, std::size_t length, uint32_t emptyLimit, uint32_t pauseMs) {
    if (!m_line) return kNoLine;
    if (Cancelled()) return kCancelled;
    if (!buffer || length == 0) return kNoBuffer;
    std::memset(buffer, 0, length);
    std::size_t got = 0;
    uint32_t empty = 0;
    while (got < length) {
        const long n = m_line->Read(buffer + got, length - got);
        if (n < 0) return kLineError;
        if (n == 0) {
            if (Cancelled()) return kCancelled;
            if (empty >= emptyLimit) return kStalled;
            Wait(pauseMs);
            ++empty;
            continue;
        }
        got += static_cast<std::size_t>(n);
        if (got < length) empty = 0;
    }
    return 0;
}

int FlashPort::BytesWaiting(uint32_t& count) {
    if (!m_line) return kNoLine;
    const long n = m_line->BytesWaiting();
    if (n < 0) return kCountUnreadable;
    count = static_cast<uint32_t>(n);
    return 0;
}

int FlashPort::Purge() {
    if (!m_line) return kNoLine;
    return m_line->Purge() ? 0 : kPurgeFailed;
}
