// The helpers that need POSIX: pseudo-terminals, child processes, /proc.
#include "tests/support/TestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

namespace testsupport {

PtyPair::PtyPair() {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    m_slavePath = ::ptsname(m_master);
    const int slave = ::open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::close(slave);
}

PtyPair::~PtyPair() { CloseMaster(); }

void PtyPair::CloseMaster() {
    if (m_master >= 0) ::close(m_master);
    m_master = -1;
}

void PtyPair::WriteMaster(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n <= 0) throw std::runtime_error("pty write failed");
        done += static_cast<std::size_t>(n);
    }
}

std::string PtyPair::ReadMaster(std::size_t atMost, int waitMs) {
    std::string out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (out.size() < atMost) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left <= 0) break;
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0 || !(p.revents & POLLIN)) break;
        char buf[4096];
        const ssize_t n = ::read(m_master, buf, std::min(sizeof buf, atMost - out.size()));
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

ScratchDir::ScratchDir() {
    char templ[] = "/tmp/skyledger-test-XXXXXX";
    if (!::mkdtemp(templ)) throw std::runtime_error("mkdtemp failed");
    m_path = templ;
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& directory) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid < 0) throw std::runtime_error("fork failed");
    if (m_pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(out[1], STDERR_FILENO);
        if (::chdir(directory.c_str()) == 0) ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(out[1]);
    m_fd = out[0];
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    ::close(m_fd);
}

bool ChildProcess::ReadSome() {
    pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, 10) <= 0) return true;
    char buf[4096];
    const ssize_t n = ::read(m_fd, buf, sizeof buf);
    if (n > 0) m_output.append(buf, static_cast<std::size_t>(n));
    return n > 0;
}

bool ChildProcess::WaitFor(const std::string& text, std::chrono::milliseconds limit, std::size_t from) {
    WaitUntil([&] { return !ReadSome() || m_output.find(text, from) != std::string::npos; }, limit);
    return m_output.find(text, from) != std::string::npos;
}

void ChildProcess::Signal(int signal) { ::kill(m_pid, signal); }

int ChildProcess::Wait(std::chrono::milliseconds limit) {
    const bool ended = WaitUntil([&] { return !ReadSome(); }, limit);
    if (!ended) ::kill(m_pid, SIGKILL);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int ThreadCount() { return static_cast<int>(ListDir("/proc/self/task").size()); }

}  // namespace testsupport
