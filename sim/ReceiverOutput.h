// NMEA output of the simulated receiver, one fix epoch at a time:
// GGA, GLL, GSA per constellation, GSV groups per constellation, RMC, VTG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Motion.h"
#include "SkyModel.h"

namespace sim {

struct ReceiverOptions {
    double latDeg = 35.6812;
    double lonDeg = 139.7671;
    double altitudeM = 40.0;
    Motion::Mode motion = Motion::Mode::Wander;
    int epochsPerSecond = 1;            // 1..10
    int64_t startUnixSeconds = 1778164215;  // 2026-05-07 14:30:15 UTC
    bool gnGsa = false;        // "GNGSA" for every constellation instead of GP/GL/BD/GA
    bool gsaSystemId = false;  // NMEA 4.10: a system id after VDOP
    bool qzTalker = false;     // QZSS in a "QZGSV" group instead of inside "GPGSV"
    bool gbTalker = false;     // BeiDou as "GB" instead of "BD"
};

class ReceiverOutput {
public:
    explicit ReceiverOutput(const ReceiverOptions& options);

    // All sentences of epoch `index` (time = start + index / rate), CR LF terminated.
    std::string Epoch(int64_t index) const;

    double SecondsOfEpoch(int64_t index) const {
        return static_cast<double>(index) / m_options.epochsPerSecond;
    }

private:
    struct Group;  // one constellation's GSA and GSV
    std::vector<Group> Groups(const std::vector<SatelliteView>& visible) const;

    ReceiverOptions m_options;
    SkyModel m_sky;
    Motion m_motion;
};

}  // namespace sim
