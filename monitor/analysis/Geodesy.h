// Positions on the WGS-84 ellipsoid and offsets from a reference in its local horizon
// (east, north, up), as the Track window plots them and the accuracy figures count them.
#pragma once

namespace track {

inline constexpr double kDegToRad = 0.017453292519943;

struct Ecef {
    double x, y, z;
};

// WGS-84 geodetic (radians, metres) to Earth-centred coordinates. The toolkit feeds it
// the GGA altitude (above mean sea level) both for the reference and for the fixes: the
// geoid separation is the same for both to centimetres over any track a receiver
// scatters, so the offsets do not change, and a typed "Hgt:" means what the receiver's
// GGA says.
Ecef ToEcef(double latitude, double longitude, double height);

struct Reference {
    double latitude = 0, longitude = 0, height = 0;  // radians, metres
    Ecef ecef{};
    // The reference's own angles, taken once: every fix needs them.
    double sinLat = 0, cosLat = 1, sinLon = 0, cosLon = 1;
};
Reference MakeReference(double latitudeDeg, double longitudeDeg, double height);

struct EastNorth {
    double east, north;
};
struct Enu {
    double east, north, up;
};
// Offsets in the reference's local horizon; a point that is the reference is (0, 0, 0).
Enu EnuFrom(const Reference& reference, const Ecef& point);
EastNorth OffsetFrom(const Reference& reference, const Ecef& point);

}  // namespace track
