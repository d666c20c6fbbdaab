// RTCM 3 frames cut out of a byte stream (RTCM Standard 10403, transport layer):
//
//   D3 | 6 reserved bits (0) + 10-bit length | payload (length bytes) | CRC-24Q (3 bytes)
//
// e.g. D3 00 13 3E D7 D3 02 02 98 0E DE EF 34 B4 BD 62 AC 09 41 98 6F 33 36 0B 98, a
// message 1005 whose payload starts with the 12-bit message type (0x3ED = 1005). The
// CRC covers the preamble, the length and the payload. No port, no thread: fed bytes,
// it hands out whole checked frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace rtcm {

inline constexpr uint8_t kPreamble = 0xD3;
inline constexpr std::size_t kHeaderBytes = 3;   // preamble and length
inline constexpr std::size_t kCrcBytes = 3;
inline constexpr std::size_t kMaxPayload = 1023;  // what 10 bits of length can say
inline constexpr uint32_t kCrc24qPolynomial = 0x1864CFB;

// CRC-24Q over `data`, initial value 0, no reflection, as the standard's transport layer.
uint32_t Crc24q(std::span<const uint8_t> data);

// A whole frame around `payload` (at most kMaxPayload bytes), CRC included.
std::vector<uint8_t> BuildFrame(std::span<const uint8_t> payload);

// The message type: the payload's first 12 bits; -1 for a payload shorter than that.
int MessageType(std::span<const uint8_t> payload);

// Messages and bytes (whole frames) received of one message type.
struct TypeCount {
    uint64_t messages = 0;
    uint64_t bytes = 0;
};

struct FramerCounts {
    uint64_t goodFrames = 0;
    uint64_t badFrames = 0;     // a frame whose CRC-24Q does not match
    uint64_t skippedBytes = 0;  // bytes outside any good frame, bad frames' bytes included
    std::map<int, TypeCount> types;
};

class Rtcm3Framer {
public:
    // A good frame, preamble to CRC, and its message type.
    using FrameHandler = std::function<void(std::span<const uint8_t> frame, int messageType)>;

    // Hands each good frame in `bytes` to `onFrame`; a frame split across calls is kept
    // until its last byte comes.
    void Feed(std::span<const uint8_t> bytes, const FrameHandler& onFrame);
    // Whether a frame is begun and not yet complete (a preamble was seen).
    bool Holding() const { return !m_buffer.empty(); }
    const FramerCounts& Counts() const { return m_counts; }

private:
    void Scan(const FrameHandler& onFrame);
    void Skip(std::size_t count);

    std::vector<uint8_t> m_buffer;  // from a preamble on
    FramerCounts m_counts;
};

}  // namespace rtcm
