// The console's lines as the window keeps them: the last kMaxLines, with a filter by
// sentence name. Plain code: the window only turns these lines into text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/link/ConsoleFeed.h"

struct ConsoleLine {
    ConsoleKind kind;
    bool badChecksum;
    int64_t atMs;
    std::string text;
};

// "GPGGA" of "$GPGGA,...", "PZRC101" of "$PZRC101,..."; "UBX" for a UBX frame, "BIN" for
// any other packet; "" for a note, which every filter shows.
std::string_view SentenceNameOf(const ConsoleLine& line);

// A line as the window shows it after its time: "RX $GPGGA,...", "TX $PZRC...",
// "RX UBX B5 62 ...", "-- line lost ...", a failed checksum told at the end.
std::string ConsoleText(const ConsoleLine& line);

// Words apart by spaces or commas. A word matches a name that begins or ends with it, in
// any case ("GGA" every talker's GGA, "PZRC" every reply, "$GPGSV" that one); a word
// with a leading '-' hides what it matches. With words to show, a line is shown when one
// matches it and no hiding word does.
class ConsoleFilter {
public:
    ConsoleFilter() = default;
    explicit ConsoleFilter(std::string_view text);
    bool Shows(const ConsoleLine& line) const;
    bool Empty() const { return m_show.empty() && m_hide.empty(); }

private:
    std::vector<std::string> m_show, m_hide;  // upper case, without "$"
};

class ConsoleHistory {
public:
    // About a minute of a 10 Hz multi-constellation receiver, an hour of a 1 Hz one; the
    // capture log keeps everything.
    static constexpr std::size_t kMaxLines = 20000;

    void Append(const ConsoleBatch& batch);
    void Clear();
    const std::deque<ConsoleLine>& Lines() const { return m_lines; }
    // Lines let go: the oldest beyond kMaxLines, and those a full batch left out.
    uint64_t Dropped() const { return m_dropped; }
    uint64_t Total() const { return m_total; }  // ever appended, kept or not

private:
    std::deque<ConsoleLine> m_lines;
    uint64_t m_dropped = 0;
    uint64_t m_total = 0;
};
