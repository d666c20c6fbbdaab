// Helpers shared by the test suites: pseudo-terminal pairs, scratch directories, files.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

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

// A fresh directory under /tmp, removed with everything in it at the end.
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

// Polls `done` until it holds or the time runs out; true if it held.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

int ThreadCount();  // threads of this process

}  // namespace testsupport
