#include "sim/SkyModel.h"

#include <algorithm>
#include <cmath>

namespace sim {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;
constexpr double kEarthRadiusKm = 6371.0;
constexpr double kMuKm3s2 = 398600.4418;
constexpr double kEarthRateRadS = 7.2921151467e-5;
constexpr double kGeoRadiusKm = 42164.0;

struct Vec3 {
    double x, y, z;
};
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Walker-like shell: `planes` planes of `perPlane` satellites, numbered from firstPrn.
void AddShell(std::vector<Satellite>& out, Constellation system, int firstPrn, int planes,
              int perPlane, double radiusKm, double inclinationDeg, double phaseDeg) {
    for (int p = 0; p < planes; ++p)
        for (int s = 0; s < perPlane; ++s)
            out.push_back({system, firstPrn + p * perPlane + s, radiusKm, inclinationDeg,
                           360.0 * p / planes, 360.0 * s / perPlane + phaseDeg * p, false, 0});
}

void AddGeo(std::vector<Satellite>& out, Constellation system, int prn, double lonDeg) {
    out.push_back({system, prn, kGeoRadiusKm, 0, 0, 0, true, lonDeg});
}

Vec3 EcefPosition(const Satellite& s, double t) {
    if (s.geostationary) {
        const double lon = s.geoLongitudeDeg * kDeg;
        return {kGeoRadiusKm * std::cos(lon), kGeoRadiusKm * std::sin(lon), 0};
    }
    const double n = std::sqrt(kMuKm3s2 / (s.radiusKm * s.radiusKm * s.radiusKm));
    const double u = s.argLatDeg * kDeg + n * t;
    const double raan = s.raanDeg * kDeg;
    const double inc = s.inclinationDeg * kDeg;
    const double xi = s.radiusKm * (std::cos(u) * std::cos(raan) - std::sin(u) * std::cos(inc) * std::sin(raan));
    const double yi = s.radiusKm * (std::cos(u) * std::sin(raan) + std::sin(u) * std::cos(inc) * std::cos(raan));
    const double zi = s.radiusKm * std::sin(u) * std::sin(inc);
    const double theta = kEarthRateRadS * t;  // Earth turned under the inertial frame
    return {xi * std::cos(theta) + yi * std::sin(theta), -xi * std::sin(theta) + yi * std::cos(theta), zi};
}

// Signal level: stronger towards the zenith, a fixed offset per satellite and a slow
// fade, so bars move but do not jump.
int Cn0(const Satellite& s, double elevationDeg, double t) {
    const double offset = ((s.prn * 7 + static_cast<int>(s.system) * 3) % 7) - 3.0;
    const double fade = 1.5 * std::sin(t / 23.0 + s.prn);
    const double level = 30.0 + 17.0 * std::sin(elevationDeg * kDeg) + offset + fade;
    return static_cast<int>(std::clamp(std::lround(level), 15L, 52L));
}

}  // namespace

SkyModel::SkyModel() {
    auto& v = m_satellites;
    AddShell(v, Constellation::Gps, 1, 6, 4, 26560, 55, 15);
    AddShell(v, Constellation::Glonass, 1, 3, 8, 25510, 64.8, 15);
    AddShell(v, Constellation::Galileo, 1, 3, 8, 29600, 56, 15);
    int geoPrn = 1;
    for (const double lon : {58.75, 80.0, 110.5, 140.0, 160.0})
        AddGeo(v, Constellation::BeiDou, geoPrn++, lon);
    AddShell(v, Constellation::BeiDou, 19, 3, 8, 27900, 55, 15);
    // Inclined geosynchronous orbits whose figure-eight ground tracks centre on 135 E.
    for (int k = 0; k < 4; ++k) {
        const double phase = 90.0 * k;
        v.push_back({Constellation::Qzss, 1 + k, kGeoRadiusKm, 41, 135.0 - phase, phase, false, 0});
    }
    for (const auto& [prn, lon] : {std::pair{123, 31.5}, {126, 25.0}, {129, 140.0}, {131, -117.0},
                                   {133, -129.0}, {136, 5.0}, {137, 145.0}, {138, -107.0}})
        AddGeo(v, Constellation::Sbas, prn, lon);
}

std::vector<SatelliteView> SkyModel::Visible(double latDeg, double lonDeg, double seconds,
                                             double maskDeg) const {
    const double lat = latDeg * kDeg, lon = lonDeg * kDeg;
    const Vec3 up{std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
    const Vec3 east{-std::sin(lon), std::cos(lon), 0};
    const Vec3 north{-std::sin(lat) * std::cos(lon), -std::sin(lat) * std::sin(lon), std::cos(lat)};
    const Vec3 here{kEarthRadiusKm * up.x, kEarthRadiusKm * up.y, kEarthRadiusKm * up.z};

    std::vector<SatelliteView> out;
    for (const Satellite& s : m_satellites) {
        const Vec3 d = EcefPosition(s, seconds) - here;
        const double range = std::sqrt(Dot(d, d));
        const double el = std::asin(Dot(d, up) / range) / kDeg;
        if (el < maskDeg) continue;
        double az = std::atan2(Dot(d, east), Dot(d, north)) / kDeg;
        if (az < 0) az += 360.0;
        out.push_back({s.system, s.prn, el, az, Cn0(s, el, seconds)});
    }
    std::sort(out.begin(), out.end(), [](const SatelliteView& a, const SatelliteView& b) {
        return a.system != b.system ? a.system < b.system : a.prn < b.prn;
    });
    return out;
}

}  // namespace sim
