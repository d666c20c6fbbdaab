// Helpers shared by the test suites: pseudo-terminal pairs, scratch directories, files.
// Pseudo-terminals, child processes and thread counts are POSIX only (TestSupport.cpp).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

#ifndef _WIN32
// A raw pseudo-terminal pair. The test plays the far end on the master side; the code
// under test opens SlavePath() like any serial device.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return m_slavePath; }
    int Master() const { return m_master; }
    void WriteMaster(const std::string& bytes);
    std::string ReadMaster(std::size_t atMost, int waitMs);
    void CloseMaster();  // the line hangs up

private:
    int m_master = -1;
    std::string m_slavePath;
};
#endif

// A fresh directory under /tmp (the temporary folder on Windows), removed with everything in it at the end.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);
std::vector<std::string> ListDir(const std::string& path);
std::string RandomBytes(std::size_t count, uint32_t seed);
std::size_t CountOf(const std::string& text, const std::string& part);  // how often part occurs

#ifndef _WIN32
// A program run as a user runs it from a shell in `directory`, its standard output and
// error read together through one pipe. A child still running at the end is killed.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& argv, const std::string& directory);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Reads the output until it holds `text` (at `from` or after); false if that did not
    // come in time.
    bool WaitFor(const std::string& text, std::chrono::milliseconds limit, std::size_t from = 0);
    void Signal(int signal);
    // Reads the output to its end; the exit status, or -1 when killed or out of time.
    int Wait(std::chrono::milliseconds limit);
    const std::string& Output() const { return m_output; }

private:
    bool ReadSome();  // false at the end of the output

    int m_pid = -1;
    int m_fd = -1;
    std::string m_output;
};
#endif

// Polls `done` until it holds or the time runs out; true if it held.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

#ifndef _WIN32
int ThreadCount();  // threads of this process
#endif

}  // namespace testsupport
