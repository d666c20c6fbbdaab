#include "sim/ReceiverOutput.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "sim/NmeaFormat.h"

namespace sim {
namespace {

constexpr double kKnotsPerMps = 1.0 / 0.514444;
constexpr int kMaxGsaSlots = 12;
constexpr double kUsedMinElevationDeg = 10.0;
constexpr int kUsedMinCn0 = 30;

struct SvEntry {
    int number;  // as the sentence carries it
    int elevation, azimuth, cn0;
    bool used;
};

std::string Format(const char* fmt, auto... args) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

}  // namespace

struct ReceiverOutput::Group {
    std::string gsaTalker, gsvTalker;
    int systemId;  // NMEA 4.10 GSA system id
    std::vector<SvEntry> sats;
};

ReceiverOutput::ReceiverOutput(const ReceiverOptions& options)
    : m_options(options),
      m_motion(options.latDeg, options.lonDeg, options.altitudeM, options.motion) {
    m_options.epochsPerSecond = std::clamp(m_options.epochsPerSecond, 1, 10);
}

// GPS carries SBAS (33-64) and, unless QZSS has a talker of its own, QZSS (193-) in its
// group, as NMEA 0183 numbers them. A constellation the receiver does not track has no
// group at all; the GPS group stays while anything it carries is tracked.
std::vector<ReceiverOutput::Group> ReceiverOutput::Groups(const std::vector<SatelliteView>& visible,
                                                          const EpochConditions& c) const {
    const std::string bd = m_options.gbTalker ? "GB" : "BD";
    auto gsa = [&](const char* own) { return m_options.gnGsa ? std::string("GN") : std::string(own); };
    std::vector<Group> groups = {{gsa("GP"), "GP", 1, {}},
                                 {gsa("GL"), "GL", 2, {}},
                                 {m_options.gnGsa ? "GN" : bd, bd, 4, {}},
                                 {gsa("GA"), "GA", 3, {}}};
    if (m_options.qzTalker) groups.push_back({"", "QZ", 5, {}});

    for (const SatelliteView& s : visible) {
        if (!c.Tracks(s.system)) continue;
        int g = 0, number = s.prn;
        switch (s.system) {
            case Constellation::Gps: break;
            case Constellation::Sbas: number = s.prn - 87; break;
            case Constellation::Qzss:
                if (m_options.qzTalker) g = 4; else number = 192 + s.prn;
                break;
            case Constellation::Glonass: g = 1; number = 64 + s.prn; break;
            case Constellation::BeiDou: g = 2; break;
            case Constellation::Galileo: g = 3; break;
        }
        const bool used = s.system != Constellation::Sbas && s.elevationDeg >= kUsedMinElevationDeg &&
                          s.cn0 >= kUsedMinCn0;
        groups[g].sats.push_back({number, static_cast<int>(std::lround(s.elevationDeg)),
                                  static_cast<int>(s.azimuthDeg) % 360, s.cn0, used});
    }
    const bool gpsGroup = c.Tracks(Constellation::Gps) || c.Tracks(Constellation::Sbas) ||
                          (!m_options.qzTalker && c.Tracks(Constellation::Qzss));
    const bool keep[5] = {gpsGroup, c.Tracks(Constellation::Glonass), c.Tracks(Constellation::BeiDou),
                          c.Tracks(Constellation::Galileo), c.Tracks(Constellation::Qzss)};
    std::vector<Group> kept;
    for (std::size_t g = 0; g < groups.size(); ++g)
        if (keep[g]) kept.push_back(std::move(groups[g]));
    return kept;
}

// While acquiring after a restart the receiver knows the time and sees satellites but
// has no position: positions, altitude and speed are left empty, as receivers send them
// ("$GNGGA,143015.00,,,,,0,00,99.9,,M,,M,,*hh").
std::string ReceiverOutput::AcquiringEpoch(const std::string& time, const std::string& date,
                                           const std::vector<Group>& groups, bool systemId) const {
    std::string out;
    out += NmeaSentence(Format("GNGGA,%s,,,,,0,00,99.9,,M,,M,,", time.c_str()));
    out += NmeaSentence(Format("GNGLL,,,,,%s,V,N", time.c_str()));
    for (const auto& g : groups) {
        if (g.gsaTalker.empty()) continue;
        std::string body = g.gsaTalker + "GSA,A,1" + std::string(kMaxGsaSlots, ',') + ",99.9,99.9,99.9";
        if (systemId) body += Format(",%d", g.systemId);
        out += NmeaSentence(body);
    }
    out += GsvGroups(groups);
    out += NmeaSentence(Format("GNRMC,%s,V,,,,,,,%s,,,N", time.c_str(), date.c_str()));
    out += NmeaSentence("GNVTG,,T,,M,,N,,K,N");
    return out;
}

std::string ReceiverOutput::GsvGroups(const std::vector<Group>& groups) const {
    std::string out;
    for (const auto& g : groups) {
        const int inView = static_cast<int>(std::min<std::size_t>(g.sats.size(), 32));
        const int total = std::max(1, (inView + 3) / 4);
        for (int n = 1; n <= total; ++n) {
            std::string body = g.gsvTalker + Format("GSV,%d,%d,%02d", total, n, inView);
            for (int k = (n - 1) * 4; k < std::min(inView, n * 4); ++k) {
                const SvEntry& s = g.sats[k];
                body += Format(",%02d,%02d,%03d,%02d", s.number, s.elevation, s.azimuth, s.cn0);
            }
            out += NmeaSentence(body);
        }
    }
    return out;
}

std::string ReceiverOutput::Epoch(int64_t index, const EpochConditions& conditions) const {
    const double t = SecondsOfEpoch(index);
    const double unix = static_cast<double>(m_options.startUnixSeconds) + t;
    const double secondsOfDay = std::fmod(unix, 86400.0);
    const auto days = static_cast<int64_t>(std::floor(unix / 86400.0));
    const Fix fix = m_motion.At(t);
    const auto groups = Groups(m_sky.Visible(fix.latDeg, fix.lonDeg, unix), conditions);
    const bool systemId = m_options.gsaSystemId || conditions.nmea41;
    const std::string time = FormatUtcTime(secondsOfDay);
    const std::string date = FormatDate(days);
    if (conditions.stage == FixStage::Acquiring) return AcquiringEpoch(time, date, groups, systemId);

    int used = 0;
    for (const auto& g : groups)
        if (!g.gsaTalker.empty())
            used += static_cast<int>(std::min<std::ptrdiff_t>(
                kMaxGsaSlots, std::count_if(g.sats.begin(), g.sats.end(),
                                            [](const SvEntry& e) { return e.used; })));
    const bool fixed = used >= 4;
    // The last moments before the first 3D fix give a 2D one, as a receiver's first
    // solutions do before the vertical converges.
    const int fixType = !fixed ? 1 : conditions.stage == FixStage::TwoD ? 2 : 3;
    const double hdop = fixed ? std::clamp(4.2 / std::sqrt(used), 0.5, 99.0) : 99.0;
    const double pdop = fixed ? hdop * 1.7 : 99.0;
    const double vdop = fixed ? std::sqrt(pdop * pdop - hdop * hdop) : 99.0;

    const std::string lat = FormatCoordinate(fix.latDeg, false);
    const std::string lon = FormatCoordinate(fix.lonDeg, true);
    const char* talker = "GN";
    const double knots = fix.speedMps * kKnotsPerMps;

    std::string out;
    out += NmeaSentence(Format("%sGGA,%s,%s,%s,%d,%02d,%.1f,%.1f,M,39.4,M,,", talker, time.c_str(),
                               lat.c_str(), lon.c_str(), !fixed ? 0 : conditions.rtkQuality ? conditions.rtkQuality : 1,
                               std::min(used, 99), hdop,
                               fix.altitudeM));
    out += NmeaSentence(Format("%sGLL,%s,%s,%s,%c,%c", talker, lat.c_str(), lon.c_str(),
                               time.c_str(), fixed ? 'A' : 'V', fixed ? 'A' : 'N'));
    for (const auto& g : groups) {
        if (g.gsaTalker.empty()) continue;
        std::string body = g.gsaTalker + Format("GSA,A,%d", fixType);
        int slots = 0;
        for (const auto& s : g.sats)
            if (s.used && slots < kMaxGsaSlots) {
                body += Format(",%02d", s.number);
                ++slots;
            }
        for (; slots < kMaxGsaSlots; ++slots) body += ',';
        body += Format(",%.1f,%.1f,%.1f", pdop, hdop, vdop);
        if (systemId) body += Format(",%d", g.systemId);
        out += NmeaSentence(body);
    }
    out += GsvGroups(groups);
    out += NmeaSentence(Format("%sRMC,%s,%c,%s,%s,%.3f,%.2f,%s,,,%c", talker, time.c_str(),
                               fixed ? 'A' : 'V', lat.c_str(), lon.c_str(), knots, fix.courseDeg,
                               date.c_str(), fixed ? 'A' : 'N'));
    out += NmeaSentence(Format("%sVTG,%.2f,T,,M,%.3f,N,%.3f,K,%c", talker, fix.courseDeg, knots,
                               fix.speedMps * 3.6, fixed ? 'A' : 'N'));
    return out;
}

}  // namespace sim
