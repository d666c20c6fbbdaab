// What the serial port does the same way on every system; the system's own calls are in
// SerialPort.cpp (POSIX) and SerialPortWin.cpp.
#include "platform/serial/SerialPort.h"

namespace serial {

namespace {
thread_local int t_lastErrorCode = 0;
}

int ThisThreadLastErrorCode() { return t_lastErrorCode; }

SerialPort::~SerialPort() { Close(); }

bool SerialPort::FailWith(const char* what, int code) {
    t_lastErrorCode = code;
    std::lock_guard lock(m_errorMutex);
    m_error.code = code;
    m_error.text = std::string(what) + " " + m_path + ": " + ErrorText(code);
    return false;
}

Error SerialPort::LastError() const {
    std::lock_guard lock(m_errorMutex);
    return m_error;
}

bool SerialPort::SetBaudRate(uint32_t baudRate) {
    LineSettings settings;
    if (!GetLine(settings)) return false;
    settings.baudRate = baudRate;
    return SetLine(settings);
}

bool IsValidFraming(const LineSettings& s) {
    if (s.dataBits < 5 || s.dataBits > 8 || s.parity > Parity::Space) return false;
    // 1.5 stop bits go only with five data bits, 2 only with six or more.
    if (s.stopBits == StopBits::OnePointFive) return s.dataBits == 5;
    if (s.stopBits == StopBits::Two) return s.dataBits >= 6;
    return s.stopBits == StopBits::One;
}

}  // namespace serial
