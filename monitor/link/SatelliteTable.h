// The satellite table: every satellite of the epoch's report of the sky, one row per
// signal where the receiver names its signals (NMEA 4.10 and later: a GSV group per
// signal), else one per satellite, with whether the fix used it.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "monitor/link/ReceiverState.h"

struct SatelliteRow {
    GnssSystem system;
    uint16_t prn;
    int16_t signalId;   // 0: the receiver names no signal
    int16_t elevation;  // degrees; kNotInView for a used satellite the report did not list
    int16_t azimuth;
    int16_t snr;        // C/N0 in dB-Hz; 0 when not tracked
    bool used;
};

inline constexpr int16_t kNotInView = -999;

struct SatelliteTable {
    std::vector<SatelliteRow> rows;  // by constellation, number and signal
};

// Run when the report is posted (after FinishCycle, so the used satellites have their
// constellations).
SatelliteTable BuildSatelliteTable(const ReceiverState& state);

// The signal's name in NMEA 0183 4.11's table for its constellation: "L1 C/A", "E5a";
// "" for 0 or an id the table does not have.
std::string_view SignalName(GnssSystem system, int signalId);
// "GPS", "Galileo", ...; "?" for an unresolved system.
std::string_view SystemName(GnssSystem system);
