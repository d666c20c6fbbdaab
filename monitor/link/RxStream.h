// The receive stream: the framer that cuts the received bytes into text sentences
// ("$" ... LF), binary packets (0xAA ... LF) and UBX acknowledges (0xB5 0x62 ... checksum),
// the ring that holds them and the queue of sentence descriptors that the link thread
// drains.
//
// One producer (the receive worker, FeedRxByte or FeedRxBytes) and one consumer (the
// link thread, PopSentence). The indices are atomics; the only place where the producer
// moves the consumer's read index (dropping old sentences when the queue or the ring
// runs full) and the consumer's copy-out share a short lock, so a sentence is never
// copied while it is being dropped and overwritten.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string_view>

#include "monitor/link/Framing.h"
#include "monitor/link/ReceiverState.h"

inline constexpr std::size_t kRxRingSize = 32768;
inline constexpr int kSentenceQueueSize = 256;
inline constexpr int kMaxSentenceLength = kMaxSentenceText;
inline constexpr int kMaxPacketLength = 100;
inline constexpr uint8_t kBinaryStart = 0xAA;

enum class SentenceKind : int16_t { Free = -1, Text = 1, Binary = 4, Ubx = 5 };

struct SentenceDescriptor {
    SentenceKind kind;
    uint16_t start;   // ring index of "$", 0xAA or 0xB5
    int16_t length;   // bytes stored: "$" through CR, 0xAA through LF, or a UBX frame
    SentenceId id;    // 255 until the name is classified; 255 for a UBX frame
};

// Sentence id from a name as collected up to and including the comma, "*" or CR that
// ends it.
SentenceId ClassifySentence(std::string_view header);

class RxStream {
public:
    RxStream() { Reset(); }
    RxStream(const RxStream&) = delete;
    RxStream& operator=(const RxStream&) = delete;

    void Reset();  // only while nobody feeds or pops

    void FeedRxByte(uint8_t b);  // receive worker
    // The same as FeedRxByte for each byte in turn, at a fraction of the cost per byte.
    void FeedRxBytes(const uint8_t* bytes, std::size_t count);

    // Link thread: takes the oldest sentence and copies its bytes to `text` (at least
    // kMaxSentenceLength + 1 bytes, NUL-terminated); false when the queue is empty.
    bool PopSentence(SentenceDescriptor& out, uint8_t* text);
    void CopyFromRing(uint16_t start, int length, uint8_t* destination) const;
    int Pending() const;
    // Receive worker: true while a sentence of any length can start without dropping
    // one that the link thread has not taken yet.
    bool HasRoom() const;

    // The sentence-ready event: set by every completed sentence (by FeedRxBytes for a
    // few at a time and at the end of the block) and by Wake().
    void WaitReady();
    // The same for at most `timeoutMs`: false when the time ran out first.
    bool WaitReadyFor(int timeoutMs);
    void Wake();

    uint64_t DroppedSentences() const { return m_dropped.load(std::memory_order_acquire); }
    uint64_t CompletedSentences() const { return m_completed.load(std::memory_order_acquire); }
    // Lines and packets dropped for their length, and text sentences broken off by the
    // start byte of another; any thread.
    uint64_t OverlongLines() const { return m_overlong.load(std::memory_order_acquire); }
    uint64_t CutSentences() const { return m_cut.load(std::memory_order_acquire); }

private:
    enum class State : uint8_t { Hunting, InSentence, InBinary, InUbx };
    void Start(SentenceKind kind, uint8_t first);
    void Store(uint8_t b);
    void Complete(bool textRule);
    void DropOldest(bool textRule);  // with m_readMutex held
    void MakeRoomInRing();
    void FeedBinary(uint8_t b);
    void BeginUbx();
    void FeedUbx(uint8_t b);
    void Announce();
    void Signal();
    // FeedRxBytes' steps; each returns where the next one starts.
    const uint8_t* Hunt(const uint8_t* p, const uint8_t* end);
    const uint8_t* FeedText(const uint8_t* p, const uint8_t* end, const uint8_t* binaryStart);
    static std::size_t PlainRun(const uint8_t* p, std::size_t n);
    static const uint8_t* Find(const uint8_t* p, const uint8_t* end, uint8_t byte);  // or end
    void StoreText(const uint8_t* p, std::size_t n);
    void CollectName(const uint8_t* p, std::size_t n);
    // One writer (the receive worker): plain stores, no locked add.
    static void CountOne(std::atomic<uint64_t>& counter) {
        counter.store(counter.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }

    uint8_t m_ring[kRxRingSize];
    uint16_t m_ringWrite = 0;
    SentenceDescriptor m_queue[kSentenceQueueSize];
    std::atomic<uint32_t> m_write{0};  // 0..255, published for the link thread
    uint32_t m_writeSlot = 0;          // the same, as the receive worker keeps it
    std::atomic<uint32_t> m_read{0};
    mutable std::mutex m_readMutex;

    State m_state = State::Hunting;
    char m_header[20];
    int m_headerLength = 0;
    bool m_classified = false;
    int16_t m_packetLength = 0;  // from the packet's header; 0 until known
    bool m_lineFramed = false;   // a header that is no packet's: ends at LF
    // A UBX acknowledge is held here until its checksum holds; only then does it take a
    // place in the queue and the ring.
    uint8_t m_ubx[ubx::kAckFrameLength];
    std::size_t m_ubxLength = 0;

    bool m_inBlock = false;  // in FeedRxBytes
    int m_unannounced = 0;   // sentences completed there since the event was last set
    // The sentence-ready event. Not std::atomic::wait: where the system has no futex,
    // this compiler's library can lose a notify (the Windows build hung on it).
    std::atomic<bool> m_ready{false};
    std::mutex m_readyMutex;
    std::condition_variable m_readyChanged;
    std::atomic<uint64_t> m_dropped{0};
    std::atomic<uint64_t> m_completed{0};
    std::atomic<uint64_t> m_overlong{0};
    std::atomic<uint64_t> m_cut{0};
};
