// The module's end of a pseudo-terminal pair: the host program opens the slave device
// as it would a serial port; the simulator reads and writes the master side and reads
// back the line settings the host chose.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

class PtyLine {
public:
    PtyLine() = default;
    ~PtyLine();
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    bool Open(std::string& error);
    void Close();  // the host sees the line hang up
    // Makes (or replaces) a symbolic link to the slave device; removed by Close.
    bool MakeLink(const std::string& linkPath, std::string& error);
    // The adapter pulled: the link goes first, then the pseudo-terminal, so a host's read
    // fails and a host looking for the device again finds nothing.
    void Unplug();
    // Plugged in again: a new pseudo-terminal (most likely under another number) behind
    // the same link.
    bool Plug(std::string& error);
    bool Unplugged() const { return m_unplugged; }

    const std::string& SlavePath() const { return m_slavePath; }
    int MasterFd() const { return m_master; }
    bool IsOpen() const { return m_master >= 0; }

    // The baud rate the host set on its side; 0 if it cannot be read.
    uint32_t HostBaudRate() const;
    // Whether a host has the slave side open.
    bool HostConnected() const;

private:
    int m_master = -1;
    std::string m_slavePath;
    std::string m_linkPath;
    bool m_unplugged = false;
    std::string m_unpluggedLink;  // the link to make again at Plug; empty: none
};

// Paces bytes at a line rate: 10 bits per byte (start, 8 data, stop).
class LinePacer {
public:
    using Clock = std::chrono::steady_clock;

    // When the line is free to take the next byte.
    Clock::time_point FreeAt() const { return m_free; }
    // Books `count` bytes on the line from now or from when it becomes free.
    void Book(std::size_t count, uint32_t baudRate);

private:
    Clock::time_point m_free = Clock::now();
};

}  // namespace sim
