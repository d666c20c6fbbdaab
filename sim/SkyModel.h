// Satellites on circular orbits around a rotating Earth, seen from one place: enough
// geometry for elevations, azimuths and signal levels that move the way real ones do.
#pragma once

#include <cstdint>
#include <vector>

namespace sim {

enum class Constellation : uint8_t { Gps, Sbas, Qzss, Glonass, BeiDou, Galileo };

struct Satellite {
    Constellation system;
    int prn;                 // the constellation's own number (SBAS: 120-158)
    double radiusKm;
    double inclinationDeg;
    double raanDeg;          // ascending node in the inertial frame at time 0
    double argLatDeg;        // position along the orbit at time 0
    bool geostationary;      // then only the longitude counts
    double geoLongitudeDeg;
};

struct SatelliteView {
    Constellation system;
    int prn;
    double elevationDeg;
    double azimuthDeg;  // 0..360, clockwise from north
    int cn0;            // dB-Hz
};

class SkyModel {
public:
    SkyModel();  // nominal GPS, GLONASS, Galileo, BeiDou, QZSS and SBAS constellations

    // Satellites above the mask at `seconds` after the model's epoch, ordered by
    // constellation and number.
    std::vector<SatelliteView> Visible(double latDeg, double lonDeg, double seconds,
                                       double maskDeg = 5.0) const;

    const std::vector<Satellite>& Satellites() const { return m_satellites; }

private:
    std::vector<Satellite> m_satellites;
};

}  // namespace sim
