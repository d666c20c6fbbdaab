// What the link thread does with each sentence and packet it takes from the queue:
// checksum, text log, parser, epoch logic, reply decoders and the window messages.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "monitor/link/LinkMessages.h"
#include "monitor/link/ReceiverState.h"

// The text of every standard sentence, one after the other, wrapping at 64 KiB.
class NmeaTextLog {
public:
    static constexpr std::size_t kSize = 65536;
    // Returns the offset where the text starts.
    uint16_t Append(const char* text, uint16_t length);

private:
    char m_text[kSize] = {};
    uint16_t m_start = 0;
    uint16_t m_length = 0;
};

// The latest binary reply of interest, written by the link thread and polled by the
// file transfer in another: the bytes are complete before the flag that announces them.
class BinaryReply {
public:
    static constexpr std::size_t kSize = 100;
    enum Flag { kType3, kCommand95 };

    void Store(const uint8_t (&packet)[kSize], Flag flag);
    std::array<uint8_t, kSize> Bytes() const;
    bool Arrived(Flag flag) const { return Cell(flag).load(std::memory_order_acquire) != 0; }
    void Clear(Flag flag) { Cell(flag).store(0, std::memory_order_release); }

private:
    std::atomic<int32_t>& Cell(Flag f) { return f == kType3 ? m_type3 : m_command95; }
    const std::atomic<int32_t>& Cell(Flag f) const { return f == kType3 ? m_type3 : m_command95; }

    mutable std::mutex m_mutex;
    uint8_t m_bytes[kSize] = {};
    std::atomic<int32_t> m_type3{0};
    std::atomic<int32_t> m_command95{0};
};

// The decoders of the module's replies, one per family, given by the control layer;
// each appends its lines to `text`. A family without one has its replies announced
// with no lines.
struct ReplyDecoders {
    // "$PZRCnnn,...": the whole NUL-terminated sentence, which it may write into.
    void (*zr)(char* sentence, std::string& text) = nullptr;
    // "$PMTK001,...": the whole sentence.
    void (*mtk)(std::string_view sentence, std::string& text) = nullptr;
    // A UBX acknowledge as the framer checked it, from 0xB5 through its checksum.
    void (*ubx)(std::span<const uint8_t> frame, std::string& text) = nullptr;
};

class NmeaDispatcher {
public:
    NmeaDispatcher(ILinkSink* sink, ReplyDecoders decoders) : m_sink(sink), m_decoders(decoders) {}

    void Reset();
    // The input has ended: what its last epoch has not posted yet goes out.
    void EndOfInput();
    // `text` runs from "$" through CR (or through the last character before the LF when
    // a receiver sends no CR); NUL-terminated.
    void DispatchText(char* text, int length, SentenceId id);
    void DispatchBinary(const uint8_t* packet, int length);
    // A UBX acknowledge (ACK-ACK or ACK-NAK), header and checksum checked by the framer.
    void DispatchUbx(const uint8_t* frame, int length);

    const ReceiverState& State() const { return m_state; }
    BinaryReply& Reply() { return m_reply; }
    // Text sentences whose checksum held, since construction; any thread may read it.
    uint64_t GoodSentences() const { return m_goodSentences.load(std::memory_order_acquire); }
    // Text sentences whose checksum failed, the same way.
    uint64_t ChecksumErrors() const { return m_checksumErrors.load(std::memory_order_acquire); }
    // The console's lines, to its window.
    void PostConsole(ConsoleBatch&& batch);

private:
    // One copy of the record into the message, posted under each number in turn.
    template <typename Record>
    void Post(std::initializer_list<int> numbers, Record&& record);
    void PostRawSentence(const char* text, int length);
    bool ParseProprietary(std::string_view sentence, SentenceId id);
    void PostSky();
    void PostSummary();
    void CloseEpoch(double nextTime, bool timed);

    // What the windows are told of a standard sentence once its row's parser has put it
    // into the state; null for sentences that only feed the epoch's tables.
    using AfterParse = void (NmeaDispatcher::*)();
    static AfterParse AfterParseOf(SentenceId id);
    void AfterGga();
    void AfterGsv();
    void AfterRmc();
    void AfterVtg();

    ILinkSink* m_sink;
    ReplyDecoders m_decoders;
    ReceiverState m_state{};
    // What the sink is shown, kept and reused so that no record is copied twice; the raw
    // sentence has its own, which never changes its record type.
    LinkMessage m_message{};
    LinkMessage m_rawMessage{msg::kRawSentence, RawSentence{}};
    NmeaTextLog m_textLog;
    std::atomic<uint64_t> m_goodSentences{0};  // written by the link thread alone
    std::atomic<uint64_t> m_checksumErrors{0};  // the same
    BinaryReply m_reply;
};
