// Where the simulated receiver is: wandering a few metres around a point, as a parked
// antenna's fix does, or driving a square route around it.
#pragma once

namespace sim {

struct Fix {
    double latDeg;
    double lonDeg;
    double altitudeM;
    double speedMps;
    double courseDeg;  // true, 0..360
};

class Motion {
public:
    enum class Mode { Wander, Route };
    Motion(double latDeg, double lonDeg, double altitudeM, Mode mode)
        : m_latDeg(latDeg), m_lonDeg(lonDeg), m_altitudeM(altitudeM), m_mode(mode) {}

    Fix At(double seconds) const;

private:
    double m_latDeg, m_lonDeg, m_altitudeM;
    Mode m_mode;
};

}  // namespace sim
