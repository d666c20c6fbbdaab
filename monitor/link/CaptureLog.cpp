#include "monitor/link/CaptureLog.h"

#include <cerrno>
#include <cstdio>

#include "platform/serial/PortList.h"

namespace {
constexpr std::string_view kLogExtension = ".log";
}

CaptureLog::CaptureLog(std::string directory) : m_directory(directory), m_nextDirectory(std::move(directory)) {}

CaptureLog::~CaptureLog() { Close(); }

std::string FormatCaptureLogName(std::string_view devicePath, const std::tm& t) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d%02d_%02d%02d%02d_", t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec);
    return stamp + serial::DeviceShortName(devicePath) + std::string(kLogExtension);
}

bool CaptureLog::Taken(const std::string& name) const {
    // A dangling link is taken too, as writing would create its target.
    return m_writtenNames.count(name) > 0 || platform::PathTaken(m_directory + "/" + name);
}

std::string CaptureLog::FreeName(const std::string& formed) const {
    const std::string stem = formed.substr(0, formed.size() - kLogExtension.size());
    std::string name = formed;
    for (int n = 2; Taken(name); ++n) name = stem + "_" + std::to_string(n) + std::string(kLogExtension);
    return name;
}

void CaptureLog::Name(std::string_view devicePath, const std::tm& localTime) {
    std::lock_guard lock(m_mutex);
    if (m_nextDirectory != m_directory) {
        m_directory = m_nextDirectory;
        m_directoryEnsured = false;
    }
    m_fileName = FreeName(FormatCaptureLogName(devicePath, localTime));
    m_errorText.clear();
    m_bytesLost = 0;
    m_wasWritten = false;
}

void CaptureLog::Name(std::string_view devicePath) {
    Name(devicePath, platform::LocalTime(std::time(nullptr)));
}

void CaptureLog::SetDirectory(std::string directory) {
    std::lock_guard lock(m_mutex);
    m_nextDirectory = std::move(directory);
}

std::string CaptureLog::Directory() const {
    std::lock_guard lock(m_mutex);
    return m_nextDirectory;
}

int CaptureLog::MakeDirectory() {
    return platform::MakeDirectory(m_directory);
}

void CaptureLog::EnsureDirectory() {
    std::lock_guard lock(m_mutex);
    MakeDirectory();  // a failure shows when the first block cannot be written
}

std::string CaptureLog::FilePath() const {
    std::lock_guard lock(m_mutex);
    return CurrentPath();
}

bool CaptureLog::IsFileOpen() const {
    std::lock_guard lock(m_mutex);
    return m_file.IsOpen();
}

std::string CaptureLog::ErrorText() const {
    std::lock_guard lock(m_mutex);
    return m_errorText;
}

uint64_t CaptureLog::BytesLost() const {
    std::lock_guard lock(m_mutex);
    return m_bytesLost;
}

bool CaptureLog::WasWritten() const {
    std::lock_guard lock(m_mutex);
    return m_wasWritten;
}

// Returns 0 or the errno that kept the file from opening.
int CaptureLog::OpenFile(const std::string& path) {
    // The connection's file is made new; reopened after Close it is appended to, never
    // truncated. Neither goes through a link.
    const bool mustBeNew = m_writtenNames.count(m_fileName) == 0;
    int error = m_file.OpenOwnToAppend(path, mustBeNew);
    if (error == ENOENT) {
        // The directory went away while the program ran: make it again rather than
        // stop logging for the rest of the run.
        if (const int made = MakeDirectory(); made != 0) return made;
        error = m_file.OpenOwnToAppend(path, mustBeNew);
    }
    if (error != 0) return error;
    m_openPath = path;
    m_writtenNames.insert(m_fileName);
    return 0;
}

void CaptureLog::CloseFile() {
    m_file.Close();
    m_openPath.clear();
}

void CaptureLog::Lose(const std::string& path, const std::string& reason, std::size_t count) {
    m_errorText = "cannot write capture log " + path + ": " + reason;
    m_bytesLost += count;
}

void CaptureLog::OpenOrLose(const std::string& path, std::size_t count) {
    if (!m_directoryEnsured) {
        MakeDirectory();
        m_directoryEnsured = true;
    }
    CloseFile();
    if (const int error = OpenFile(path); error != 0) Lose(path, platform::ErrorText(error), count);
}

void CaptureLog::Create() {
    std::lock_guard lock(m_mutex);
    const std::string path = CurrentPath();
    if (path != m_openPath) OpenOrLose(path, 0);
}

void CaptureLog::Append(const uint8_t* data, std::size_t count) {
    std::lock_guard lock(m_mutex);
    const std::string path = CurrentPath();
    if (path != m_openPath) {
        // This block goes unlogged; the next one tries again.
        OpenOrLose(path, count);
        if (!m_file.IsOpen()) return;
    }
    // Unbuffered writes: each block is in the file once this returns.
    std::size_t written = 0;
    const int error = m_file.WriteAll(data, count, written);
    if (written > 0) m_wasWritten = true;
    if (error != 0) Lose(path, platform::ErrorText(error), count - written);
}

void CaptureLog::Close() {
    std::lock_guard lock(m_mutex);
    CloseFile();
}
