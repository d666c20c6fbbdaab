#include "sim/PtyLine.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/serial/SerialPort.h"

namespace sim {

PtyLine::~PtyLine() { Close(); }

bool PtyLine::Open(std::string& error) {
    Close();
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        Close();
        return false;
    }
    m_slavePath = ::ptsname(m_master);
    // Open the slave once to make it raw (no echo of what the module sends back into
    // the module), then close it: from then on the master sees a hang-up whenever no
    // host has the device open.
    const int slave = ::open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        error = "cannot open " + m_slavePath + ": " + std::strerror(errno);
        Close();
        return false;
    }
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B9600);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::close(slave);
    return true;
}

void PtyLine::Close() {
    if (!m_linkPath.empty()) ::unlink(m_linkPath.c_str());
    m_linkPath.clear();
    if (m_master >= 0) ::close(m_master);
    m_master = -1;
}

bool PtyLine::MakeLink(const std::string& linkPath, std::string& error) {
    struct stat st {};
    if (::lstat(linkPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(linkPath.c_str());
    if (::symlink(m_slavePath.c_str(), linkPath.c_str()) != 0) {
        error = "cannot make link " + linkPath + ": " + std::strerror(errno);
        return false;
    }
    m_linkPath = linkPath;
    return true;
}

void PtyLine::Unplug() {
    std::string link = m_linkPath;
    Close();
    m_unpluggedLink = std::move(link);
    m_unplugged = true;
}

bool PtyLine::Plug(std::string& error) {
    if (!Open(error)) return false;
    m_unplugged = false;
    return m_unpluggedLink.empty() || MakeLink(std::exchange(m_unpluggedLink, {}), error);
}

uint32_t PtyLine::HostBaudRate() const {
    serial::LineSettings line;
    return serial::ReadLineSettings(m_master, line) ? line.baudRate : 0;
}

bool PtyLine::HostConnected() const {
    pollfd p{m_master, 0, 0};
    return ::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP);
}

void LinePacer::Book(std::size_t count, uint32_t baudRate) {
    if (baudRate == 0) baudRate = 9600;
    const auto now = Clock::now();
    const auto ns = std::chrono::nanoseconds(static_cast<int64_t>(count) * 10'000'000'000 / baudRate);
    m_free = std::max(m_free, now) + ns;
}

}  // namespace sim
