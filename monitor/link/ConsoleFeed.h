// Everything the link received and sent, in order, gathered for the console window.
// The link thread (and whoever sends) adds lines; the link thread hands them over as
// one batch at most every kHandOverMs, so the window takes a few batches a second
// however fast the sentences come.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class ConsoleKind : uint8_t {
    Received,  // a text sentence or reply, as it came
    Binary,    // a binary packet or UBX frame received, as hexadecimal
    Sent,      // what the monitor wrote to the module
    Note,      // what happened to the line: opened, lost, closed
};

struct ConsoleEntry {
    ConsoleKind kind;
    bool badChecksum;
    int64_t atMs;         // wall clock, milliseconds since 1970
    uint32_t offset;      // of its text in the batch
    uint32_t length;
};

// The lines of one hand-over; their texts one after the other in `text`.
struct ConsoleBatch {
    std::vector<ConsoleEntry> entries;
    std::string text;
    uint64_t lost = 0;  // lines left out because the batch was full
    std::string_view TextOf(const ConsoleEntry& e) const { return std::string_view(text).substr(e.offset, e.length); }
};

// A packet as the console shows it: "AA F0 0A 00 ...", the first `limit` bytes, then
// "... (N bytes)" when there are more.
std::string HexText(std::span<const uint8_t> bytes, std::size_t limit);
// What was sent, as one line: a sentence as text without its CR LF, an RTCM 3 frame by
// its message type, anything else as hexadecimal.
std::string SentText(std::span<const uint8_t> bytes);

class ConsoleFeed {
public:
    static constexpr int64_t kHandOverMs = 250;
    // More lines than a quarter second of any line rate; beyond them lines are counted, not kept.
    static constexpr std::size_t kMaxBatchLines = 4000;

    // A text sentence as the framer cut it ("$" through CR or LF); control bytes
    // become '.', the line end goes.
    void Received(std::string_view sentence, bool badChecksum, int64_t atMs);
    // The last line received failed its checksum (the link knows once it has checked).
    void MarkLastBad();
    void ReceivedBinary(std::span<const uint8_t> packet, int64_t atMs);
    void Sent(std::span<const uint8_t> bytes, int64_t atMs);
    void Note(std::string_view text, int64_t atMs);

    // The lines since the last hand-over, when there are some and the last hand-over
    // was at least kHandOverMs before `nowMs` (or `force`).
    bool TakeDue(int64_t nowMs, bool force, ConsoleBatch& out);

private:
    bool Begin(ConsoleKind kind, bool bad, int64_t atMs);  // with m_mutex held
    void End();

    std::mutex m_mutex;
    ConsoleBatch m_batch;
    int64_t m_lastHandOverMs = 0;
};

// Milliseconds since 1970 now, as the console's lines are stamped.
int64_t ConsoleNowMs();
