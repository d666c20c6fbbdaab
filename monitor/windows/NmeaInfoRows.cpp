#include "monitor/windows/NmeaInfoRows.h"

#include <cstdio>

namespace nmeainfo {

namespace {

constexpr const char* kRowNames[kNamedRows] = {
    "UTC Time", "UTC Date", "Latitude", "Longitude",  "Altitude(m)",  "Pos Fix",      "Op Mode",
    "Fixing Mode", "Sat in View", "SV Num", "SV Used", "PDOP", "VDOP", "HDOP", "Geoid(m)", "Course",
    "True Heading", "Speed(knots)", "H Speed Km/h", "H Speed m/s"};

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char buf[96];
    std::snprintf(buf, sizeof buf, format, args...);
    return buf;
}

std::string Fixed4(double v) { return Format("%.04f", v); }

}  // namespace

const char* RowName(int row) { return row >= 0 && row < kNamedRows ? kRowNames[row] : ""; }

std::string FixQualityName(int quality) {
    static constexpr const char* kNames[] = {"Invalid", "SPS", "DGPS", "PPS", "Fixed Integers", "Float Integers",
                                             "Estimate"};
    return quality >= 0 && quality <= 6 ? kNames[quality] : std::to_string(quality);
}

std::string FixTypeName(char fixType) {
    switch (fixType) {
        case '1': return "No Fix";
        case '2': return "2D";
        case '3': return "3D";
        default: return "";
    }
}

std::string UsedSatellitesText(const UsedSatelliteSet& used) {
    static constexpr char kLetters[] = {'G', 'Q', 'E', 'R', 'B', 'S'};
    std::string out;
    for (int i = 0; i < used.count; ++i) {
        if (used.system[i] >= 0 && used.system[i] <= 5) out += kLetters[used.system[i]];
        out += std::to_string(used.prn[i]) + ' ';
    }
    return out;
}

// "$GPGGA,123519,,,,,0,00,99.99,,,,,,*48": before a fix a receiver leaves the position
// empty (or repeats an old one beside quality 0), which the parser reads as zeros; shown
// as they are, they would read as a fix at 0/0 on the sea level.
bool HasPosition(const GgaRecord& g) { return g.fixQuality != 0 && g.northSouth != 0 && g.eastWest != 0; }

Rows FromGga(const GgaRecord& g) {
    const bool position = HasPosition(g);
    // "16:15:01.0000": the seconds padded as the hours and minutes are.
    return {{0, Format("%02d:%02d:%07.4f", g.hour, g.minute, static_cast<double>(g.second))},
            {2, position ? Format("%.8f %c", g.latitude, g.northSouth) : std::string()},
            {3, position ? Format("%.8f %c", g.longitude, g.eastWest) : std::string()},
            {5, FixQualityName(g.fixQuality)},
            {9, std::to_string(g.satellitesUsed)},
            {13, Fixed4(g.hdop)},
            {4, position ? Fixed4(g.altitude) : std::string()},
            {14, Fixed4(g.geoidSeparation)}};
}

Rows FromUsed(const UsedSatelliteSet& u) {
    return {{6, u.mode ? std::string(1, u.mode) : std::string()},
            {7, FixTypeName(u.fixType)},
            {10, UsedSatellitesText(u)},
            {11, Fixed4(u.pdop)},
            {12, Fixed4(u.vdop)}};
}

Rows FromView(const SatelliteViewSet& v) { return {{8, std::to_string(v.count)}}; }

Rows FromRmc(const RmcRecord& r) {
    return {{1, Format("%d-%02d-%02d", r.year, r.month, r.day)}, {17, Fixed4(r.speedKnots)}, {15, Fixed4(r.course)}};
}

Rows FromVtg(const VtgRecord& v) {
    return {{16, Fixed4(v.courseTrue)}, {18, Fixed4(v.speedKmh)}, {19, Fixed4(v.speedKmh * 0.2777777777777778)}};
}

RawList::Step RawList::Add(std::string_view sentence) {
    Step step;
    if (sentence.size() >= 6 && sentence.substr(3, 3) == "GGA") {
        if (m_on)
            for (int row = m_next; row < kRowCount; ++row) step.blank.push_back(row);
        m_next = kFirstRawRow;
        m_on = true;
    }
    if (m_on && m_next < kRowCount) step.row = m_next++;
    return step;
}

}  // namespace nmeainfo
