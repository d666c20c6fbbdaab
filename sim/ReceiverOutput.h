// NMEA output of the simulated receiver, one fix epoch at a time:
// GGA, GLL, GSA per constellation, GSV groups per constellation, RMC, VTG.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/Motion.h"
#include "sim/SkyModel.h"

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

// What the receiver's firmware state does to an epoch: after a restart it has no fix
// (then 2D, then 3D) until its time to first fix has passed, and it reports only the
// constellations it was told to track.
inline constexpr int kGgaRtkFixed = 4;  // GGA quality 4: RTK, integer ambiguities fixed
inline constexpr int kGgaRtkFloat = 5;  // GGA quality 5: RTK, float ambiguities

enum class FixStage : uint8_t { Navigating, Acquiring, TwoD };

struct EpochConditions {
    FixStage stage = FixStage::Navigating;
    std::array<bool, 6> tracked{true, true, true, true, true, true};  // by Constellation
    bool nmea41 = false;  // NMEA 4.10 GSA system ids, as a host may ask for
    int rtkQuality = 0;   // GGA quality with a fix: kGgaRtkFixed, kGgaRtkFloat; 0: a plain fix (1)

    bool Tracks(Constellation c) const { return tracked[static_cast<std::size_t>(c)]; }
};

class ReceiverOutput {
public:
    explicit ReceiverOutput(const ReceiverOptions& options);

    // All sentences of epoch `index` (time = start + index / rate), CR LF terminated.
    std::string Epoch(int64_t index, const EpochConditions& conditions = {}) const;

    double SecondsOfEpoch(int64_t index) const {
        return static_cast<double>(index) / m_options.epochsPerSecond;
    }

private:
    struct Group;  // one constellation's GSA and GSV
    std::string AcquiringEpoch(const std::string& time, const std::string& date, const std::vector<Group>& groups,
                               bool systemId) const;
    std::string GsvGroups(const std::vector<Group>& groups) const;
    std::vector<Group> Groups(const std::vector<SatelliteView>& visible, const EpochConditions& conditions) const;

    ReceiverOptions m_options;
    SkyModel m_sky;
    Motion m_motion;
};

}  // namespace sim
