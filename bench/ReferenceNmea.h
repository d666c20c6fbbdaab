// A small stand-alone NMEA reader of the kind embedded projects use, kept here as the
// yardstick for the link's receive path: it frames lines at LF, verifies the checksum
// and parses GGA, GLL, GSA, GSV, RMC and VTG into plain structs, with numbers kept as
// scaled integers. No ring, no queue, no epoch merging, no messages: what is left when a
// parser does only the parsing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace reference {

struct Scaled {  // value / scale, as the small C parsers keep their numbers
    int32_t value = 0;
    int32_t scale = 0;
};

struct Time {
    int hours = -1, minutes = -1, seconds = -1, microseconds = -1;
};

struct Date {
    int day = -1, month = -1, year = -1;
};

struct Gga {
    Time time;
    Scaled latitude, longitude;
    int fixQuality = 0, satellitesTracked = 0;
    Scaled hdop, altitude;
    char altitudeUnits = 0;
    Scaled height;
    char heightUnits = 0;
    Scaled dgpsAge;
};

struct Gll {
    Scaled latitude, longitude;
    Time time;
    char status = 0, mode = 0;
};

struct Gsa {
    char mode = 0;
    int fixType = 0;
    int sats[12] = {};
    Scaled pdop, hdop, vdop;
};

struct SatelliteInfo {
    int number = 0, elevation = 0, azimuth = 0, snr = 0;
};

struct Gsv {
    int totalMessages = 0, messageNumber = 0, totalSatellites = 0;
    SatelliteInfo satellites[4];
};

struct Rmc {
    Time time;
    bool valid = false;
    Scaled latitude, longitude, speed, course;
    Date date;
    Scaled variation;
};

struct Vtg {
    Scaled trueTrack, magneticTrack, speedKnots, speedKph;
    char mode = 0;
};

enum class Kind { Invalid, Unknown, Gga, Gll, Gsa, Gsv, Rmc, Vtg };

struct Sentence {
    Kind kind = Kind::Invalid;
    Gga gga;
    Gll gll;
    Gsa gsa;
    Gsv gsv;
    Rmc rmc;
    Vtg vtg;
};

// One line without its LF (a trailing CR is allowed): Invalid for a bad frame or
// checksum or a sentence of a known type that does not parse.
Kind ParseLine(std::string_view line, Sentence& out);

// Lines split at LF and parsed one by one; returns how many parsed into a struct.
std::size_t ParseStream(std::string_view stream, Sentence& last);

}  // namespace reference
