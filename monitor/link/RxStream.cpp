#include "monitor/link/RxStream.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "monitor/link/ProprietaryParsers.h"
#include "monitor/link/StandardSentences.h"

namespace {

constexpr uint32_t kQueueMask = kSentenceQueueSize - 1;
constexpr uint16_t kRingMask = kRxRingSize - 1;
constexpr uint8_t kBinaryHeader = 0xF0;    // the byte after kBinaryStart
constexpr int kMinPacketLength = 10;       // header, length, type, value, checksum, CR LF
constexpr int kAnnounceEvery = 16;         // well inside the queue's 256

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
    SentenceId id = ClassifyStandard(header);
    if (id == sentence::kUnknown) id = ClassifyProprietary(header);
    if (id == sentence::kUnknown && IsReplyName(header)) id = sentence::kReply;
    return id;
}

void RxStream::Reset() {
    for (auto& d : m_queue) d = {SentenceKind::Free, 0, 0, sentence::kUnknown};
    m_write.store(0);
    m_writeSlot = 0;
    m_read.store(0);
    m_ringWrite = 0;
    m_state = State::Hunting;
    m_ubxLength = 0;
    m_headerLength = 0;
    m_classified = false;
    m_inBlock = false;
    m_unannounced = 0;
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
    } else if (kind == SentenceKind::Ubx) {
        d.id = sentence::kUnknown;  // the caller stores the rest of the checked frame
    } else {
        m_packetLength = 0;
        m_lineFramed = false;
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
    // Only this thread writes the count: no read-modify-write needed.
    m_completed.store(m_completed.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    m_state = State::Hunting;
    if (!m_inBlock || ++m_unannounced == kAnnounceEvery) Announce();
}

// Only the change from clear to set needs a wake-up: while the event is still set the
// link thread has not gone back to wait, and it takes the new sentences with the rest.
void RxStream::Announce() {
    m_unannounced = 0;
    if (!m_ready.exchange(true, std::memory_order_acq_rel)) Signal();
}

// The flag is set before the lock is taken: a waiter either saw it set, or is waiting on
// the condition by the time the lock is had, and is woken.
void RxStream::Signal() {
    { std::lock_guard lock(m_readyMutex); }
    m_readyChanged.notify_one();
}

// Only its first byte so far: the frame is taken into the ring once its checksum holds.
void RxStream::BeginUbx() {
    m_ubx[0] = ubx::kSync1;
    m_ubxLength = 1;
    m_state = State::InUbx;
}

void RxStream::FeedRxByte(uint8_t b) {
    switch (m_state) {
        case State::Hunting:
            if (b == '$') {
                Start(SentenceKind::Text, b);
            } else if (b == kBinaryStart) {
                Start(SentenceKind::Binary, b);
            } else if (b == ubx::kSync1) {
                BeginUbx();
            }
            return;
        case State::InSentence: {
            if (b == '\n') return Complete(true);
            // A new start abandons the unfinished sentence: its bytes stay in the ring
            // unread and the descriptor is used again.
            if (b == '$' || b == kBinaryStart) CountOne(m_cut);
            if (b == '$') return Start(SentenceKind::Text, b);
            if (b == kBinaryStart) return Start(SentenceKind::Binary, b);
            if (m_queue[m_writeSlot].length >= kMaxSentenceLength) {
                CountOne(m_overlong);
                m_state = State::Hunting;  // too long for any sentence: dropped whole
                return;
            }
            Store(b);
            // The name ends at its first comma; a sentence with no fields ("$PZRC000*hh")
            // ends it at the checksum or the line end.
            if (!m_classified) CollectName(&b, 1);
            return;
        }
        case State::InBinary:
            return FeedBinary(b);
        case State::InUbx:
            return FeedUbx(b);
    }
}

// The same steps as FeedRxByte for each byte, but a sentence's plain bytes (everything
// but a line feed or a start byte) are found with memchr and stored in one go, and its
// name is read from them as it is from single bytes. Binary packets and UBX frames, a
// few bytes among many, go byte by byte. Completed sentences are announced
// kAnnounceEvery at a time and at the end of the block, rather than one wake-up call each.
void RxStream::FeedRxBytes(const uint8_t* bytes, std::size_t count) {
    const uint8_t* const end = bytes + count;
    m_inBlock = true;
    // A text stream hardly ever holds 0xAA: one search tells every sentence before the
    // next one that it need not look for it.
    const uint8_t* binaryStart = Find(bytes, end, kBinaryStart);
    while (bytes < end) {
        if (binaryStart < bytes) binaryStart = Find(bytes, end, kBinaryStart);
        switch (m_state) {
            case State::Hunting: bytes = Hunt(bytes, end); break;
            case State::InSentence: bytes = FeedText(bytes, end, binaryStart); break;
            case State::InBinary: FeedBinary(*bytes++); break;
            case State::InUbx: FeedUbx(*bytes++); break;
        }
    }
    m_inBlock = false;
    if (m_unannounced > 0) Announce();
}

// Once per sentence, mostly to find a "$" at once: inline, as a call here costs more
// than the step.
inline const uint8_t* RxStream::Hunt(const uint8_t* p, const uint8_t* end) {
    while (p < end && *p != '$' && *p != kBinaryStart && *p != ubx::kSync1) ++p;
    if (p == end) return p;
    if (*p == ubx::kSync1) BeginUbx();
    else Start(*p == '$' ? SentenceKind::Text : SentenceKind::Binary, *p);
    return p + 1;
}

// `binaryStart`: the first 0xAA at or after `p`, or `end`.
const uint8_t* RxStream::FeedText(const uint8_t* p, const uint8_t* end, const uint8_t* binaryStart) {
    // A plain byte is stored while the sentence has room; the first one beyond drops it.
    const auto room = static_cast<std::size_t>(kMaxSentenceLength - m_queue[m_writeSlot].length);
    const std::size_t window = std::min(static_cast<std::size_t>(end - p), room + 1);
    const std::size_t plain = std::min(PlainRun(p, window), static_cast<std::size_t>(binaryStart - p));
    if (plain > room) {
        StoreText(p, room);
        CountOne(m_overlong);
        m_state = State::Hunting;
        return p + room + 1;
    }
    StoreText(p, plain);
    if (plain == window) return p + plain;
    // The line feed or start byte that ends the run, as FeedRxByte takes it.
    const uint8_t stop = p[plain];
    if (stop == '\n') {
        Complete(true);
    } else {
        CountOne(m_cut);
        Start(stop == '$' ? SentenceKind::Text : SentenceKind::Binary, stop);
    }
    return p + plain + 1;
}

// How many of the `n` bytes at `p` come before the first line feed or "$".
std::size_t RxStream::PlainRun(const uint8_t* p, std::size_t n) {
    n = static_cast<std::size_t>(Find(p, p + n, '\n') - p);
    return static_cast<std::size_t>(Find(p, p + n, '$') - p);
}

const uint8_t* RxStream::Find(const uint8_t* p, const uint8_t* end, uint8_t byte) {
    const void* found = std::memchr(p, byte, static_cast<std::size_t>(end - p));
    return found ? static_cast<const uint8_t*>(found) : end;
}

void RxStream::StoreText(const uint8_t* p, std::size_t n) {
    const std::size_t first = std::min(n, kRxRingSize - m_ringWrite);
    std::memcpy(m_ring + m_ringWrite, p, first);
    if (first < n) std::memcpy(m_ring, p + first, n - first);
    m_ringWrite = static_cast<uint16_t>((m_ringWrite + n) & kRingMask);
    m_queue[m_writeSlot].length = static_cast<int16_t>(m_queue[m_writeSlot].length + n);
    if (!m_classified) CollectName(p, n);
}

// The name up to and including its first comma, "*" or CR, of which the first 20
// characters are kept.
void RxStream::CollectName(const uint8_t* p, std::size_t n) {
    int length = m_headerLength;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = static_cast<char>(p[i]);
        if (length < static_cast<int>(sizeof m_header)) m_header[length++] = c;
        if (c == ',' || c == '*' || c == '\r') {
            m_queue[m_writeSlot].id = ClassifySentence(std::string_view(m_header, static_cast<std::size_t>(length)));
            m_classified = true;
            break;
        }
    }
    m_headerLength = length;
}

// A reply packet says its length in bytes 2-3, and its own bytes (a length of 10, a
// block number, a checksum) may be a line feed or a "$": a packet with a possible
// length ends where its length says. Only a packet whose header cannot be one ends at
// the first line feed and gives way to a "$".
void RxStream::FeedBinary(uint8_t b) {
    const int16_t length = m_queue[m_writeSlot].length;
    if (m_packetLength > 0) {
        Store(b);
        if (length + 1 == m_packetLength) Complete(false);
        return;
    }
    if (!m_lineFramed) {
        if (length == 1 && b != kBinaryHeader) {
            m_lineFramed = true;
        } else if (length < 3) {
            Store(b);
            return;
        } else {
            Store(b);
            const uint16_t start = m_queue[m_writeSlot].start;
            const uint8_t header[2] = {m_ring[(start + 2) & kRingMask], b};
            const int total = header[0] | header[1] << 8;
            if (total >= kMinPacketLength && total <= kMaxPacketLength) {
                m_packetLength = static_cast<int16_t>(total);
                return;
            }
            // Not a length after all: bytes 2 and 3 go again under the line rule.
            m_lineFramed = true;
            m_ringWrite = static_cast<uint16_t>((start + 2) & kRingMask);
            m_queue[m_writeSlot].length = 2;
            FeedBinary(header[0]);
            FeedRxByte(header[1]);
            return;
        }
    }
    if (b == '$') return Start(SentenceKind::Text, b);
    if (length >= kMaxPacketLength) {
        CountOne(m_overlong);
        m_state = State::Hunting;
        return;
    }
    Store(b);
    if (b == '\n') Complete(false);
}

// B5 62 05 01 02 00 06 04 12 3B, ACK-ACK for CFG-RST. Only an acknowledge is taken, so
// every header byte but the id has one value, and a false start shows within six bytes
// that are no start byte of anything else: the hunt goes on at the byte that did not
// fit, and nothing the hunt would have kept is lost. A frame whose checksum fails is
// no frame: its last four bytes are hunted again, as a sentence may start among them.
void RxStream::FeedUbx(uint8_t b) {
    static constexpr uint8_t kAckHeader[ubx::kHeaderLength] = {ubx::kSync1, ubx::kSync2, ubx::kClassAck,
                                                               ubx::kIdAck, ubx::kAckPayloadLength, 0};
    if (m_ubxLength < ubx::kHeaderLength) {
        const bool fits = m_ubxLength == 3 ? b == ubx::kIdAck || b == ubx::kIdNak : b == kAckHeader[m_ubxLength];
        if (!fits) {
            m_state = State::Hunting;
            return FeedRxByte(b);
        }
    }
    m_ubx[m_ubxLength++] = b;
    if (m_ubxLength < ubx::kAckFrameLength) return;
    m_state = State::Hunting;
    uint8_t a, c;
    UbxChecksum(m_ubx + 2, ubx::kAckFrameLength - 4, a, c);
    if (a == m_ubx[ubx::kAckFrameLength - 2] && c == m_ubx[ubx::kAckFrameLength - 1]) {
        Start(SentenceKind::Ubx, m_ubx[0]);
        for (std::size_t i = 1; i < ubx::kAckFrameLength; ++i) Store(m_ubx[i]);
        return Complete(false);
    }
    // A copy: one of them may start another frame in m_ubx.
    uint8_t tail[ubx::kAckFrameLength - ubx::kHeaderLength];
    std::memcpy(tail, m_ubx + ubx::kHeaderLength, sizeof tail);
    for (const uint8_t t : tail) FeedRxByte(t);
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
    const auto n = static_cast<std::size_t>(length);
    const std::size_t first = std::min(n, kRxRingSize - start);
    std::memcpy(destination, m_ring + start, first);
    if (first < n) std::memcpy(destination + first, m_ring, n - first);
}

int RxStream::Pending() const {
    return static_cast<int>((m_write.load(std::memory_order_acquire) - m_read.load(std::memory_order_acquire)) & kQueueMask);
}

bool RxStream::HasRoom() const {
    if (Pending() >= kSentenceQueueSize - 8) return false;
    const uint32_t r = m_read.load(std::memory_order_acquire);
    if (r == m_writeSlot) return true;
    const auto used = static_cast<std::size_t>((m_ringWrite - m_queue[r].start) & kRingMask);
    return used < kRxRingSize - 2 * (kMaxSentenceLength + 1);
}

// Clearing with an exchange orders it before the reads of the queue that follow: a
// sentence announced before the clear is seen by them, one after it sets the event again.
void RxStream::WaitReady() {
    if (!m_ready.load(std::memory_order_acquire)) {
        std::unique_lock lock(m_readyMutex);
        m_readyChanged.wait(lock, [this] { return m_ready.load(std::memory_order_acquire); });
    }
    m_ready.exchange(false, std::memory_order_acq_rel);
}

bool RxStream::WaitReadyFor(int timeoutMs) {
    if (!m_ready.load(std::memory_order_acquire)) {
        std::unique_lock lock(m_readyMutex);
        if (!m_readyChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                     [this] { return m_ready.load(std::memory_order_acquire); }))
            return false;
    }
    m_ready.exchange(false, std::memory_order_acq_rel);
    return true;
}

void RxStream::Wake() {
    m_ready.store(true, std::memory_order_release);
    Signal();
}
