#include "monitor/link/NmeaDispatcher.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string_view>
#include <utility>

#include "monitor/link/EpochLogic.h"
#include "monitor/link/Framing.h"
#include "monitor/link/NmeaFields.h"
#include "monitor/link/ProprietaryParsers.h"
#include "monitor/link/SatelliteTable.h"
#include "monitor/link/StandardParsers.h"
#include "monitor/link/StandardSentences.h"

namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

uint16_t NmeaTextLog::Append(const char* text, uint16_t length) {
    m_start = static_cast<uint16_t>(m_start + m_length);
    m_length = length;
    // Up to the end of the buffer, and the rest from its beginning.
    const std::size_t first = std::min<std::size_t>(length, kSize - m_start);
    std::memcpy(m_text + m_start, text, first);
    if (first < length) std::memcpy(m_text, text + first, length - first);
    return m_start;
}

void BinaryReply::Store(const uint8_t (&packet)[kSize], Flag flag) {
    {
        std::lock_guard lock(m_mutex);
        std::memcpy(m_bytes, packet, kSize);
    }
    Cell(flag).store(1, std::memory_order_release);
}

std::array<uint8_t, BinaryReply::kSize> BinaryReply::Bytes() const {
    std::array<uint8_t, kSize> copy;
    std::lock_guard lock(m_mutex);
    std::memcpy(copy.data(), m_bytes, kSize);
    return copy;
}

NmeaDispatcher::AfterParse NmeaDispatcher::AfterParseOf(SentenceId id) {
    // By id, one for each row of StandardSentenceRows that has one.
    static constexpr AfterParse kAfter[] = {
        &NmeaDispatcher::AfterGga, nullptr, nullptr, &NmeaDispatcher::AfterGsv,
        &NmeaDispatcher::AfterRmc, &NmeaDispatcher::AfterVtg, nullptr};
    static_assert(std::size(kAfter) == kStandardSentenceCount);
    return kAfter[static_cast<std::size_t>(id)];
}

void NmeaDispatcher::Reset() { m_state = ReceiverState{}; }

template <typename Record>
void NmeaDispatcher::Post(std::initializer_list<int> numbers, Record&& record) {
    if (!m_sink) return;
    m_message.payload = std::forward<Record>(record);
    for (int number : numbers) {
        m_message.number = number;
        m_sink->Post(m_message);
    }
}

// The text goes straight into the message; what the previous one left after it is
// cleared, so the record reads as a new one would.
void NmeaDispatcher::PostRawSentence(const char* text, int length) {
    const auto start = m_textLog.Append(text, static_cast<uint16_t>(length));
    if (!m_sink) return;
    RawSentence& raw = std::get<RawSentence>(m_rawMessage.payload);
    const auto n = static_cast<std::size_t>(length);
    if (raw.length > n) std::memset(raw.text + n, 0, raw.length - n);
    raw.start = start;
    raw.length = static_cast<uint16_t>(length);
    std::memcpy(raw.text, text, n);
    m_sink->Post(m_rawMessage);
}

// Only two replies matter: type 3 (a data block acknowledged) and type 1 for command
// 0x95 (the transfer's mode switch). Others are dropped.
void NmeaDispatcher::DispatchBinary(const uint8_t* packet, int length) {
    uint8_t buffer[BinaryReply::kSize] = {};
    std::memcpy(buffer, packet, static_cast<std::size_t>(std::min<int>(length, sizeof buffer)));
    if (m_sink) m_sink->Binary(std::span<const uint8_t>(packet, static_cast<std::size_t>(length)));
    const uint16_t type = Le16(buffer + 4);
    if (type == 3) m_reply.Store(buffer, BinaryReply::kType3);
    else if (type == 1 && Le16(buffer + 6) == 0x95) m_reply.Store(buffer, BinaryReply::kCommand95);
}

// B5 62 05 01 02 00 06 04 12 3B: ACK-ACK for CFG-RST. It goes to the command panel
// like a text reply; it is no sentence, so the receiver state does not see it.
void NmeaDispatcher::DispatchUbx(const uint8_t* frame, int length) {
    DecodedReply reply;
    if (m_decoders.ubx) m_decoders.ubx(std::span<const uint8_t>(frame, static_cast<std::size_t>(length)), reply.text);
    Post({msg::kReplyDecoded}, std::move(reply));
}

void NmeaDispatcher::PostSky() {
    FinishCycle(m_state);
    Post({msg::kUsedSatellites, msg::kFixReport, msg::kSignalUsed, msg::kSkyUsed}, m_state.used);
    Post({msg::kSatellitesInView, msg::kSignalInView, msg::kSkyInView}, m_state.view);
    if (m_sink) Post({msg::kSatelliteTable}, BuildSatelliteTable(m_state));
}

void NmeaDispatcher::PostConsole(ConsoleBatch&& batch) { Post({msg::kConsoleLines}, std::move(batch)); }

// Once an epoch: its fix and fix type for Track and Fix mode, and for a receiver that
// sent no VTG, its RMC's speed and course for Velocity.
void NmeaDispatcher::PostSummary() {
    EpochTracking& e = m_state.epoch;
    if (e.summaryPosted) return;
    e.summaryPosted = true;
    if (e.hasRmc && !e.hasVtg) Post({msg::kVelocityVtg}, e.rmcVelocity);
    if (e.summary.hasGga || e.summary.hasReport) Post({msg::kFixModeEpoch, msg::kTrackEpoch}, e.summary);
}

// What the epoch has not posted yet goes out, and the next one begins.
void NmeaDispatcher::CloseEpoch(double nextTime, bool timed) {
    if (m_state.epoch.skyPending && !m_state.epoch.skyPosted) PostSky();
    PostSummary();
    BeginEpoch(m_state, nextTime, timed);
}

void NmeaDispatcher::EndOfInput() {
    if (m_state.epoch.skyPending && !m_state.epoch.skyPosted) PostSky();
    PostSummary();
}

// $GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47
void NmeaDispatcher::AfterGga() {
    ApplyGga(m_state);
    // The command panel times restarts on the receiver's clock: the GGA's time.
    Post({msg::kGga, msg::kNaviCmdGga}, m_state.gga);
}

void NmeaDispatcher::AfterGsv() {
    if (ListsSkyAgain(m_state)) CloseEpoch(m_state.epoch.time, false);
    if (ApplyGsv(m_state)) PostSky();
}

void NmeaDispatcher::AfterRmc() {
    m_state.epoch.hasRmc = true;
    m_state.epoch.rmcVelocity = VelocityFromRmc(m_state.rmc);
    Post({msg::kRmc, msg::kTrackRmc}, m_state.rmc);
}

void NmeaDispatcher::AfterVtg() {
    m_state.epoch.hasVtg = true;
    Post({msg::kVtg, msg::kVelocityVtg}, m_state.vtg);
}

bool NmeaDispatcher::ParseProprietary(std::string_view sentence, SentenceId id) {
    const ProprietaryParser parse = ProprietaryParserFor(id);
    const auto comma = sentence.find(',');
    return parse && comma != std::string_view::npos && parse(sentence.substr(comma + 1), m_state.proprietary);
}

namespace {

// The sentences that may carry the receiver's time of day: those whose row has a time
// field, and the unknown ones (GNS, ZDA, talkers the link reads nothing else of).
bool MayCarryTime(const StandardSentenceRow* row, SentenceId id) {
    return row ? row->timeField != kNoTimeField : id == sentence::kUnknown;
}

// A standard sentence's name as its id and talker, with no hash to compute; never a
// value NameKey gives in practice (its top bits are zero).
uint64_t StandardNameKey(SentenceId id, const char* text) {
    return 1 + (static_cast<uint64_t>(id) << 16 | static_cast<uint8_t>(text[1]) << 8 | static_cast<uint8_t>(text[2]));
}

// "$GPGGA" of "$GPGGA,...": up to the first comma or "*".
std::string_view NameOf(std::string_view sentence) {
    std::size_t end = 0;
    while (end < sentence.size() && end < 16 && sentence[end] != ',' && sentence[end] != '*') ++end;
    return sentence.substr(0, end);
}

}  // namespace

void NmeaDispatcher::DispatchText(char* text, int length, SentenceId id) {
    // The checksum covers everything before the CR. A receiver that ends its lines with
    // LF alone is checked on the whole line rather than losing its last digit.
    const int checked = length > 0 && text[length - 1] == '\r' ? length - 1 : length;
    const std::string_view content(text, static_cast<std::size_t>(checked));
    if (!VerifyNmeaChecksum(content)) {
        m_checksumErrors.store(m_checksumErrors.load(std::memory_order_relaxed) + 1, std::memory_order_release);
        return;
    }
    m_goodSentences.store(m_goodSentences.load(std::memory_order_relaxed) + 1, std::memory_order_release);

    // A new time of day begins an epoch, and so does a receiver without a time sending
    // its sentences again: the last one is closed before this sentence counts.
    const StandardSentenceRow* row = StandardRowOf(id);
    const uint64_t nameKey = row ? StandardNameKey(id, text) : NameKey(NameOf(content));
    const auto time = MayCarryTime(row, id) ? CheckedSentenceTime(content) : std::nullopt;
    if (time) {
        if (StartsNewEpoch(m_state, *time)) CloseEpoch(*time, true);
    } else if (RepeatsInEpoch(m_state, nameKey, id)) {
        CloseEpoch(m_state.epoch.time, false);
    }

    const std::string_view sentence(text, static_cast<std::size_t>(length));
    bool parsed = false;
    if (row) {
        PostRawSentence(text, length);
        parsed = row->parse(sentence, m_state);
        if (const AfterParse after = AfterParseOf(id); parsed && after) (this->*after)();
    } else if (id == sentence::kReply) {
        DecodedReply reply;
        if (m_decoders.zr) m_decoders.zr(text, reply.text);
        Post({msg::kReplyDecoded}, std::move(reply));
        parsed = true;
    } else if (id == sentence::kMtkAck) {
        DecodedReply reply;
        if (m_decoders.mtk) m_decoders.mtk(sentence, reply.text);
        Post({msg::kReplyDecoded}, std::move(reply));
        parsed = true;
    } else {
        parsed = ParseProprietary(sentence, id);
    }
    SentenceId last = id;
    if (id == sentence::kSfch || id == sentence::kUnknown) last = sentence::kUnknown;
    if (id == sentence::kWbg && parsed && IsIncompleteWbg(m_state.proprietary.wbg)) last = sentence::kUnknown;
    m_state.lastDispatched = last;
    if (NoteSentence(m_state, nameKey, id == sentence::kGsv && parsed)) PostSummary();
}
