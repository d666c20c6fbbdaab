// Checksums and the framing of outgoing sentences and binary packets, and the UBX
// frames the framer takes in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// "$GPGGA,...*47": the XOR of everything between "$" and "*" against the two upper-case
// hexadecimal digits after it. `text` runs from "$" to the last checksum digit.
bool VerifyNmeaChecksum(std::string_view text);

// Body "PTVX867" gives "$PTVX867*hh\r\n". The body ends at its first '*' and at 249
// characters. Writes a NUL after the LF; returns the length without it (0 for an empty
// body). `out` needs 256 bytes.
std::size_t BuildNmeaSentence(std::string_view body, std::span<char, 256> out);

// 0xAA 0xF0, the payload (cut to 518 bytes), the XOR of the payload, CR, LF. The payload
// starts with the packet's total length and a command code, both 16-bit little-endian.
// `out` needs payload size + 5 bytes (523 at most); returns the packet length.
inline constexpr std::size_t kMaxPacketPayload = 518;
std::size_t BuildBinaryPacket(std::span<const uint8_t> payload, std::span<uint8_t> out);

// The parts of a checked reply packet.
struct BinaryReplyFields {
    uint16_t type;   // bytes 4-5
    uint16_t value;  // bytes 6-7
    uint8_t byte8;
};

// Why a reply packet is damaged; the numbers are those nmeadump's JSON prints.
namespace binaryreply {
inline constexpr int kTooShort = -1;     // a length below the 10 bytes of an empty packet
inline constexpr int kTooLong = -2;      // a length beyond the 100-byte reply buffer
inline constexpr int kBadFrame = -3;     // not 0xAA 0xF0 ... CR LF
inline constexpr int kBadChecksum = -4;  // the XOR of the bytes between does not match
}  // namespace binaryreply

// 0 when the 100-byte reply is a well-formed packet (then `fields` are filled), else one
// of the binaryreply codes.
int CheckBinaryReply(std::span<const uint8_t, 100> reply, BinaryReplyFields& fields);

// UBX, as its public protocol description gives it: 0xB5 0x62, class, id, 16-bit
// little-endian payload length, payload, and two checksum bytes over class through
// payload. Of all its messages the link takes in only the acknowledges of commands:
// ACK-ACK and ACK-NAK, whose payload is the class and id of the message answered.
namespace ubx {
inline constexpr uint8_t kSync1 = 0xB5, kSync2 = 0x62;
inline constexpr uint8_t kClassAck = 0x05, kIdNak = 0x00, kIdAck = 0x01;
inline constexpr uint8_t kAckPayloadLength = 2;
inline constexpr std::size_t kHeaderLength = 6;  // sync pair, class, id, length
inline constexpr std::size_t kAckFrameLength = kHeaderLength + kAckPayloadLength + 2;
}  // namespace ubx

// UBX: the two 8-bit Fletcher sums (CK_A, CK_B) over class, id, length and payload.
void UbxChecksum(const uint8_t* from, std::size_t count, uint8_t& a, uint8_t& b);
