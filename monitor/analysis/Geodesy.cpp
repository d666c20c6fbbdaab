#include "monitor/analysis/Geodesy.h"

#include <cmath>

namespace track {

namespace {

constexpr double kSemiMajor = 6378137;
constexpr double kEccentricitySquared = 0.006694379990126406;
constexpr double kOneLessEccentricitySquared = 0.9933056200098735;

}  // namespace

Ecef ToEcef(double latitude, double longitude, double height) {
    const double s = std::sin(latitude);
    const double n = kSemiMajor / std::sqrt(1 - kEccentricitySquared * s * s);
    return {(n + height) * std::cos(latitude) * std::cos(longitude),
            (n + height) * std::cos(latitude) * std::sin(longitude), (kOneLessEccentricitySquared * n + height) * s};
}

Reference MakeReference(double latitudeDeg, double longitudeDeg, double height) {
    Reference r{latitudeDeg * kDegToRad, longitudeDeg * kDegToRad, height, {}};
    r.ecef = ToEcef(r.latitude, r.longitude, r.height);
    r.sinLat = std::sin(r.latitude);
    r.cosLat = std::cos(r.latitude);
    r.sinLon = std::sin(r.longitude);
    r.cosLon = std::cos(r.longitude);
    return r;
}

Enu EnuFrom(const Reference& r, const Ecef& point) {
    const double dx = point.x - r.ecef.x, dy = point.y - r.ecef.y, dz = point.z - r.ecef.z;
    if (dx == 0 && dy == 0 && dz == 0) return {0, 0, 0};
    const double along = r.cosLon * dx + r.sinLon * dy;
    return {-r.sinLon * dx + r.cosLon * dy, r.cosLat * dz - r.sinLat * along, r.cosLat * along + r.sinLat * dz};
}

EastNorth OffsetFrom(const Reference& reference, const Ecef& point) {
    const Enu e = EnuFrom(reference, point);
    return {e.east, e.north};
}

}  // namespace track
