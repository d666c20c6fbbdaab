// A generated RTCM 3 stream for the simulated caster: message 1005 (the reference
// station's position) every 10 s, and MSM4 observations for GPS (1074) and GLONASS
// (1084) every second. Frames are valid (length, CRC-24Q); the observations' bits are
// of the right size and type, not a physical measurement.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

class RtcmStream {
public:
    explicit RtcmStream(uint16_t stationId = 2003) : m_station(stationId) {}

    // The frames of second `second` of the stream, each whole.
    std::vector<std::string> Second(int64_t second);

private:
    std::string Frame(int type, std::size_t payloadBytes);

    uint16_t m_station;
    uint32_t m_noise = 0x1234567u;
};

}  // namespace sim
