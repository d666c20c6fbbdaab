// The serial port on Windows: the comm API on a handle opened for overlapped I/O. The
// driver itself keeps the time-out model (COMMTIMEOUTS), so a read or write is one call
// whose wait also ends at once on the cancel event.
#include <windows.h>

#include <algorithm>

#include "platform/serial/CancelEvent.h"
#include "platform/serial/SerialPort.h"

namespace serial {
namespace {

// "COM10" and above are reached only through the device namespace; the lower ones take it too.
std::string DeviceName(const std::string& path) {
    return path.rfind("\\\\", 0) == 0 ? path : "\\\\.\\" + path;
}

// Each thread's completion event for its overlapped calls: a port's receive and transmit
// workers each wait on their own.
class ThreadEvent {
public:
    ThreadEvent() : m_handle(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~ThreadEvent() {
        if (m_handle) CloseHandle(m_handle);
    }
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

HANDLE CompletionEvent() {
    thread_local ThreadEvent event;
    return event.Get();
}

COMMTIMEOUTS ToCommTimeouts(const Timeouts& t) {
    COMMTIMEOUTS c{};
    c.ReadIntervalTimeout = t.readIntervalMs;
    c.ReadTotalTimeoutMultiplier = t.readTotalMultiplierMs;
    c.ReadTotalTimeoutConstant = t.readTotalConstantMs;
    c.WriteTotalTimeoutMultiplier = t.writeTotalMultiplierMs;
    c.WriteTotalTimeoutConstant = t.writeTotalConstantMs;
    return c;
}

// A transfer that ended before it was whole without a fault: cancelled, or (under Wine)
// a total time-out that ran out before the first byte, which Windows completes as a
// read of nothing.
bool EndedEarly(DWORD error) { return error == ERROR_OPERATION_ABORTED || error == ERROR_TIMEOUT; }

}  // namespace

bool SerialPort::Fail(const char* what) { return FailWith(what, static_cast<int>(GetLastError())); }

std::string ErrorText(int code) {
    char text[512];
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                   static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text,
                                   sizeof text, nullptr);
    std::string words(text, n);
    // The system's sentence ends in ".\r\n"; here it goes inside a line.
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' ' ||
                              words.back() == '.'))
        words.pop_back();
    return words.empty() ? "error " + std::to_string(code) : words;
}

bool SerialPort::IsOpen() const { return m_handle != nullptr; }

bool SerialPort::Open(const std::string& path) {
    Close();
    m_path = path;
    // No sharing: the comm API lets one handle at a time have the port.
    HANDLE h = CreateFileA(DeviceName(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Fail("cannot open");
    COMMPROP properties{};
    if (!GetCommProperties(h, &properties)) {  // a file or a disk, not a serial port
        const int code = static_cast<int>(GetLastError());
        CloseHandle(h);
        return FailWith("cannot open", code);
    }
    m_handle = h;
    // The time-outs stay with the port after a program closes it: start from this
    // program's own.
    SetTimeouts(m_timeouts);
    return true;
}

bool SerialPort::RequestLowLatency() {
    // The comm API has no such setting; a USB bridge's latency timer is set in its driver.
    return false;
}

void SerialPort::Close() {
    if (!m_handle) return;
    CloseHandle(m_handle);
    m_handle = nullptr;
}

bool SerialPort::SetLine(const LineSettings& settings) {
    if (!IsValidFraming(settings) || settings.baudRate == 0)
        return FailWith("unsupported line settings for", ERROR_INVALID_PARAMETER);
    // The whole line from these settings, nothing from what the last program left (which
    // Wine cannot always read back: a rate a Linux program set outside the termios list).
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.XonChar = 0x11;  // unused without flow control, but they must differ
    dcb.XoffChar = 0x13;
    dcb.BaudRate = settings.baudRate;
    dcb.ByteSize = settings.dataBits;
    dcb.Parity = static_cast<BYTE>(settings.parity);      // NOPARITY .. SPACEPARITY
    dcb.StopBits = static_cast<BYTE>(settings.stopBits);  // ONESTOPBIT .. TWOSTOPBITS
    // Raw: binary, no flow control, no character replaced, errors never stop the port.
    dcb.fBinary = TRUE;
    dcb.fParity = settings.parity != Parity::None;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    if (!SetCommState(m_handle, &dcb)) return Fail("cannot set line settings of");
    // A port without modem lines (a virtual one; under Wine a pseudo-terminal) says it
    // does not support this; a real port must not refuse.
    if ((!EscapeCommFunction(m_handle, SETDTR) || !EscapeCommFunction(m_handle, SETRTS)) &&
        GetLastError() != ERROR_NOT_SUPPORTED)
        return Fail("cannot raise DTR/RTS on");
    return true;
}

bool SerialPort::GetLine(LineSettings& settings) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(m_handle, &dcb)) return Fail("cannot read line settings of");
    settings.baudRate = dcb.BaudRate;
    settings.dataBits = dcb.ByteSize;
    settings.parity = static_cast<Parity>(std::min<BYTE>(dcb.Parity, SPACEPARITY));
    settings.stopBits = static_cast<StopBits>(std::min<BYTE>(dcb.StopBits, TWOSTOPBITS));
    return true;
}

void SerialPort::SetTimeouts(const Timeouts& timeouts) {
    m_timeouts = timeouts;
    if (!m_handle) return;
    COMMTIMEOUTS c = ToCommTimeouts(timeouts);
    if (!SetCommTimeouts(m_handle, &c)) Fail("cannot set time-outs of");
}

// One overlapped read or write: the driver ends it by its time-outs; the cancel event
// ends it at once, keeping what was transferred until then.
long SerialPort::Transfer(bool reading, void* buffer, std::size_t size, const CancelEvent* cancel) {
    const char* what = reading ? "cannot read" : "cannot write to";
    OVERLAPPED ov{};
    ov.hEvent = CompletionEvent();
    if (!ov.hEvent) return Fail(what), -1;
    ResetEvent(ov.hEvent);
    const DWORD count = static_cast<DWORD>(std::min<std::size_t>(size, 0x7FFFFFFF));
    const BOOL started = reading ? ReadFile(m_handle, buffer, count, nullptr, &ov)
                                 : WriteFile(m_handle, buffer, count, nullptr, &ov);
    if (!started && GetLastError() != ERROR_IO_PENDING) return EndedEarly(GetLastError()) ? 0 : (Fail(what), -1);
    if (!started) {
        const HANDLE waits[2] = {ov.hEvent, cancel ? cancel->Handle() : nullptr};
        const DWORD w = WaitForMultipleObjects(cancel ? 2 : 1, waits, FALSE, INFINITE);
        if (w != WAIT_OBJECT_0) CancelIoEx(m_handle, &ov);  // cancelled (or the wait failed)
    }
    DWORD done = 0;
    if (!GetOverlappedResult(m_handle, &ov, &done, TRUE) && !EndedEarly(GetLastError())) return Fail(what), -1;
    return static_cast<long>(done);
}

long SerialPort::Read(void* buffer, std::size_t size, const CancelEvent* cancel) {
    if (cancel && cancel->IsSet()) return 0;
    return Transfer(true, buffer, size, cancel);
}

long SerialPort::Write(const void* buffer, std::size_t size, const CancelEvent* cancel) {
    if (cancel && cancel->IsSet()) return 0;
    return Transfer(false, const_cast<void*>(buffer), size, cancel);
}

long SerialPort::BytesWaiting() {
    COMSTAT status{};
    DWORD errors = 0;  // framing, parity and overrun errors, cleared by this call
    if (!ClearCommError(m_handle, &errors, &status)) return Fail("cannot query"), -1;
    return static_cast<long>(status.cbInQue);
}

long SerialPort::BytesQueuedOut() {
    COMSTAT status{};
    DWORD errors = 0;
    if (!ClearCommError(m_handle, &errors, &status)) return Fail("cannot query"), -1;
    return static_cast<long>(status.cbOutQue);
}

bool SerialPort::Purge(unsigned flags) {
    const DWORD which = ((flags & kPurgeRx) ? PURGE_RXCLEAR : 0) | ((flags & kPurgeTx) ? PURGE_TXCLEAR : 0);
    if (which == 0) return true;
    if (!PurgeComm(m_handle, which)) return Fail("cannot purge");
    return true;
}

bool SerialPort::ClearBreak() {
    if (!EscapeCommFunction(m_handle, CLRBREAK) && GetLastError() != ERROR_NOT_SUPPORTED)
        return Fail("cannot clear break on");
    return true;
}

bool SerialPort::Drain() {
    // On a comm handle: returns once the driver's transmit buffer is on the line.
    if (!FlushFileBuffers(m_handle)) return Fail("cannot drain");
    return true;
}

}  // namespace serial
