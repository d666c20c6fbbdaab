// Replay of a capture log: its bytes go through the same receive path as a live line,
// paced by the receiver's own clock (the UTC times of its GGA, RMC, GNS, GLL and ZDA
// sentences) times a speed, with pause, resume and a seek to any epoch.
//
// The file is indexed once at open: an entry per epoch (the bytes from the first
// sentence that carries a new time up to the next such sentence), split further where
// an epoch is large, always before a "$" or a packet's first byte, so that every entry
// starts a sentence. A long run with no sentence start in it (a line left open, a
// receiver writing zeros) is split anywhere once it is well past the last start: no
// sentence or packet is that long, and no entry, so no read of the player, grows with
// the run.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "monitor/link/NmeaFields.h"

class CNmeaThread;

namespace replay {

inline constexpr double kMinSpeed = 0.25;
inline constexpr double kMaxSpeed = 64;
inline constexpr double kUnpaced = 0;  // as fast as the windows take the epochs
// A receiver that fell silent for an hour replays the gap as this long: pacing shows
// the rhythm of the epochs, not the time the module was off.
inline constexpr double kLongestGapSeconds = 10;
inline constexpr std::size_t kLargestEntry = 16384;

struct Entry {
    uint64_t offset;
    uint32_t length;
    double at;       // replay seconds from the first entry: gaps clamped, never decreasing
    double utc;      // the receiver's time of day in seconds, or -1 before the first one
};

// The receiver's time, as the link reads it (NmeaFields.h).
using ::ParseTimeOfDay;
using ::SentenceTime;

// Cuts a capture into entries as it is read block by block.
class Indexer {
public:
    void Feed(const uint8_t* bytes, std::size_t count);
    std::vector<Entry> Finish();
    uint64_t Sentences() const { return m_sentences; }  // "$" ... CR or LF, of any kind

private:
    void LineEnded();
    void StartEntry(uint64_t offset);

    std::vector<Entry> m_entries;
    uint64_t m_offset = 0;          // of the next byte fed
    uint64_t m_lineStart = 0;
    uint64_t m_lastStart = 0;       // of the last "$" or packet's first byte
    std::string m_line;             // the sentence being collected, capped
    bool m_inSentence = false;
    double m_lastUtc = -1;
    double m_at = 0;
    uint64_t m_sentences = 0;
};

// "12:34:56" for a time of day; "--:--:--" for none.
std::string TimeOfDayText(double utc);

// Speed as typed on a command line: a number from 0.25 to 64, or "max" (kUnpaced).
std::optional<double> ParseSpeed(std::string_view text);

class Player {
public:
    struct Hooks {
        // On the replay thread after each entry's sentences are dispatched, with the
        // count of entries fed so far. When set, the player runs at most a few entries
        // ahead of the last count passed to Acknowledge(): whoever shows the messages
        // acknowledges once it has handled them, so a fast replay never piles them up.
        std::function<void(uint64_t fed)> dispatched;
        // On the replay thread after a seek, before the first entry from its new place.
        std::function<void()> sought;
    };

    Player() = default;
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Indexes the file; on false `error` says why ("cannot open ...: No such file ...",
    // "... holds no NMEA sentence: nothing to replay").
    bool Open(const std::string& path, std::string& error);
    // Whether any sentence carries the receiver's time; without one the file plays as
    // fast as the windows take it, whatever the speed.
    bool Paced() const { return m_paced; }
    const std::vector<Entry>& Entries() const { return m_entries; }
    const std::string& Path() const { return m_path; }

    // Feeds `link` (running, not connected) from the first entry.
    void Start(CNmeaThread& link, double speed, Hooks hooks);
    void Stop();  // joins; the link keeps what it was fed

    void Pause();
    void Resume();
    void SetSpeed(double speed);  // kUnpaced or kMinSpeed..kMaxSpeed
    void Seek(std::size_t entry);
    void Acknowledge(uint64_t fed);

    bool Paused() const;
    double Speed() const;
    // The entry fed last (0 before any); AtEnd() once the last one is fed. The player
    // then waits for a seek or the stop.
    std::size_t Position() const;
    bool AtEnd() const;
    uint64_t Fed() const;  // entries fed since the start, seeks or not
    // A read of the file that failed after the open: the replay ends there.
    std::string ErrorText() const;

private:
    void Run(CNmeaThread& link);

    std::string m_path;
    std::vector<Entry> m_entries;
    bool m_paced = false;
    std::vector<uint8_t> m_buffer;
    Hooks m_hooks;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    bool m_paused = false;
    bool m_reanchor = true;
    double m_speed = 1;
    std::optional<std::size_t> m_seekTo;
    std::size_t m_position = 0;
    bool m_atEnd = false;
    uint64_t m_fed = 0;
    uint64_t m_acknowledged = 0;
    std::string m_error;
    std::thread m_thread;
};

}  // namespace replay
