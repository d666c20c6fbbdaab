// Raw capture of every byte received on a connection, one file per connection under
// "LOG", named MMDD_hhmmss_<device>.log. Written block by block by the receive worker
// before the bytes go on to the framer, so the file holds the line exactly as it came.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>

class CaptureLog {
public:
    explicit CaptureLog(std::string directory = "LOG");
    ~CaptureLog();
    CaptureLog(const CaptureLog&) = delete;
    CaptureLog& operator=(const CaptureLog&) = delete;

    // Forms the file name for a new connection; the file is made by its first block.
    void Name(std::string_view devicePath, const std::tm& localTime);
    void Name(std::string_view devicePath);  // local time now
    void EnsureDirectory();
    void Append(const uint8_t* data, std::size_t count);
    void Close();

    std::string FilePath() const;  // where the current connection is (or will be) logged
    bool IsFileOpen() const;

private:
    bool OpenFile(const std::string& path);

    mutable std::mutex m_mutex;  // naming, writing and closing come from three threads
    const std::string m_directory;
    std::string m_fileName;
    bool m_directoryEnsured = false;
    int m_fd = -1;
    std::string m_openPath;
};

// "0507_143015_ttyUSB0.log" for /dev/ttyUSB0 on 7 May at 14:30:15.
std::string FormatCaptureLogName(std::string_view devicePath, const std::tm& localTime);

// The program's one capture log and the operations the link uses on it.
CaptureLog& ProgramCaptureLog();
void NameCaptureLog(std::string_view devicePath);
void EnsureLogDirectory();
void AppendToCaptureLog(const uint8_t* data, std::size_t count);
void CloseCaptureLog();
