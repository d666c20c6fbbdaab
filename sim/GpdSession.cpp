#include "sim/GpdSession.h"

#include <charconv>
#include <fstream>

namespace sim {
namespace {

constexpr uint8_t kLead0 = 0xAA, kLead1 = 0xF0;
constexpr std::size_t kMinPacket = 10;    // lead pair, length, type, XOR, CR LF and a byte
constexpr std::size_t kMaxPacket = 600;   // a data block (523) with room to spare
constexpr std::size_t kDataPacket = 523;  // 6 header bytes and 512 data bytes of payload
constexpr std::size_t kEndPacket = 11;
constexpr std::size_t kNmeaModePacket = 14;
constexpr uint16_t kCommandReply = 1, kBlockReply = 3;
// Status of a command reply, as the host reads it.
constexpr uint8_t kInvalid = 0, kSucceeded = 3;
constexpr uint8_t kBlockAccepted = 1, kBlockRejected = 0;
// The host's file holds at most 4000 bytes (8 blocks); anything far past that is refused.
constexpr uint16_t kMaxBlocks = 64;

uint16_t Le16(const std::vector<uint8_t>& p, std::size_t at) {
    return static_cast<uint16_t>(p[at] | p[at + 1] << 8);
}

}  // namespace

std::string BinaryReply(uint16_t type, uint16_t value, uint8_t status) {
    const uint8_t payload[7] = {12, 0, static_cast<uint8_t>(type), static_cast<uint8_t>(type >> 8),
                                static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), status};
    std::string out = {static_cast<char>(kLead0), static_cast<char>(kLead1)};
    uint8_t x = 0;
    for (uint8_t b : payload) {
        out += static_cast<char>(b);
        x ^= b;
    }
    out += static_cast<char>(x);
    out += "\r\n";
    return out;
}

GpdSession::GpdSession(GpdFaults faults, std::string outPath) : m_faults(faults), m_outPath(std::move(outPath)) {}

GpdUpload GpdSession::Upload() const {
    std::lock_guard lock(m_mutex);
    return m_upload;
}

void GpdSession::Reply(int64_t target, uint16_t type, uint16_t value, uint8_t status, std::string& out) const {
    if (target == m_faults.silentAt) return;
    if (target == m_faults.badStatusAt) status = m_faults.badStatus;
    if (target == m_faults.wrongBlockAt) ++value;
    std::string reply = BinaryReply(type, value, status);
    if (target == m_faults.badChecksumAt) reply[reply.size() - 3] ^= 0x01;
    out += reply;
}

// "$PZRC149,1,115200*hh": mode 1 (binary packets) at the line's current rate. A silent
// or refused switch leaves the module in NMEA mode, as one that never heard it.
void GpdSession::OnSwitchCommand(std::string_view fields, std::string& out) {
    const auto comma = fields.find(',');
    uint32_t baud = 0;
    const std::string_view rate = comma == std::string_view::npos ? "" : fields.substr(comma + 1);
    const auto [end, ec] = std::from_chars(rate.data(), rate.data() + rate.size(), baud);
    const bool valid = fields.substr(0, comma) == "1" && ec == std::errc() && end == rate.data() + rate.size() &&
                       baud > 0;
    const int64_t target = GpdFaults::kSwitchCommand;
    Reply(target, kCommandReply, kSwitchCommand, valid ? kSucceeded : kInvalid, out);
    const bool refused =
        target == m_faults.silentAt || (target == m_faults.badStatusAt && m_faults.badStatus != kSucceeded);
    if (!valid || refused) return;
    m_binary = true;
    m_packet.clear();
    std::lock_guard lock(m_mutex);
    m_upload = GpdUpload{};
}

void GpdSession::Feed(uint8_t b, std::string& out) {
    if (!m_binary) return;
    // Between packets only a lead pair counts; a length outside what a packet can be
    // is a false start, and hunting goes on from the next byte.
    if (m_packet.empty() && b != kLead0) return;
    if (m_packet.size() == 1 && b != kLead1) {
        m_packet.clear();
        if (b == kLead0) m_packet.push_back(b);
        return;
    }
    m_packet.push_back(b);
    if (m_packet.size() == 4) {
        m_need = Le16(m_packet, 2);
        if (m_need < kMinPacket || m_need > kMaxPacket) m_packet.clear();
        return;
    }
    if (m_packet.size() < 4 || m_packet.size() < m_need) return;
    OnPacket(out);
    m_packet.clear();
}

void GpdSession::OnPacket(std::string& out) {
    const std::size_t n = m_packet.size();
    uint8_t x = 0;
    for (std::size_t i = 2; i < n - 3; ++i) x ^= m_packet[i];
    const bool intact = x == m_packet[n - 3] && m_packet[n - 2] == '\r' && m_packet[n - 1] == '\n';
    const uint16_t type = Le16(m_packet, 4);
    if (type == kBlockType && (n == kDataPacket || n == kEndPacket)) return OnBlock(Le16(m_packet, 6), intact, out);
    // NMEA-mode packet: type 0x95, a 0 byte, the line's rate (32 bits). It gets no reply.
    if (type == kSwitchCommand && n == kNmeaModePacket && intact && m_packet[6] == 0) {
        m_binary = false;
        const uint32_t baud = static_cast<uint32_t>(m_packet[7]) | static_cast<uint32_t>(m_packet[8]) << 8 |
                              static_cast<uint32_t>(m_packet[9]) << 16 | static_cast<uint32_t>(m_packet[10]) << 24;
        std::lock_guard lock(m_mutex);
        m_upload.nmeaModeBaud = baud;
    }
}

void GpdSession::OnBlock(uint16_t block, bool intact, std::string& out) {
    const bool end = block == kEndBlock;
    const bool wellFormed = end ? m_packet.size() == kEndPacket : m_packet.size() == kDataPacket && block < kMaxBlocks;
    const bool refused = block == m_faults.badStatusAt && m_faults.badStatus != kBlockAccepted;
    const bool accepted = intact && wellFormed && !refused;
    if (accepted) {
        std::lock_guard lock(m_mutex);
        if (end) {
            m_upload.complete = true;
        } else {
            const std::size_t at = block * kBlockBytes;
            if (m_upload.data.size() < at + kBlockBytes) m_upload.data.resize(at + kBlockBytes, 0xFF);
            const auto data = m_packet.begin() + 8;  // after length, type and block number
            std::copy(data, data + kBlockBytes, m_upload.data.begin() + static_cast<std::ptrdiff_t>(at));
            ++m_upload.blocksAccepted;
        }
    }
    Reply(block, kBlockReply, block, accepted ? kBlockAccepted : kBlockRejected, out);
    if (accepted && end && !m_outPath.empty()) {
        const GpdUpload upload = Upload();
        std::ofstream(m_outPath, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(upload.data.data()), static_cast<std::streamsize>(upload.data.size()));
    }
}

}  // namespace sim
