// termios2 is declared by <asm/termbits.h>, which cannot live beside <termios.h>:
// this file talks to the tty driver through ioctl() alone.
#include "platform/serial/SerialPort.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

#include "platform/serial/CancelEvent.h"

namespace serial {
namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds left until a deadline, never negative; -1 when there is no deadline.
int MsLeft(const std::optional<Clock::time_point>& deadline) {
    if (!deadline) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
    return static_cast<int>(std::max<int64_t>(0, left.count()));
}

int MinWait(int a, int b) {
    if (a < 0) return b;
    if (b < 0) return a;
    return std::min(a, b);
}

std::optional<Clock::time_point> TotalDeadline(uint32_t multiplierMs, uint32_t constantMs,
                                               std::size_t size) {
    if (multiplierMs == 0 && constantMs == 0) return std::nullopt;
    const uint64_t ms = uint64_t{multiplierMs} * size + constantMs;
    return Clock::now() + std::chrono::milliseconds(std::min<uint64_t>(ms, INT32_MAX));
}

}  // namespace

constexpr uint32_t kFramingMask = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;

bool EncodeFraming(const LineSettings& s, uint32_t& cflag) {
    uint32_t f = 0;
    switch (s.dataBits) {
        case 5: f |= CS5; break;
        case 6: f |= CS6; break;
        case 7: f |= CS7; break;
        case 8: f |= CS8; break;
        default: return false;
    }
    switch (s.parity) {
        case Parity::None: break;
        case Parity::Odd: f |= PARENB | PARODD; break;
        case Parity::Even: f |= PARENB; break;
        case Parity::Mark: f |= PARENB | CMSPAR | PARODD; break;
        case Parity::Space: f |= PARENB | CMSPAR; break;
        default: return false;
    }
    // A UART sends 1.5 stop bits when asked for two with five data bits. As with the comm
    // API, 1.5 goes only with five data bits and 2 only with six or more.
    if ((s.stopBits == StopBits::OnePointFive) != (s.stopBits != StopBits::One && s.dataBits == 5))
        return false;
    if (s.stopBits != StopBits::One) f |= CSTOPB;
    cflag = (cflag & ~kFramingMask) | f;
    return true;
}

void DecodeFraming(uint32_t cflag, LineSettings& settings) {
    switch (cflag & CSIZE) {
        case CS5: settings.dataBits = 5; break;
        case CS6: settings.dataBits = 6; break;
        case CS7: settings.dataBits = 7; break;
        default: settings.dataBits = 8; break;
    }
    if (!(cflag & PARENB))
        settings.parity = Parity::None;
    else if (cflag & CMSPAR)
        settings.parity = (cflag & PARODD) ? Parity::Mark : Parity::Space;
    else
        settings.parity = (cflag & PARODD) ? Parity::Odd : Parity::Even;
    if (!(cflag & CSTOPB))
        settings.stopBits = StopBits::One;
    else
        settings.stopBits = settings.dataBits == 5 ? StopBits::OnePointFive : StopBits::Two;
}

bool SerialPort::Fail(const char* what) { return FailWith(what, errno); }

std::string ErrorText(int code) { return std::strerror(code); }

bool SerialPort::IsOpen() const { return m_fd >= 0; }

void SerialPort::SetTimeouts(const Timeouts& timeouts) { m_timeouts = timeouts; }

bool SerialPort::Open(const std::string& path) {
    Close();
    m_path = path;
    m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) return Fail("cannot open");
    // TIOCEXCL keeps other users out but root ignores it; the lock holds for everyone
    // who opens serial ports through this layer.
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_fd);
        errno = EBUSY;
        Fail("cannot open");
        m_fd = -1;
        return false;
    }
    ::ioctl(m_fd, TIOCEXCL);
    return true;
}

bool SerialPort::RequestLowLatency() {
    if (m_fd < 0) return false;
    serial_struct info{};
    if (::ioctl(m_fd, TIOCGSERIAL, &info) != 0) return false;  // a pseudo-terminal has none
    if (info.flags & ASYNC_LOW_LATENCY) return true;
    const int before = info.flags;
    info.flags |= ASYNC_LOW_LATENCY;
    if (::ioctl(m_fd, TIOCSSERIAL, &info) != 0) return false;
    m_flagsBeforeLowLatency = before;
    return true;
}

void SerialPort::Close() {
    if (m_fd < 0) return;
    if (m_flagsBeforeLowLatency) {
        serial_struct info{};
        if (::ioctl(m_fd, TIOCGSERIAL, &info) == 0) {
            info.flags = *m_flagsBeforeLowLatency;
            ::ioctl(m_fd, TIOCSSERIAL, &info);
        }
        m_flagsBeforeLowLatency.reset();
    }
    ::ioctl(m_fd, TIOCNXCL);
    ::close(m_fd);  // also drops the flock
    m_fd = -1;
}

bool SerialPort::SetLine(const LineSettings& settings) {
    termios2 tio{};
    if (::ioctl(m_fd, TCGETS2, &tio) != 0) return Fail("cannot read line settings of");
    uint32_t cflag = tio.c_cflag;
    if (!EncodeFraming(settings, cflag) || settings.baudRate == 0) {
        errno = EINVAL;
        return Fail("unsupported line settings for");
    }
    tio.c_iflag = 0;
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tio.c_cflag = cflag & ~(CBAUD | (CBAUD << IBSHIFT) | CRTSCTS);
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT) | CREAD | CLOCAL;
    tio.c_ispeed = settings.baudRate;
    tio.c_ospeed = settings.baudRate;
    // VMIN 1 so that a non-blocking read with nothing there says EAGAIN; with VMIN 0 it
    // would return 0, which is how a hung-up line reads.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::ioctl(m_fd, TCSETS2, &tio) != 0) return Fail("cannot set line settings of");
    // A pseudo-terminal has no modem lines and refuses this; a real port must not.
    const int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(m_fd, TIOCMBIS, &lines) != 0 && errno != ENOTTY && errno != EINVAL)
        return Fail("cannot raise DTR/RTS on");
    return true;
}

bool ReadLineSettings(int fd, LineSettings& settings) {
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0) return false;
    settings.baudRate = tio.c_ospeed;
    DecodeFraming(tio.c_cflag, settings);
    return true;
}

bool SerialPort::GetLine(LineSettings& settings) {
    return ReadLineSettings(m_fd, settings) || Fail("cannot read line settings of");
}

// Waits for `events` (or a hang-up) on the port, the cancel event or the time-out.
SerialPort::WaitResult SerialPort::WaitFor(short events, int timeoutMs,
                                           const CancelEvent* cancel) {
    pollfd fds[2] = {{m_fd, events, 0}, {cancel ? cancel->Fd() : -1, POLLIN, 0}};
    for (;;) {
        const int n = ::poll(fds, cancel ? 2 : 1, timeoutMs);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Fail("cannot wait on"), WaitResult::Error;
        if (cancel && (fds[1].revents & POLLIN)) return WaitResult::Cancelled;
        return n == 0 ? WaitResult::TimedOut : WaitResult::Ready;
    }
}

long SerialPort::Read(void* buffer, std::size_t size, const CancelEvent* cancel) {
    auto* out = static_cast<uint8_t*>(buffer);
    const Timeouts& t = m_timeouts;
    const bool maxInterval = t.readIntervalMs == Timeouts::kMaxTimeout;
    // "Return at once with what is there", optionally after waiting for a first byte.
    const bool immediate = maxInterval && t.readTotalMultiplierMs == 0 && t.readTotalConstantMs == 0;
    const bool firstByte = maxInterval && t.readTotalMultiplierMs == Timeouts::kMaxTimeout &&
                           t.readTotalConstantMs != 0 && t.readTotalConstantMs != Timeouts::kMaxTimeout;

    std::optional<Clock::time_point> deadline;
    if (firstByte)
        deadline = Clock::now() + std::chrono::milliseconds(t.readTotalConstantMs);
    else if (!immediate)
        deadline = TotalDeadline(t.readTotalMultiplierMs, t.readTotalConstantMs, size);
    const bool useInterval = !maxInterval && t.readIntervalMs != 0;

    std::size_t got = 0;
    while (got < size) {
        const ssize_t r = ::read(m_fd, out + got, size - got);
        if (r > 0) {
            got += static_cast<std::size_t>(r);
            if (immediate || firstByte) break;
            continue;  // take whatever else is already waiting before timing the gap
        }
        if (r == 0 || errno == EIO) {  // the line hung up
            if (got > 0) break;
            errno = EIO;
            return Fail("line lost on"), -1;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN) return got > 0 ? static_cast<long>(got) : (Fail("cannot read"), -1);
        if (immediate) break;

        int wait = MsLeft(deadline);
        if (useInterval && got > 0) wait = MinWait(wait, static_cast<int>(t.readIntervalMs));
        if (wait == 0) break;
        // Waiting ends on data, on the cancel event, or when the total or the gap after
        // the last byte ran out: the last two end the read.
        const WaitResult w = WaitFor(POLLIN, wait, cancel);
        if (w == WaitResult::Error) return -1;
        if (w != WaitResult::Ready) break;
    }
    return static_cast<long>(got);
}

long SerialPort::Write(const void* buffer, std::size_t size, const CancelEvent* cancel) {
    const auto* in = static_cast<const uint8_t*>(buffer);
    const auto deadline =
        TotalDeadline(m_timeouts.writeTotalMultiplierMs, m_timeouts.writeTotalConstantMs, size);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t r = ::write(m_fd, in + done, size - done);
        if (r > 0) {
            done += static_cast<std::size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && errno != EAGAIN) return Fail("cannot write to"), -1;
        const int wait = MsLeft(deadline);
        if (wait == 0) break;
        const WaitResult w = WaitFor(POLLOUT, wait, cancel);
        if (w == WaitResult::Error) return -1;
        if (w != WaitResult::Ready) break;
    }
    return static_cast<long>(done);
}

long SerialPort::BytesWaiting() {
    int n = 0;
    if (::ioctl(m_fd, FIONREAD, &n) != 0) return Fail("cannot query"), -1;
    return n;
}

long SerialPort::BytesQueuedOut() {
    int n = 0;
    if (::ioctl(m_fd, TIOCOUTQ, &n) != 0) return Fail("cannot query"), -1;
    return n;
}

bool SerialPort::Purge(unsigned flags) {
    const bool rx = flags & kPurgeRx;
    const bool tx = flags & kPurgeTx;
    if (!rx && !tx) return true;
    const int which = rx && tx ? TCIOFLUSH : (rx ? TCIFLUSH : TCOFLUSH);
    if (::ioctl(m_fd, TCFLSH, which) != 0) return Fail("cannot purge");
    return true;
}

bool SerialPort::ClearBreak() {
    if (::ioctl(m_fd, TIOCCBRK) != 0 && errno != ENOTTY) return Fail("cannot clear break on");
    return true;
}

bool SerialPort::Drain() {
    if (::ioctl(m_fd, TCSBRK, 1) != 0) return Fail("cannot drain");
    return true;
}

}  // namespace serial
