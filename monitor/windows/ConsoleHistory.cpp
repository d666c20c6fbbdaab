#include "monitor/windows/ConsoleHistory.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool Matches(std::string_view name, const std::string& word) {
    if (word.size() > name.size()) return false;
    const auto same = [](std::string_view a, std::string_view b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::toupper(static_cast<unsigned char>(x)) == static_cast<unsigned char>(y);
        });
    };
    return same(name.substr(0, word.size()), word) || same(name.substr(name.size() - word.size()), word);
}

// UBX frames begin B5 62: the console writes them in hexadecimal like any packet.
constexpr std::string_view kUbxStart = "B5 62";

}  // namespace

std::string_view SentenceNameOf(const ConsoleLine& line) {
    if (line.kind == ConsoleKind::Note) return {};
    const std::string_view t = line.text;
    if (line.kind == ConsoleKind::Binary) return t.starts_with(kUbxStart) ? "UBX" : "BIN";
    if (t.empty() || t[0] != '$') return line.kind == ConsoleKind::Sent ? "BIN" : std::string_view{};
    const std::size_t end = t.find_first_of(",*", 1);
    return t.substr(1, end == std::string_view::npos ? t.size() - 1 : end - 1);
}

std::string ConsoleText(const ConsoleLine& line) {
    switch (line.kind) {
        case ConsoleKind::Received: return "RX " + line.text + (line.badChecksum ? "   << bad checksum" : "");
        case ConsoleKind::Binary: return "RX " + std::string(SentenceNameOf(line)) + " " + line.text;
        case ConsoleKind::Sent: return "TX " + line.text;
        case ConsoleKind::Note: return "-- " + line.text;
    }
    return line.text;
}

ConsoleFilter::ConsoleFilter(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find_first_of(" ,", at), text.size());
        std::string_view word = text.substr(at, end - at);
        at = end + 1;
        const bool hide = word.starts_with('-');
        if (hide) word.remove_prefix(1);
        if (word.starts_with('$')) word.remove_prefix(1);
        if (word.empty()) continue;
        (hide ? m_hide : m_show).push_back(Upper(word));
    }
}

bool ConsoleFilter::Shows(const ConsoleLine& line) const {
    const std::string_view name = SentenceNameOf(line);
    if (line.kind == ConsoleKind::Note) return true;
    for (const std::string& w : m_hide)
        if (Matches(name, w)) return false;
    if (m_show.empty()) return true;
    return std::any_of(m_show.begin(), m_show.end(), [&](const std::string& w) { return Matches(name, w); });
}

void ConsoleHistory::Append(const ConsoleBatch& batch) {
    for (const ConsoleEntry& e : batch.entries)
        m_lines.push_back({e.kind, e.badChecksum, e.atMs, std::string(batch.TextOf(e))});
    m_total += batch.entries.size() + batch.lost;
    m_dropped += batch.lost;
    while (m_lines.size() > kMaxLines) {
        m_lines.pop_front();
        ++m_dropped;
    }
}

void ConsoleHistory::Clear() { m_lines.clear(); }
