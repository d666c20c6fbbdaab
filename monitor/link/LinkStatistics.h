// What the link counts as it receives, read by the windows on a timer: bytes, frames,
// checksum errors and what the framer had to drop, and the byte rate from two readings.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

struct LinkStatistics {
    uint64_t bytes = 0;           // delivered by the port
    uint64_t sentences = 0;       // text sentences, binary packets and UBX frames cut
    uint64_t checksumErrors = 0;  // text sentences whose checksum failed
    uint64_t queueDrops = 0;      // dropped unread: the link thread fell behind
    uint64_t overlong = 0;        // lines and packets longer than any the link keeps
    uint64_t cutShort = 0;        // sentences broken off by the start of another
    uint64_t Dropped() const { return queueDrops + overlong + cutShort; }
};

// The figures a window shows: the counts, the rate over the last seconds, and whether
// a line is open to count them.
struct LinkStatus {
    LinkStatistics counts;
    double bytesPerSecond = 0;
    bool open = false;
};

// Bytes per second over the readings of the last kWindowMs: counts that go down (a new
// link counts from 0) start the measure again.
class ByteRate {
public:
    static constexpr int64_t kWindowMs = 2000;
    void Sample(uint64_t bytes, int64_t atMs);
    double PerSecond() const;
    void Reset() { m_samples.clear(); }

private:
    struct Reading {
        uint64_t bytes;
        int64_t atMs;
    };
    std::deque<Reading> m_samples;
};

// "RX 12.3 kB, 1.15 kB/s, 345 sentences, 2 bad checksums, 0 dropped".
std::string StatisticsText(const LinkStatus& status);
// The same for the status bar, where the notices need the room: "12.3 kB, 1.15 kB/s,
// 345 sentences, 2 bad, 0 dropped".
std::string ShortStatisticsText(const LinkStatus& status);
// The dropped count taken apart: "0 behind, 1 too long, 2 cut short".
std::string DroppedText(const LinkStatistics& counts);
