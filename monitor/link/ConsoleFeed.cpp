#include "monitor/link/ConsoleFeed.h"

#include <algorithm>
#include <chrono>

namespace {

constexpr char kHex[] = "0123456789ABCDEF";
constexpr uint8_t kRtcmPreamble = 0xD3;
constexpr std::size_t kSentHexLimit = 48;  // a sent block is shown by its start

bool IsSentence(std::span<const uint8_t> b) {
    if (b.empty() || b[0] != '$') return false;
    for (const uint8_t c : b)
        if ((c < 0x20 || c >= 0x7F) && c != '\r' && c != '\n') return false;
    return true;
}

}  // namespace

std::string HexText(std::span<const uint8_t> bytes, std::size_t limit) {
    std::string out;
    const std::size_t shown = std::min(bytes.size(), limit);
    out.reserve(shown * 3 + 16);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0) out += ' ';
        out += kHex[bytes[i] >> 4];
        out += kHex[bytes[i] & 0x0F];
    }
    if (shown < bytes.size()) out += " ... (" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

// D3 00 13 3E D0 ...: RTCM 3, a 10-bit length, then the message type in 12 bits.
std::string SentText(std::span<const uint8_t> b) {
    if (IsSentence(b)) {
        std::size_t n = b.size();
        while (n > 0 && (b[n - 1] == '\r' || b[n - 1] == '\n')) --n;
        return std::string(reinterpret_cast<const char*>(b.data()), n);
    }
    if (b.size() >= 6 && b[0] == kRtcmPreamble) {
        const unsigned type = static_cast<unsigned>(b[3]) << 4 | b[4] >> 4;
        return "RTCM3 " + std::to_string(type) + ", " + std::to_string(b.size()) + " bytes";
    }
    return HexText(b, kSentHexLimit);
}

bool ConsoleFeed::Begin(ConsoleKind kind, bool bad, int64_t atMs) {
    if (m_batch.entries.size() >= kMaxBatchLines) {
        ++m_batch.lost;
        return false;
    }
    m_batch.entries.push_back({kind, bad, atMs, static_cast<uint32_t>(m_batch.text.size()), 0});
    return true;
}

void ConsoleFeed::End() {
    ConsoleEntry& e = m_batch.entries.back();
    e.length = static_cast<uint32_t>(m_batch.text.size() - e.offset);
}

void ConsoleFeed::Received(std::string_view sentence, bool badChecksum, int64_t atMs) {
    while (!sentence.empty() && (sentence.back() == '\r' || sentence.back() == '\n')) sentence.remove_suffix(1);
    std::lock_guard lock(m_mutex);
    if (!Begin(ConsoleKind::Received, badChecksum, atMs)) return;
    const std::size_t at = m_batch.text.size();
    m_batch.text.append(sentence);
    for (std::size_t i = at; i < m_batch.text.size(); ++i) {
        const auto c = static_cast<unsigned char>(m_batch.text[i]);
        if (c < 0x20 || c >= 0x7F) m_batch.text[i] = '.';
    }
    End();
}

void ConsoleFeed::MarkLastBad() {
    std::lock_guard lock(m_mutex);
    for (auto e = m_batch.entries.rbegin(); e != m_batch.entries.rend(); ++e) {
        if (e->kind != ConsoleKind::Received) continue;
        e->badChecksum = true;
        return;
    }
}

void ConsoleFeed::ReceivedBinary(std::span<const uint8_t> packet, int64_t atMs) {
    std::string hex = HexText(packet, packet.size());
    std::lock_guard lock(m_mutex);
    if (!Begin(ConsoleKind::Binary, false, atMs)) return;
    m_batch.text += hex;
    End();
}

void ConsoleFeed::Sent(std::span<const uint8_t> bytes, int64_t atMs) {
    std::string text = SentText(bytes);
    std::lock_guard lock(m_mutex);
    if (!Begin(ConsoleKind::Sent, false, atMs)) return;
    m_batch.text += text;
    End();
}

void ConsoleFeed::Note(std::string_view text, int64_t atMs) {
    std::lock_guard lock(m_mutex);
    if (!Begin(ConsoleKind::Note, false, atMs)) return;
    m_batch.text += text;
    End();
}

bool ConsoleFeed::TakeDue(int64_t nowMs, bool force, ConsoleBatch& out) {
    std::lock_guard lock(m_mutex);
    if (m_batch.entries.empty() && m_batch.lost == 0) return false;
    if (!force && nowMs - m_lastHandOverMs < kHandOverMs) return false;
    m_lastHandOverMs = nowMs;
    out = std::move(m_batch);
    m_batch = {};
    return true;
}

int64_t ConsoleNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}
