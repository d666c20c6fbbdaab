#include "sim/RtcmStream.h"

#include <vector>

#include "monitor/link/Rtcm3Framer.h"

namespace sim {
namespace {

constexpr int kStationPosition = 1005;
constexpr int kGpsMsm4 = 1074;
constexpr int kGlonassMsm4 = 1084;
constexpr int kStationEveryS = 10;
constexpr std::size_t kStationBytes = 19;  // 152 bits, as the standard lays 1005 out
// MSM4 of 10 GPS and 8 GLONASS satellites, one signal each: header, satellite and
// signal data come to about these sizes.
constexpr std::size_t kGpsMsm4Bytes = 150;
constexpr std::size_t kGlonassMsm4Bytes = 124;

}  // namespace

// The payload opens with the 12-bit message type and the 12-bit station id, as every
// message of these types does; the rest is filler from a fixed sequence.
std::string RtcmStream::Frame(int type, std::size_t payloadBytes) {
    std::vector<uint8_t> payload(payloadBytes);
    payload[0] = static_cast<uint8_t>(type >> 4);
    payload[1] = static_cast<uint8_t>((type & 0x0F) << 4 | m_station >> 8);
    payload[2] = static_cast<uint8_t>(m_station & 0xFF);
    for (std::size_t i = 3; i < payload.size(); ++i) {
        m_noise = m_noise * 1664525u + 1013904223u;
        payload[i] = static_cast<uint8_t>(m_noise >> 24);
    }
    const std::vector<uint8_t> frame = rtcm::BuildFrame(payload);
    return std::string(frame.begin(), frame.end());
}

std::vector<std::string> RtcmStream::Second(int64_t second) {
    std::vector<std::string> out;
    if (second % kStationEveryS == 0) out.push_back(Frame(kStationPosition, kStationBytes));
    out.push_back(Frame(kGpsMsm4, kGpsMsm4Bytes));
    out.push_back(Frame(kGlonassMsm4, kGlonassMsm4Bytes));
    return out;
}

}  // namespace sim
