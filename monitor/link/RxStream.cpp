#include "RxStream.h"

#include <cstring>

namespace {

constexpr uint32_t kQueueMask = kSentenceQueueSize - 1;
constexpr uint16_t kRingMask = kRxRingSize - 1;
constexpr uint8_t kBinaryStart = 0xAA;

struct NameRow {
    SentenceId id;
    std::string_view name;
};

// Tried in order, each on as many characters as its name has; the first match wins.
constexpr NameRow kNames[] = {
    {sentence::kGga, "$GPGGA"}, {sentence::kGga, "$GNGGA"}, {sentence::kGga, "$BDGGA"},
    {sentence::kGga, "$GLGGA"}, {sentence::kGga, "$GBGGA"},
    {sentence::kGll, "$GPGLL"}, {sentence::kGll, "$GNGLL"}, {sentence::kGll, "$BDGLL"},
    {sentence::kGll, "$GLGLL"}, {sentence::kGll, "$GBGLL"},
    {sentence::kGsa, "$GPGSA"}, {sentence::kGsa, "$GNGSA"}, {sentence::kGsa, "$BDGSA"},
    {sentence::kGsa, "$GLGSA"}, {sentence::kGsa, "$GAGSA"}, {sentence::kGsa, "$GBGSA"},
    {sentence::kQsa, "$GPQSA"}, {sentence::kQsa, "$QZQSA"}, {sentence::kQsa, "$GBQSA"},
    {sentence::kGsv, "$GPGSV"}, {sentence::kGsv, "$QZGSV"}, {sentence::kGsv, "$GLGSV"},
    {sentence::kGsv, "$GAGSV"}, {sentence::kGsv, "$BDGSV"}, {sentence::kGsv, "$GBGSV"},
    {sentence::kRmc, "$GPRMC"}, {sentence::kRmc, "$GNRMC"}, {sentence::kRmc, "$BDRMC"},
    {sentence::kRmc, "$GLRMC"}, {sentence::kRmc, "$GBRMC"},
    {sentence::kVtg, "$GPVTG"}, {sentence::kVtg, "$GNVTG"}, {sentence::kVtg, "$BDVTG"},
    {sentence::kVtg, "$GLVTG"}, {sentence::kVtg, "$GBVTG"},
    {sentence::kAlm, "$PTVXALM"}, {sentence::kEph, "$PTVXEPH"}, {sentence::kDgp, "$PTVXDGP"},
    {sentence::kChn, "$PTVXCHN"}, {sentence::kDbg, "$PTVXDBG"}, {sentence::kDb2, "$PTVXDB2"},
    {sentence::kTsx1, "$PTVXTSX1"}, {sentence::kWbg, "$PTVXWBG"}, {sentence::kRtc, "$PTVXRTC"},
    {sentence::kPmc, "$PTVXPMC"}, {sentence::kJam, "$PTVXJAM"}, {sentence::kLox, "$PTVXLOX"},
    {sentence::kSfch, "#SFCH"}, {sentence::kGptxt, "$GPTXT"},
    // Recognised, not parsed.
    {sentence::kRecognised, "$PTVXRTSEPH"}, {sentence::kRecognised, "$PTVXRQTBEE"},
    {sentence::kRecognised, "$PTVXDTEPH"},
};

// "$PZRC" and three characters that form an integer: digits, a minus sign only first.
bool IsReplyName(std::string_view h) {
    if (h.size() < 8 || h.substr(0, 5) != "$PZRC") return false;
    for (int i = 5; i < 8; ++i) {
        const char c = h[i];
        if (!(c >= '0' && c <= '9') && !(c == '-' && i == 5)) return false;
    }
    return h[5] != '-' || (h[6] >= '0' && h[6] <= '9');
}

}  // namespace

SentenceId ClassifySentence(std::string_view header) {
    for (const NameRow& row : kNames)
        if (header.substr(0, row.name.size()) == row.name) return row.id;
    return IsReplyName(header) ? sentence::kReply : sentence::kUnknown;
}

void RxStream::Reset() {
    for (auto& d : m_queue) d = {SentenceKind::Free, 0, 0, sentence::kUnknown};
    m_write.store(0);
    m_writeSlot = 0;
    m_read.store(0);
    m_ringWrite = 0;
    m_state = State::Hunting;
    m_headerLength = 0;
    m_classified = false;
    m_ready.store(false);
}

// Before a sentence starts, the ring must have room for the longest one without
// reaching the bytes of the oldest sentence not yet read; otherwise old sentences go,
// whole epochs at a time, as when the queue runs full.
void RxStream::MakeRoomInRing() {
    constexpr uint16_t kLimit = kRxRingSize - kMaxSentenceLength - 1;
    for (;;) {
        const uint32_t r = m_read.load(std::memory_order_acquire);
        if (r == m_writeSlot) return;
        if (static_cast<uint16_t>((m_ringWrite - m_queue[r].start) & kRingMask) <= kLimit) return;
        std::lock_guard lock(m_readMutex);
        if (m_read.load(std::memory_order_relaxed) == r) DropOldest(true);
    }
}

void RxStream::Start(SentenceKind kind, uint8_t first) {
    MakeRoomInRing();
    SentenceDescriptor& d = m_queue[m_writeSlot];
    d.kind = kind;
    d.start = m_ringWrite;
    d.length = 0;
    if (kind == SentenceKind::Text) {
        d.id = sentence::kUnknown;
        m_header[0] = '$';
        m_headerLength = 1;
        m_classified = false;
        m_state = State::InSentence;
    } else {
        m_state = State::InBinary;
    }
    Store(first);
}

void RxStream::Store(uint8_t b) {
    m_ring[m_ringWrite] = b;
    m_ringWrite = (m_ringWrite + 1) & kRingMask;
    ++m_queue[m_writeSlot].length;
}

// With m_readMutex held. The text rule skips on to the next GGA so that reading
// resumes at the start of a fix epoch. It stops at the write index, which is the
// sentence being completed when the queue is full, so the search takes one lap at most.
void RxStream::DropOldest(bool textRule) {
    const uint32_t w = m_writeSlot;
    uint32_t r = m_read.load(std::memory_order_relaxed);
    if (r == w) return;
    r = (r + 1) & kQueueMask;
    uint64_t dropped = 1;
    while (textRule && r != w && m_queue[r].id != sentence::kGga) {
        r = (r + 1) & kQueueMask;
        ++dropped;
    }
    m_read.store(r, std::memory_order_release);
    m_dropped.fetch_add(dropped, std::memory_order_release);
}

void RxStream::Complete(bool textRule) {
    const uint32_t next = (m_writeSlot + 1) & kQueueMask;
    if (next == m_read.load(std::memory_order_acquire)) {
        // Full: publishing would make the queue look empty. Drop first, under the lock
        // that keeps the link thread from copying what is dropped.
        std::lock_guard lock(m_readMutex);
        if (next == m_read.load(std::memory_order_relaxed)) DropOldest(textRule);
    }
    m_writeSlot = next;
    m_write.store(next, std::memory_order_release);
    m_completed.fetch_add(1, std::memory_order_release);
    m_state = State::Hunting;
    m_ready.store(true, std::memory_order_release);
    m_ready.notify_one();
}

void RxStream::FeedRxByte(uint8_t b) {
    switch (m_state) {
        case State::Hunting:
            if (b == '$') Start(SentenceKind::Text, b);
            else if (b == kBinaryStart) Start(SentenceKind::Binary, b);
            return;
        case State::InSentence: {
            if (b == '\n') return Complete(true);
            // A new start abandons the unfinished sentence: its bytes stay in the ring
            // unread and the descriptor is used again.
            if (b == '$') return Start(SentenceKind::Text, b);
            if (b == kBinaryStart) return Start(SentenceKind::Binary, b);
            if (m_queue[m_writeSlot].length >= kMaxSentenceLength) {
                m_state = State::Hunting;  // too long for any sentence: dropped whole
                return;
            }
            Store(b);
            if (!m_classified) {
                if (m_headerLength < static_cast<int>(sizeof m_header)) m_header[m_headerLength++] = static_cast<char>(b);
                if (b == ',') {
                    m_queue[m_writeSlot].id =
                        ClassifySentence(std::string_view(m_header, m_headerLength));
                    m_classified = true;
                }
            }
            return;
        }
        case State::InBinary:
            if (b == '$') return Start(SentenceKind::Text, b);
            if (m_queue[m_writeSlot].length >= kMaxPacketLength) {
                m_state = State::Hunting;
                return;
            }
            Store(b);
            if (b == '\n') Complete(false);
            return;
    }
}

bool RxStream::PopSentence(SentenceDescriptor& out, uint8_t* text) {
    std::lock_guard lock(m_readMutex);
    const uint32_t r = m_read.load(std::memory_order_relaxed);
    if (r == m_write.load(std::memory_order_acquire)) return false;
    out = m_queue[r];
    CopyFromRing(out.start, out.length, text);
    text[out.length] = '\0';
    m_queue[r].kind = SentenceKind::Free;
    m_read.store((r + 1) & kQueueMask, std::memory_order_release);
    return true;
}

void RxStream::CopyFromRing(uint16_t start, int length, uint8_t* destination) const {
    const std::size_t first = std::min<std::size_t>(static_cast<std::size_t>(length), kRxRingSize - start);
    std::memcpy(destination, m_ring + start, first);
    std::memcpy(destination + first, m_ring, static_cast<std::size_t>(length) - first);
}

int RxStream::Pending() const {
    return static_cast<int>((m_write.load(std::memory_order_acquire) - m_read.load(std::memory_order_acquire)) & kQueueMask);
}

void RxStream::WaitReady() {
    m_ready.wait(false, std::memory_order_acquire);
    m_ready.store(false, std::memory_order_release);
}

void RxStream::Wake() {
    m_ready.store(true, std::memory_order_release);
    m_ready.notify_one();
}
