// Checksums and the framing of outgoing sentences and binary packets.
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

// 0 when the 100-byte reply is a well-formed packet (then `fields` are filled); -1 for a
// length below 10, -2 above 100, -3 for a wrong frame, -4 for a wrong checksum.
int CheckBinaryReply(std::span<const uint8_t, 100> reply, BinaryReplyFields& fields);
