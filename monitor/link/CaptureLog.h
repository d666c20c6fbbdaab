// Raw capture of every byte received on a connection, one file per connection under
// "LOG" (or a folder the user chose), named MMDD_hhmmss_<device>.log. Written block by block by the receive worker
// before the bytes go on to the framer, so the file holds the line exactly as it came.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "platform/system/System.h"

class CaptureLog {
public:
    explicit CaptureLog(std::string directory = "LOG");
    ~CaptureLog();
    CaptureLog(const CaptureLog&) = delete;
    CaptureLog& operator=(const CaptureLog&) = delete;

    // Forms the file name for a new connection. A name already on disk or written
    // earlier in this run gets "_2", "_3", ... so that a reconnect within the same second
    // never writes into an earlier capture.
    void Name(std::string_view devicePath, const std::tm& localTime);
    void Name(std::string_view devicePath);  // local time now
    // The folder for the connections named from now on; the current one's file stays
    // where it is.
    void SetDirectory(std::string directory);
    std::string Directory() const;
    // Makes the named file as the connection opens, rather than at its first byte: a new
    // file, never anything found at the name (a link planted there is refused, not
    // followed). A refusal is reported as a write failure. Without it the first block
    // makes the file the same way.
    void Create();
    void EnsureDirectory();
    void Append(const uint8_t* data, std::size_t count);
    void Close();

    std::string FilePath() const;  // where the current connection is (or will be) logged
    bool IsFileOpen() const;

    // The current connection's capture, for polling from any thread. A failure stays
    // reported until the next connection is named: the file has a gap from then on.
    std::string ErrorText() const;  // empty while every block reached the file
    uint64_t BytesLost() const;     // received on this connection, missing from its file
    bool WasWritten() const;        // the file holds at least one byte of this connection

private:
    std::string CurrentPath() const { return m_directory + "/" + m_fileName; }
    bool Taken(const std::string& name) const;
    std::string FreeName(const std::string& formed) const;
    int MakeDirectory();
    int OpenFile(const std::string& path);
    void OpenOrLose(const std::string& path, std::size_t count);
    void CloseFile();
    void Lose(const std::string& path, const std::string& reason, std::size_t count);

    mutable std::mutex m_mutex;  // naming, writing, closing and polling come from four threads
    std::string m_directory;      // the current connection's folder
    std::string m_nextDirectory;  // the next named connection's
    std::string m_fileName;
    bool m_directoryEnsured = false;
    platform::File m_file;
    std::string m_openPath;
    std::set<std::string> m_writtenNames;
    std::string m_errorText;
    uint64_t m_bytesLost = 0;
    bool m_wasWritten = false;
};

// "0507_143015_ttyUSB0.log" for /dev/ttyUSB0 on 7 May at 14:30:15.
std::string FormatCaptureLogName(std::string_view devicePath, const std::tm& localTime);
