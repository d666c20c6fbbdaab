// Building blocks of the UBX protocol as its public description gives them: frames of
// 0xB5 0x62, class, id, 16-bit little-endian length, payload and an 8-bit Fletcher
// checksum over class through payload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace sim::ubx {

constexpr uint8_t kSync1 = 0xB5, kSync2 = 0x62;
constexpr std::size_t kHeaderBytes = 6;    // sync pair, class, id, length
constexpr std::size_t kMaxPayload = 1024;  // longer "frames" are noise, not messages
constexpr uint8_t kClassAck = 0x05, kIdNak = 0x00, kIdAck = 0x01;
constexpr uint8_t kClassCfg = 0x06, kIdCfgRst = 0x04, kIdCfgNmea = 0x17, kIdCfgGnss = 0x3E;
constexpr uint16_t kBbrAlmanac = 0x0002;   // CFG-RST navBbrMask: almanac cleared
constexpr uint8_t kNmeaVersion41 = 0x41;   // CFG-NMEA nmeaVersion

// CK_A and CK_B over `count` bytes.
std::pair<uint8_t, uint8_t> Fletcher(const uint8_t* bytes, std::size_t count);

// ACK-ACK "B5 62 05 01 02 00 <cls> <id> <ck>" or ACK-NAK (id 0x00) for a message.
std::string Acknowledge(uint8_t cls, uint8_t id, bool accepted);

// CFG-GNSS gnssId to the index of sim::Constellation; -1 for systems not simulated.
int ConstellationOfGnssId(uint8_t gnssId);

}  // namespace sim::ubx
