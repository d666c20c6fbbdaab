#include "monitor/link/NtripProtocol.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "monitor/link/Framing.h"
#include "monitor/link/ReceiverState.h"

namespace ntrip {
namespace {

constexpr std::string_view kHeadEnd = "\r\n\r\n";
constexpr std::string_view kUserAgent = "NTRIP skyLedger-zrctl/1.2";

bool StartsWith(std::string_view text, std::string_view start) { return text.substr(0, start.size()) == start; }

// Whether the head holds the header `name: value` (names in any case, as HTTP has it).
bool HasHeader(std::string_view head, std::string_view name, std::string_view value) {
    std::string lower(head);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string want = "\r\n" + std::string(name) + ":";
    for (char& c : want) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto at = lower.find(want);
    if (at == std::string::npos) return false;
    const auto end = lower.find("\r\n", at + 2);
    return lower.substr(at + want.size(), end - at - want.size()).find(value) != std::string::npos;
}

std::vector<std::string_view> Split(std::string_view line, char by) {
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    for (auto next = line.find(by); next != std::string_view::npos; next = line.find(by, at)) {
        fields.push_back(line.substr(at, next - at));
        at = next + 1;
    }
    fields.push_back(line.substr(at));
    return fields;
}

}  // namespace

std::string Base64(std::string_view bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        uint32_t v = 0;
        for (std::size_t k = 0; k < 3; ++k) v = v << 8 | (k < n ? static_cast<uint8_t>(bytes[i + k]) : 0);
        for (std::size_t k = 0; k < 4; ++k) out += k <= n ? kDigits[(v >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return out;
}

// GET /SIM1 HTTP/1.1 / Host / Ntrip-Version / User-Agent / Authorization: Basic ...
std::string BuildRequest(const Request& r) {
    std::string out = "GET /" + r.mount + (r.version == 1 ? " HTTP/1.0\r\n" : " HTTP/1.1\r\n");
    out += "Host: " + r.host + ":" + std::to_string(r.port) + "\r\n";
    if (r.version != 1) out += "Ntrip-Version: Ntrip/2.0\r\n";
    out += "User-Agent: " + std::string(kUserAgent) + "\r\n";
    if (!r.user.empty()) out += "Authorization: Basic " + Base64(r.user) + "\r\n";
    if (r.version != 1) out += "Connection: close\r\n";
    return out + "\r\n";
}

bool ParseReplyHead(std::string_view received, ReplyHead& out) {
    out = {};
    const auto lineEnd = received.find("\r\n");
    if (lineEnd == std::string_view::npos) return false;
    out.statusLine = std::string(received.substr(0, lineEnd));
    if (StartsWith(received, "ICY 200")) {
        // The byte after the line tells whether a blank line follows it.
        const std::string_view after = received.substr(lineEnd + 2);
        if (after.empty() || (after[0] == '\r' && after.size() < 2)) return false;
        out.kind = ReplyKind::Stream;
        out.headBytes = lineEnd + 2 + (after.substr(0, 2) == "\r\n" ? 2 : 0);
        return true;
    }
    const auto end = received.find(kHeadEnd);
    if (end == std::string_view::npos) return false;
    const std::string_view head = received.substr(0, end + 2);
    out.headBytes = end + kHeadEnd.size();
    out.chunked = HasHeader(head, "Transfer-Encoding", "chunked");
    const auto codeAt = out.statusLine.find(' ');
    const std::string code = codeAt == std::string::npos ? "" : out.statusLine.substr(codeAt + 1, 3);
    if (StartsWith(received, "SOURCETABLE 200")) out.kind = ReplyKind::SourceTable;
    else if (code == "401") out.kind = ReplyKind::Unauthorized;
    else if (code == "404") out.kind = ReplyKind::NotFound;
    else if (code == "200" && HasHeader(head, "Content-Type", "gnss/sourcetable")) out.kind = ReplyKind::SourceTable;
    else if (code == "200") out.kind = ReplyKind::Stream;
    return true;
}

bool ChunkedDecoder::Feed(std::string_view bytes, std::string& out) {
    for (std::size_t i = 0; i < bytes.size() && m_state != State::Broken; ++i) {
        const char c = bytes[i];
        switch (m_state) {
        case State::Size:
            if (std::isxdigit(static_cast<unsigned char>(c)) && m_digits < 8) {
                m_left = m_left * 16 + static_cast<std::size_t>(std::stoi(std::string(1, c), nullptr, 16));
                ++m_digits;
            } else if (c == '\r' && m_digits > 0) m_state = State::SizeLineEnd;
            else if (c == ';' && m_digits > 0) m_state = State::SizeLineEnd;  // a chunk extension, ignored
            else m_state = State::Broken;
            break;
        case State::SizeLineEnd:
            if (c == '\n') m_state = m_left == 0 ? State::Ended : State::Data;
            break;
        case State::Data: {
            const std::size_t n = std::min(m_left, bytes.size() - i);
            out.append(bytes.substr(i, n));
            m_left -= n;
            i += n - 1;
            if (m_left == 0) m_state = State::DataEnd;
            break;
        }
        case State::DataEnd:
            if (c == '\n') m_state = State::Size, m_digits = 0;
            else if (c != '\r') m_state = State::Broken;
            break;
        case State::Ended:
        case State::Broken:
            break;
        }
    }
    return m_state != State::Broken;
}

std::vector<MountPoint> ParseSourceTable(std::string_view table) {
    std::vector<MountPoint> mounts;
    for (std::string_view line : Split(table, '\n')) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!StartsWith(line, "STR;")) continue;
        const auto f = Split(line, ';');
        if (f.size() < 2 || f[1].empty()) continue;
        mounts.push_back({std::string(f[1]), f.size() > 3 ? std::string(f[3]) : "", f.size() > 11 && f[11] == "1"});
    }
    return mounts;
}

bool SourceTableEnded(std::string_view table) { return table.find("ENDSOURCETABLE") != std::string_view::npos; }

std::string GgaForCaster(const GgaRecord& g) {
    const auto dm = [](double degrees, int width) {
        const double a = std::fabs(degrees);
        const int whole = static_cast<int>(a);
        char text[32];
        std::snprintf(text, sizeof text, "%0*d%08.5f", width, whole, (a - whole) * 60.0);
        return std::string(text);
    };
    char body[200];
    std::snprintf(body, sizeof body, "GPGGA,%02d%02d%05.2f,%s,%c,%s,%c,%d,%02d,%.1f,%.1f,M,%.1f,M,,",
                  g.hour, g.minute, static_cast<double>(g.second), dm(g.latitude, 2).c_str(),
                  g.northSouth ? g.northSouth : 'N', dm(g.longitude, 3).c_str(), g.eastWest ? g.eastWest : 'E',
                  g.fixQuality, g.satellitesUsed, static_cast<double>(g.hdop), static_cast<double>(g.altitude),
                  static_cast<double>(g.geoidSeparation));
    std::array<char, 256> out{};
    const std::size_t n = BuildNmeaSentence(body, out);
    return std::string(out.data(), n);
}

}  // namespace ntrip
