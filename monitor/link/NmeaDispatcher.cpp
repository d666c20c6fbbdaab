#include "NmeaDispatcher.h"

#include <cstring>
#include <string_view>

#include "EpochLogic.h"
#include "Framing.h"
#include "ProprietaryParsers.h"
#include "StandardParsers.h"

namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

uint16_t NmeaTextLog::Append(const char* text, uint16_t length) {
    m_start = static_cast<uint16_t>(m_start + m_length);
    m_length = length;
    for (uint16_t i = 0; i < length; ++i) m_text[static_cast<uint16_t>(m_start + i)] = text[i];
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

void NmeaDispatcher::Reset() {
    m_state = ReceiverState{};
    m_usedSnapshot = {};
    m_viewSnapshot = {};
}

void NmeaDispatcher::Post(int number, const LinkPayload& payload) {
    if (m_sink) m_sink->Post(LinkMessage{number, payload});
}

// Only two replies matter: type 3 (a data block acknowledged) and type 1 for command
// 0x95 (the transfer's mode switch). Others are dropped.
void NmeaDispatcher::DispatchBinary(const uint8_t* packet, int length) {
    uint8_t buffer[BinaryReply::kSize] = {};
    std::memcpy(buffer, packet, static_cast<std::size_t>(std::min<int>(length, sizeof buffer)));
    const uint16_t type = Le16(buffer + 4);
    if (type == 3) m_reply.Store(buffer, BinaryReply::kType3);
    else if (type == 1 && Le16(buffer + 6) == 0x95) m_reply.Store(buffer, BinaryReply::kCommand95);
}

void NmeaDispatcher::PostSatelliteCycle() {
    m_usedSnapshot = m_state.used;
    m_viewSnapshot = m_state.view;
    for (int number : {msg::kUsedSatellites, msg::kFixModeUsed, msg::kFixReport, msg::kSignalUsed,
                       msg::kSkyUsed, msg::kTrackUsed})
        Post(number, m_usedSnapshot);
    for (int number : {msg::kSatellitesInView, msg::kSignalInView, msg::kSkyInView})
        Post(number, m_viewSnapshot);
}

// Runs the parser of `id` and posts what a successful parse tells the windows.
bool NmeaDispatcher::Parse(char* text, int length, SentenceId id) {
    const std::string_view sentence(text, static_cast<std::size_t>(length));
    switch (id) {
        case sentence::kGga:
            if (!ParseGga(sentence, m_state.gga)) return false;
            for (int number : {msg::kGga, msg::kFixModeGga, msg::kTrackGga}) Post(number, m_state.gga);
            return true;
        case sentence::kGll:
            return ParseGll(sentence, m_state.gll);
        case sentence::kGsa:
        case sentence::kQsa: {
            GsaSentence gsa;
            if (!(id == sentence::kGsa ? ParseGsa(sentence, gsa) : ParseQsa(sentence, gsa))) return false;
            ApplyGsa(m_state, gsa);
            return true;
        }
        case sentence::kGsv:
            if (!ParseGsv(sentence, m_state.gsv)) return false;
            if (ApplyGsv(m_state)) PostSatelliteCycle();
            return true;
        case sentence::kRmc:
            if (!ParseRmc(sentence, m_state.rmc)) return false;
            Post(msg::kRmc, m_state.rmc);
            return true;
        case sentence::kVtg:
            if (!ParseVtg(sentence, m_state.vtg)) return false;
            Post(msg::kVtg, m_state.vtg);
            Post(msg::kVelocityVtg, m_state.vtg);
            return true;
        case sentence::kReply: {
            DecodedReply reply;
            if (m_decoder) m_decoder(text, reply.text);
            Post(msg::kReplyDecoded, std::move(reply));
            return true;
        }
        default: {
            const ProprietaryParser parse = ProprietaryParserFor(id);
            const auto comma = sentence.find(',');
            return parse && comma != std::string_view::npos && parse(sentence.substr(comma + 1), m_state.proprietary);
        }
    }
}

void NmeaDispatcher::DispatchText(char* text, int length, SentenceId id) {
    // The checksum covers everything before the CR. A receiver that ends its lines with
    // LF alone is checked on the whole line rather than losing its last digit.
    const int checked = length > 0 && text[length - 1] == '\r' ? length - 1 : length;
    if (!VerifyNmeaChecksum(std::string_view(text, static_cast<std::size_t>(checked)))) return;

    if (sentence::IsStandard(id)) {
        RawSentence raw{};
        raw.length = static_cast<uint16_t>(length);
        raw.start = m_textLog.Append(text, raw.length);
        std::memcpy(raw.text, text, static_cast<std::size_t>(length));
        Post(msg::kRawSentence, raw);
    }
    const bool parsed = Parse(text, length, id);
    SentenceId last = id;
    if (id == sentence::kSfch || id == sentence::kUnknown) last = sentence::kUnknown;
    if (id == sentence::kWbg && parsed && IsIncompleteWbg(m_state.proprietary.wbg)) last = sentence::kUnknown;
    m_state.lastDispatched = last;
}
