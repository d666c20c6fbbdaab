#include "flash/core/RunLog.h"

#include <cstdio>
#include <filesystem>

#include "flash/core/Throughput.h"
#include "platform/serial/PortList.h"

RunLogFile::RunLogFile(const std::string& path) : m_path(path), m_startMs(SteadyMs()) {
    const std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos) platform::MakeDirectory(path.substr(0, slash));
    if (const int failed = m_file.OpenOwnToAppend(path, false); failed != 0) m_error = platform::ErrorText(failed);
}

void RunLogFile::Step(const std::string& text) {
    if (!m_file.IsOpen()) return;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%7lld ms  ", static_cast<long long>(SteadyMs() - m_startMs));
    const std::string line = stamp + text + "\n";
    std::size_t written = 0;
    if (const int failed = m_file.WriteAll(line.data(), line.size(), written); failed != 0 && m_error.empty())
        m_error = platform::ErrorText(failed);
}

std::string RunLogPath(const std::string& recordsPath, std::time_t start, int slot, const std::string& port) {
    // Records written to a device (/dev/full, a pipe) have no folder beside them to keep.
    std::error_code ec;
    const auto kind = std::filesystem::status(recordsPath, ec).type();
    if (kind != std::filesystem::file_type::not_found && kind != std::filesystem::file_type::regular) return {};
    const std::tm utc = platform::UtcTime(start);
    char when[32];
    std::strftime(when, sizeof when, "%Y%m%dT%H%M%SZ", &utc);
    return recordsPath + ".runs/" + when + "-slot" + std::to_string(slot) + "-" + serial::DeviceShortName(port) +
           ".log";
}
