// The receiver's parsed state: one record per standard sentence, the two epoch tables
// built from GSA and GSV, and the proprietary records.
#pragma once

#include <bitset>
#include <cstdint>

#include "monitor/link/ProprietaryRecords.h"

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
// Sentence names an epoch without a time keeps to find its end.
inline constexpr int kEpochNames = 32;

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
    int16_t signalId;  // NMEA 4.10 and later: the group's signal (0 when not given)
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

// Every signal of the report of the sky as its GSV group gave it: a satellite that
// several groups list (one per signal) is here once per group.
inline constexpr int kMaxSignals = 2 * kMaxSatellites;
struct SignalEntry {
    GnssSystem system;
    uint16_t prn;
    int16_t signalId;
    int16_t elevation, azimuth, snr;
};
struct SkySignals {
    int16_t count;
    SignalEntry entries[kMaxSignals];
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

// One epoch as Track and Fix mode take it: its fix and the fix type and DOPs of its
// satellite report, sent once per epoch.
struct EpochSummary {
    bool hasGga;     // a GGA of the epoch was parsed
    bool hasReport;  // the epoch had a GSA or QSA
    GgaRecord gga;
    char fixType;    // the report's '1' to '3'; 0 without one
    float pdop, hdop, vdop;
};

// Where the link stands in the receiver's epochs. An epoch runs from a sentence that
// carries a new time of day (GGA, RMC, GNS, GLL, ZDA) to the next one; a receiver that
// sends no time yet (before its first fix) begins one each time it lists its sky again.
struct EpochTracking {
    double time = -1;  // seconds of the day of the latest epoch with one; -1 for none
    bool timed = false;      // this epoch began with a time
    uint64_t sentences = 0;  // in the epoch, of any kind
    // The names (other than GSV) that came in the epoch, to find where the receiver
    // begins its sentences again.
    uint64_t names[kEpochNames];
    int nameCount = 0;
    uint64_t lastPlainName = 0;

    // The report of the sky: posted once per epoch, as soon as the GSV group comes to
    // its end that ended the last report (a receiver lists its groups in the same order
    // each epoch), else when the epoch ends.
    bool skyPending = false;  // satellites taken in that are not posted yet
    bool skyPosted = false;   // this epoch's report is out: its later GSVs are not shown
    bool usedStale = true;    // the next GSA begins a new table of used satellites
    bool viewStale = true;    // the next GSV begins a new table of satellites in view
    int lastGroup = -1;       // key of the GSV group that came to its end last
    int closingGroup = -1;    // the one that ended the last epoch's report
    std::bitset<8 * 16> groups;  // the (system, signal) groups begun in this report
    // The (system, PRN) pairs of systems 0-7 and PRNs 0-255 in the current report of the
    // sky: a satellite not marked here is new to the table, which then needs no search.
    std::bitset<8 * 256> listed;

    // The epoch's summary: posted once, when the sentence comes that ended the last
    // epoch (the same name, as many of it in a row), else when the epoch ends.
    EpochSummary summary{};
    bool summaryPosted = false;
    bool hasRmc = false, hasVtg = false;
    VtgRecord rmcVelocity{};   // the epoch's RMC's speed and course
    uint64_t lastName = 0;     // the latest sentence's name, hashed (a GSV's with its group and number)
    uint32_t lastRun = 0;      // sentences of that name in a row
    uint64_t closingName = 0;  // the same for the sentence that ended the last epoch
    uint32_t closingRun = 0;
};

struct ReceiverState {
    GgaRecord gga;
    GllRecord gll;
    UsedSatelliteSet used;
    GsvRecord gsv;
    SatelliteViewSet view;
    SkySignals skySignals;  // begun anew with the view
    RmcRecord rmc;
    VtgRecord vtg;
    ProprietaryRecords proprietary;
    SentenceId lastDispatched = sentence::kUnknown;
    EpochTracking epoch;
};
