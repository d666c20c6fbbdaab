#include "monitor/link/Framing.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// XOR works on each byte alone, so eight bytes can go through one 64-bit XOR and the
// eight lanes fold into one at the end; the OR of the same words shows whether any byte
// has its top bit set.
uint8_t XorOfBytes(const char* p, std::size_t n, bool& topBit) {
    uint64_t sum = 0, any = 0;
    for (; n >= 8; p += 8, n -= 8) {
        uint64_t word;
        std::memcpy(&word, p, sizeof word);
        sum ^= word;
        any |= word;
    }
    for (; n > 0; ++p, --n) {
        sum ^= static_cast<uint8_t>(*p);
        any |= static_cast<uint8_t>(*p);
    }
    sum ^= sum >> 32;
    sum ^= sum >> 16;
    sum ^= sum >> 8;
    topBit = (any & 0x8080808080808080u) != 0;
    return static_cast<uint8_t>(sum);
}

}  // namespace

// Text with a byte of 128 or more before the '*' is no sentence.
bool VerifyNmeaChecksum(std::string_view t) {
    if (t.size() < 6) return false;
    const void* star = std::memchr(t.data() + 1, '*', t.size() - 1);
    const std::size_t i = star ? static_cast<std::size_t>(static_cast<const char*>(star) - t.data()) : t.size();
    bool topBit = false;
    const uint8_t sum = XorOfBytes(t.data() + 1, i - 1, topBit);
    if (topBit || i + 2 >= t.size()) return false;  // no '*', or fewer than two digits after it
    const int hi = HexValue(t[i + 1]), lo = HexValue(t[i + 2]);
    return hi >= 0 && lo >= 0 && (hi << 4 | lo) == sum;
}

std::size_t BuildNmeaSentence(std::string_view body, std::span<char, 256> out) {
    out[0] = '\0';
    if (body.empty()) return 0;
    body = body.substr(0, std::min<std::size_t>(body.size(), 249));
    body = body.substr(0, body.find('*'));
    uint8_t sum = 0;
    for (char c : body) sum ^= static_cast<uint8_t>(c);
    std::size_t n = 0;
    out[n++] = '$';
    std::memcpy(out.data() + n, body.data(), body.size());
    n += body.size();
    out[n++] = '*';
    out[n++] = kHex[sum >> 4];
    out[n++] = kHex[sum & 0x0F];
    out[n++] = '\r';
    out[n++] = '\n';
    out[n] = '\0';
    return n;
}

std::size_t BuildBinaryPacket(std::span<const uint8_t> payload, std::span<uint8_t> out) {
    payload = payload.first(std::min(payload.size(), kMaxPacketPayload));
    if (out.size() < payload.size() + 5) return 0;
    uint8_t sum = 0;
    std::size_t n = 0;
    out[n++] = 0xAA;
    out[n++] = 0xF0;
    for (uint8_t b : payload) {
        out[n++] = b;
        sum ^= b;
    }
    out[n++] = sum;
    out[n++] = '\r';
    out[n++] = '\n';
    return n;
}

int CheckBinaryReply(std::span<const uint8_t, 100> reply, BinaryReplyFields& fields) {
    const uint16_t n = Le16(&reply[2]);
    if (n < 10) return binaryreply::kTooShort;
    if (n > 100) return binaryreply::kTooLong;
    if (reply[0] != 0xAA || reply[1] != 0xF0 || reply[n - 2] != '\r' || reply[n - 1] != '\n')
        return binaryreply::kBadFrame;
    uint8_t sum = 0;
    for (std::size_t i = 2; i <= static_cast<std::size_t>(n - 4); ++i) sum ^= reply[i];
    if (sum != reply[n - 3]) return binaryreply::kBadChecksum;
    fields = {Le16(&reply[4]), Le16(&reply[6]), reply[8]};
    return 0;
}

void UbxChecksum(const uint8_t* from, std::size_t count, uint8_t& a, uint8_t& b) {
    a = b = 0;
    for (std::size_t i = 0; i < count; ++i) {
        a = static_cast<uint8_t>(a + from[i]);
        b = static_cast<uint8_t>(b + a);
    }
}
