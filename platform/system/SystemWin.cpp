#include <windows.h>

#include <fcntl.h>
#include <direct.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/system/System.h"

namespace platform {

std::string ErrorText(int error) { return std::strerror(error); }

int File::OpenToAppend(const std::string& path) {
    Close();
    m_fd = ::_open(path.c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    return m_fd < 0 ? errno : 0;
}

// _O_EXCL fails on any name that is there, links included. Without it a link (a reparse
// point) is refused by hand, as O_NOFOLLOW does on Linux.
int File::OpenOwnToAppend(const std::string& path, bool mustBeNew) {
    Close();
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (!mustBeNew && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return ELOOP;
    const int flags = _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT | (mustBeNew ? _O_EXCL : 0);
    m_fd = ::_open(path.c_str(), flags, _S_IREAD | _S_IWRITE);
    return m_fd < 0 ? errno : 0;
}

int File::OpenToRead(const std::string& path) {
    Close();
    m_fd = ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (m_fd >= 0) return 0;
    // Windows opens no directory as a file; say what it is rather than "access denied".
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? EISDIR : errno;
}

void File::Close() {
    if (m_fd >= 0) ::_close(m_fd);  // also drops the lock
    m_fd = -1;
}

int File::Info(FileInfo& info) const {
    struct _stat64 st {};
    if (::_fstat64(m_fd, &st) != 0) return errno;
    info.regular = (st.st_mode & _S_IFMT) == _S_IFREG;
    info.size = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    info.modified = static_cast<std::time_t>(st.st_mtime);
    return 0;
}

int File::Lock() {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(m_fd));
    OVERLAPPED from{};  // the whole file, from its first byte
    return LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &from) ? 0 : EACCES;
}

int File::WriteAll(const void* data, std::size_t size, std::size_t& written) {
    const auto* bytes = static_cast<const char*>(data);
    written = 0;
    while (written < size) {
        const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(size - written, 1u << 30));
        const int n = ::_write(m_fd, bytes + written, chunk);
        if (n < 0) return errno;
        if (n == 0) return ENOSPC;
        written += static_cast<std::size_t>(n);
    }
    return 0;
}

long File::Read(void* data, std::size_t size, int& error) {
    const int n = ::_read(m_fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
    if (n < 0) error = errno;
    return n;
}

int File::Sync() { return ::_commit(m_fd) == 0 ? 0 : errno; }

int MakeDirectory(const std::string& path) { return ::_mkdir(path.c_str()) == 0 || errno == EEXIST ? 0 : errno; }

bool PathTaken(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::tm LocalTime(std::time_t t) {
    std::tm out{};
    localtime_s(&out, &t);
    return out;
}

std::string HostName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

std::tm UtcTime(std::time_t t) {
    std::tm out{};
    gmtime_s(&out, &t);
    return out;
}

std::FILE* BinaryInput(std::FILE* stream) {
    ::_setmode(::_fileno(stream), _O_BINARY);
    return stream;
}

bool IsTerminal(std::FILE* stream) {
    if (!::_isatty(::_fileno(stream))) return false;
    const auto console = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    DWORD mode = 0;
    if (!GetConsoleMode(console, &mode)) return false;
    return SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

namespace {

void (*g_stopHandler)(int) = nullptr;

// Runs on a thread of its own that the system starts for the console's event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (!g_stopHandler) return FALSE;
    switch (event) {
        case CTRL_C_EVENT: g_stopHandler(kInterruptRequest); return TRUE;
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT: g_stopHandler(kTerminateRequest); return TRUE;
        default: return FALSE;
    }
}

}  // namespace

void OnStopRequest(void (*handler)(int request)) {
    g_stopHandler = handler;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

const char* StopRequestName(int request) { return request == kInterruptRequest ? "Ctrl+C" : "Ctrl+Break"; }

void LetWritesToClosedPipesFail() {}

}  // namespace platform
