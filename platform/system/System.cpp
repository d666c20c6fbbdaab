#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/system/System.h"

namespace platform {

std::string ErrorText(int error) { return std::strerror(error); }

int File::OpenToAppend(const std::string& path) {
    Close();
    m_fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    return m_fd < 0 ? errno : 0;
}

int File::OpenOwnToAppend(const std::string& path, bool mustBeNew) {
    Close();
    const int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | (mustBeNew ? O_EXCL : 0);
    m_fd = ::open(path.c_str(), flags, 0644);
    return m_fd < 0 ? errno : 0;
}

int File::OpenToRead(const std::string& path) {
    Close();
    m_fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    return m_fd < 0 ? errno : 0;
}

void File::Close() {
    if (m_fd >= 0) ::close(m_fd);  // also drops the lock
    m_fd = -1;
}

int File::Info(FileInfo& info) const {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) return errno;
    info.regular = S_ISREG(st.st_mode);
    info.size = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    info.modified = st.st_mtime;
    return 0;
}

int File::Lock() { return ::flock(m_fd, LOCK_EX) == 0 ? 0 : errno; }

int File::WriteAll(const void* data, std::size_t size, std::size_t& written) {
    const auto* bytes = static_cast<const char*>(data);
    written = 0;
    while (written < size) {
        const ssize_t n = ::write(m_fd, bytes + written, size - written);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return ENOSPC;
        written += static_cast<std::size_t>(n);
    }
    return 0;
}

long File::Read(void* data, std::size_t size, int& error) {
    for (;;) {
        const ssize_t n = ::read(m_fd, data, size);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        error = errno;
        return -1;
    }
}

int File::Sync() { return ::fdatasync(m_fd) == 0 ? 0 : errno; }

int MakeDirectory(const std::string& path) {
    return ::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST ? 0 : errno;
}

bool PathTaken(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::tm LocalTime(std::time_t t) {
    std::tm out{};
    localtime_r(&t, &out);
    return out;
}

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

std::tm UtcTime(std::time_t t) {
    std::tm out{};
    gmtime_r(&t, &out);
    return out;
}

std::FILE* BinaryInput(std::FILE* stream) { return stream; }

bool IsTerminal(std::FILE* stream) { return ::isatty(fileno(stream)); }

namespace {

void (*g_stopHandler)(int) = nullptr;

void OnSignal(int signal) {
    if (g_stopHandler) g_stopHandler(signal == SIGINT ? kInterruptRequest : kTerminateRequest);
}

}  // namespace

void OnStopRequest(void (*handler)(int request)) {
    g_stopHandler = handler;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

const char* StopRequestName(int request) { return request == kInterruptRequest ? "SIGINT" : "SIGTERM"; }

void LetWritesToClosedPipesFail() { ::signal(SIGPIPE, SIG_IGN); }

}  // namespace platform
