#include "sim/Motion.h"

#include <cmath>

namespace sim {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMetresPerDegree = 111320.0;
constexpr double kRouteSideM = 800.0;
constexpr double kRouteSpeedMps = 13.9;  // 50 km/h

double CourseOf(double east, double north) {
    double c = std::atan2(east, north) * 180.0 / kPi;
    return c < 0 ? c + 360.0 : c;
}

}  // namespace

Fix Motion::At(double t) const {
    double east = 0, north = 0, ve = 0, vn = 0;
    if (m_mode == Mode::Wander) {
        // Two slow sines per axis: a bounded walk of a few metres.
        east = 2.0 * std::sin(0.05 * t) + 1.0 * std::sin(0.17 * t + 1.3);
        north = 2.0 * std::cos(0.04 * t) + 1.0 * std::sin(0.11 * t + 0.4);
        ve = 0.10 * std::cos(0.05 * t) + 0.17 * std::cos(0.17 * t + 1.3);
        vn = -0.08 * std::sin(0.04 * t) + 0.11 * std::cos(0.11 * t + 0.4);
    } else {
        // Square loop, counter-clockwise from the start point: north, west, south, east.
        const double along = std::fmod(kRouteSpeedMps * t, 4 * kRouteSideM);
        const int leg = static_cast<int>(along / kRouteSideM);
        const double d = along - leg * kRouteSideM;
        static constexpr double kDirE[4] = {0, -1, 0, 1}, kDirN[4] = {1, 0, -1, 0};
        static constexpr double kStartE[4] = {0, 0, -kRouteSideM, -kRouteSideM};
        static constexpr double kStartN[4] = {0, kRouteSideM, kRouteSideM, 0};
        east = kStartE[leg] + kDirE[leg] * d;
        north = kStartN[leg] + kDirN[leg] * d;
        ve = kDirE[leg] * kRouteSpeedMps;
        vn = kDirN[leg] * kRouteSpeedMps;
    }
    const double lat = m_latDeg + north / kMetresPerDegree;
    const double lon = m_lonDeg + east / (kMetresPerDegree * std::cos(m_latDeg * kPi / 180.0));
    return {lat, lon, m_altitudeM + 0.5 * std::sin(0.03 * t), std::hypot(ve, vn), CourseOf(ve, vn)};
}

}  // namespace sim
