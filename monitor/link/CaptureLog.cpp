#include "CaptureLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "PortList.h"

CaptureLog::CaptureLog(std::string directory) : m_directory(std::move(directory)) {}

CaptureLog::~CaptureLog() { Close(); }

std::string FormatCaptureLogName(std::string_view devicePath, const std::tm& t) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d%02d_%02d%02d%02d_", t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec);
    return stamp + serial::DeviceShortName(devicePath) + ".log";
}

void CaptureLog::Name(std::string_view devicePath, const std::tm& localTime) {
    std::lock_guard lock(m_mutex);
    m_fileName = FormatCaptureLogName(devicePath, localTime);
}

void CaptureLog::Name(std::string_view devicePath) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    Name(devicePath, local);
}

void CaptureLog::EnsureDirectory() {
    ::mkdir(m_directory.c_str(), 0777);  // an existing directory is fine; failure is silent
}

std::string CaptureLog::FilePath() const {
    std::lock_guard lock(m_mutex);
    return m_directory + "/" + m_fileName;
}

bool CaptureLog::IsFileOpen() const {
    std::lock_guard lock(m_mutex);
    return m_fd >= 0;
}

bool CaptureLog::OpenFile(const std::string& path) {
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_fd < 0 && errno == ENOENT) {
        // The directory went away while the program ran: make it again rather than
        // stop logging for the rest of the run.
        EnsureDirectory();
        m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    }
    if (m_fd >= 0) m_openPath = path;
    return m_fd >= 0;
}

void CaptureLog::Append(const uint8_t* data, std::size_t count) {
    std::lock_guard lock(m_mutex);
    if (!m_directoryEnsured) {
        EnsureDirectory();
        m_directoryEnsured = true;
    }
    const std::string path = m_directory + "/" + m_fileName;
    if (path != m_openPath) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
        m_openPath.clear();
        if (!OpenFile(path)) return;  // this block goes unlogged; the next one tries again
    }
    // Unbuffered writes: each block is in the file once this returns.
    while (count > 0) {
        const ssize_t n = ::write(m_fd, data, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        data += n;
        count -= static_cast<std::size_t>(n);
    }
}

void CaptureLog::Close() {
    std::lock_guard lock(m_mutex);
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_openPath.clear();
}

CaptureLog& ProgramCaptureLog() {
    static CaptureLog log;
    return log;
}

void NameCaptureLog(std::string_view devicePath) { ProgramCaptureLog().Name(devicePath); }
void EnsureLogDirectory() { ProgramCaptureLog().EnsureDirectory(); }
void AppendToCaptureLog(const uint8_t* data, std::size_t count) {
    ProgramCaptureLog().Append(data, count);
}
void CloseCaptureLog() { ProgramCaptureLog().Close(); }
