#include "monitor/link/Rtcm3Framer.h"

#include <algorithm>

namespace rtcm {

uint32_t Crc24q(std::span<const uint8_t> data) {
    uint32_t crc = 0;
    for (const uint8_t b : data) {
        crc ^= static_cast<uint32_t>(b) << 16;
        for (int bit = 0; bit < 8; ++bit) {
            crc <<= 1;
            if (crc & 0x1000000u) crc ^= kCrc24qPolynomial;
        }
    }
    return crc & 0xFFFFFFu;
}

std::vector<uint8_t> BuildFrame(std::span<const uint8_t> payload) {
    const std::size_t length = std::min(payload.size(), kMaxPayload);
    std::vector<uint8_t> frame(kHeaderBytes + length);
    frame[0] = kPreamble;
    frame[1] = static_cast<uint8_t>(length >> 8);
    frame[2] = static_cast<uint8_t>(length & 0xFF);
    std::copy_n(payload.begin(), length, frame.begin() + kHeaderBytes);
    const uint32_t crc = Crc24q(frame);
    frame.push_back(static_cast<uint8_t>(crc >> 16));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    frame.push_back(static_cast<uint8_t>(crc));
    return frame;
}

int MessageType(std::span<const uint8_t> payload) {
    if (payload.size() < 2) return -1;
    return payload[0] << 4 | payload[1] >> 4;
}

void Rtcm3Framer::Feed(std::span<const uint8_t> bytes, const FrameHandler& onFrame) {
    for (const uint8_t b : bytes) {
        if (m_buffer.empty() && b != kPreamble) {
            ++m_counts.skippedBytes;
            continue;
        }
        m_buffer.push_back(b);
        Scan(onFrame);
    }
}

void Rtcm3Framer::Skip(std::size_t count) {
    m_counts.skippedBytes += count;
    m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(count));
    // The next preamble in what is left starts the next try.
    const auto next = std::find(m_buffer.begin(), m_buffer.end(), kPreamble);
    m_counts.skippedBytes += static_cast<uint64_t>(next - m_buffer.begin());
    m_buffer.erase(m_buffer.begin(), next);
}

// Takes the frame at the buffer's start once it is whole. A preamble followed by set
// reserved bits starts no frame (0xD3 is as likely in data as anywhere): only that byte
// goes. A frame that fails its CRC goes whole, so that one damaged frame counts once.
void Rtcm3Framer::Scan(const FrameHandler& onFrame) {
    while (m_buffer.size() >= kHeaderBytes) {
        if (m_buffer[1] & 0xFC) {
            Skip(1);
            continue;
        }
        const std::size_t length = static_cast<std::size_t>(m_buffer[1] & 0x03) << 8 | m_buffer[2];
        const std::size_t whole = kHeaderBytes + length + kCrcBytes;
        if (m_buffer.size() < whole) return;
        const std::span<const uint8_t> frame(m_buffer.data(), whole);
        const uint32_t sent = static_cast<uint32_t>(frame[whole - 3]) << 16 | frame[whole - 2] << 8 | frame[whole - 1];
        if (Crc24q(frame.first(whole - kCrcBytes)) != sent) {
            ++m_counts.badFrames;
            Skip(whole);
            continue;
        }
        const int type = MessageType(frame.subspan(kHeaderBytes, length));
        ++m_counts.goodFrames;
        TypeCount& count = m_counts.types[type];
        ++count.messages;
        count.bytes += whole;
        onFrame(frame, type);
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(whole));
        Skip(0);
    }
}

}  // namespace rtcm
