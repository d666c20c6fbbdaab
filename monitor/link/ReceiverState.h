// The receiver's parsed state: one record per standard sentence, the two epoch tables
// built from GSA and GSV, and the proprietary records.
#pragma once

#include <bitset>
#include <cstdint>

#include "ProprietaryRecords.h"

using SentenceId = int32_t;
using GnssSystem = int32_t;

namespace gnss {
inline constexpr GnssSystem kGps = 0, kQzss = 1, kGalileo = 2, kGlonass = 3, kBeiDou = 4, kSbas = 5,
                            kUnresolved = 10;
}

namespace sentence {
inline constexpr SentenceId kGga = 0, kGll = 1, kGsa = 2, kGsv = 3, kRmc = 4, kVtg = 5, kQsa = 6;
inline constexpr SentenceId kAlm = 32, kEph = 33, kDgp = 34, kDbg = 35, kDb2 = 36, kChn = 37,
                            kWbg = 38, kRtc = 39, kPmc = 40, kJam = 41, kLox = 42, kTsx1 = 43;
inline constexpr SentenceId kSfch = 64, kGptxt = 136, kMtkAck = 252, kReply = 253, kRecognised = 254,
                            kUnknown = 255;
}  // namespace sentence

// Four constellations in one receiver easily put more than 32 satellites in view and in
// use; the tables hold 64, and one slot per GSA sentence or per constellation's GSV
// group for up to 8 of them.
inline constexpr int kMaxSatellites = 64;
inline constexpr int kMaxGroups = 8;
// Longest text sentence the link keeps, "$" through CR; longer lines are dropped whole.
inline constexpr int kMaxSentenceText = 259;

struct GgaRecord {
    int16_t hour, minute;
    float second;
    double latitude;
    int16_t latitudeDegrees, latitudeMinutes;
    double latitudeSeconds;
    char northSouth;
    double longitude;
    int16_t longitudeDegrees, longitudeMinutes;
    double longitudeSeconds;
    char eastWest;
    int16_t fixQuality, satellitesUsed;
    float hdop, altitude, geoidSeparation, differentialAge;
    int16_t differentialStation;
};

struct GllRecord {
    int16_t latitudeDegrees;
    double latitudeMinutes;
    char northSouth;
    int32_t longitudeDegrees;
    double longitudeMinutes;
    char eastWest;
    char utcTime[17];
    char status, mode;
};

struct RmcRecord {
    int16_t hour, minute;
    float second;
    char status;
    int16_t latitudeDegrees;
    double latitudeMinutes;
    char northSouth;
    int32_t longitudeDegrees;
    double longitudeMinutes;
    char eastWest;
    float speedKnots, course;
    uint16_t year;
    int16_t month;
    uint16_t day;
    float magneticVariation;
    char variationDirection, mode;
};

struct VtgRecord {
    float courseTrue, courseMagnetic, speedKnots, speedKmh;
    char mode;
};

struct SatelliteEntry {
    uint16_t prn;
    int16_t elevation, azimuth, snr;
    GnssSystem system;
};

struct GsvRecord {
    GnssSystem system;
    int16_t totalSentences, sentenceNumber, satellitesInView;
    int16_t highestSnr, lowestSnr, trackedCount, count;
    SatelliteEntry satellites[4];
};

// One report of the sky: every satellite the receiver listed since the report began,
// once per (system, PRN), with the highest C/N0 any of its signals had. Receivers of
// NMEA 4.10 and later send one GSV group per signal; those groups add no new groups
// here, only their C/N0.
struct SatelliteViewSet {
    int16_t completedGroups;  // constellations whose group has come to its last sentence
    GnssSystem groupSystem[kMaxGroups];
    int16_t highestSnr, lowestSnr, trackedCount, count;
    SatelliteEntry satellites[kMaxSatellites];
};

struct UsedSatelliteSet {
    int16_t gsaSentences;
    uint16_t usedPerSentence[kMaxGroups];
    uint16_t firstOfSentence[kMaxGroups];  // a QSA's satellites may stand between two GSAs
    char mode, fixType;
    int16_t count;
    int16_t prn[kMaxSatellites + 1];
    GnssSystem system[kMaxSatellites];
    float pdop, hdop, vdop;
};

// The temporary a GSA or QSA parser fills; the epoch logic merges it into the table.
struct GsaSentence {
    GnssSystem system;
    bool isQsa;
    char leadingFlag;  // QSA only
    char mode, fixType;
    int16_t count;
    int16_t prn[32];
    float pdop, hdop, vdop;
};

// Where the link stands in the receiver's epochs.
struct EpochTracking {
    double time = -1;           // seconds of the day of the latest GGA or RMC
    bool cyclePending = false;  // satellites taken in since the tables were last posted
    bool reportEnded = true;    // the next GSV group that starts begins a new report
    // The (system, PRN) pairs of systems 0-7 and PRNs 0-255 in the current report of the
    // sky: a satellite not marked here is new to the table, which then needs no search.
    std::bitset<8 * 256> listed;
};

struct ReceiverState {
    GgaRecord gga;
    GllRecord gll;
    UsedSatelliteSet used;
    GsvRecord gsv;
    SatelliteViewSet view;
    RmcRecord rmc;
    VtgRecord vtg;
    ProprietaryRecords proprietary;
    SentenceId lastDispatched = sentence::kUnknown;
    EpochTracking epoch;
};
