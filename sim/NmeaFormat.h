// Building blocks of NMEA 0183 output: checksummed sentences and field formats.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

// XOR of every character between '$' and '*'.
uint8_t NmeaChecksum(std::string_view body);

// "GPGGA,..." becomes "$GPGGA,...*hh\r\n".
std::string NmeaSentence(std::string_view body);

// 35.6812 gives "3540.8720,N"; -139.7671 with longitude=true gives "13946.0260,W".
std::string FormatCoordinate(double degrees, bool longitude);

// Seconds of the UTC day as "hhmmss.ss".
std::string FormatUtcTime(double secondsOfDay);

// Day count since 1970-01-01 as "ddmmyy".
std::string FormatDate(int64_t daysSinceEpoch);

}  // namespace sim
