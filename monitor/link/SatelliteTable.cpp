#include "monitor/link/SatelliteTable.h"

#include <algorithm>
#include <iterator>
#include <tuple>

namespace {

struct SignalNames {
    GnssSystem system;
    std::string_view names[16];  // by signal id, 0 unnamed
};

// NMEA 0183 4.11, the GSV signal ids by constellation.
constexpr SignalNames kSignals[] = {
    {gnss::kGps, {"", "L1 C/A", "L1 P(Y)", "L1 M", "L2 P(Y)", "L2C-M", "L2C-L", "L5-I", "L5-Q"}},
    {gnss::kGlonass, {"", "G1 C/A", "G1 P", "G2 C/A", "G2 P"}},
    {gnss::kGalileo, {"", "E5a", "E5b", "E5 a+b", "E6-A", "E6-BC", "E1-A", "E1-BC"}},
    {gnss::kBeiDou,
     {"", "B1I", "B1Q", "B1C", "B1A", "B2a", "B2b", "B2 a+b", "B3I", "B3Q", "B3A", "B2I", "B2Q"}},
    {gnss::kQzss, {"", "L1 C/A", "L1C (D)", "L1C (P)", "LIS", "L2C-M", "L2C-L", "L5-I", "L5-Q", "L6D", "L6E"}},
};

constexpr struct {
    GnssSystem system;
    std::string_view name;
} kSystems[] = {{gnss::kGps, "GPS"},         {gnss::kQzss, "QZSS"},     {gnss::kGalileo, "Galileo"},
                {gnss::kGlonass, "GLONASS"}, {gnss::kBeiDou, "BeiDou"}, {gnss::kSbas, "SBAS"}};

bool IsUsed(const UsedSatelliteSet& used, GnssSystem system, uint16_t prn) {
    for (int i = 0; i < used.count && i < kMaxSatellites; ++i)
        if (used.prn[i] == prn && used.system[i] == system) return true;
    return false;
}

bool SameSignal(const SatelliteRow& a, const SatelliteRow& b) {
    return a.system == b.system && a.prn == b.prn && a.signalId == b.signalId;
}

// The windows' order of the constellations: GPS, QZSS, Galileo, GLONASS, BeiDou, SBAS.
auto OrderKey(const SatelliteRow& r) { return std::tuple(static_cast<unsigned>(r.system), r.prn, r.signalId); }

}  // namespace

SatelliteTable BuildSatelliteTable(const ReceiverState& state) {
    SatelliteTable table;
    const SkySignals& sky = state.skySignals;
    table.rows.reserve(static_cast<std::size_t>(sky.count));
    for (int i = 0; i < sky.count; ++i) {
        const SignalEntry& s = sky.entries[i];
        SatelliteRow row{s.system, s.prn, s.signalId, s.elevation, s.azimuth, s.snr, false};
        // A group listed twice in one report (the same talker again) keeps one row.
        const auto known = std::find_if(table.rows.begin(), table.rows.end(),
                                        [&](const SatelliteRow& r) { return SameSignal(r, row); });
        if (known == table.rows.end()) table.rows.push_back(row);
        else known->snr = std::max(known->snr, row.snr);
    }
    // A group without a signal id beside groups with one (a receiver listing what it
    // sees but does not track on any signal it names) adds no row to a named signal's.
    std::erase_if(table.rows, [&](const SatelliteRow& row) {
        return row.signalId == 0 && std::any_of(table.rows.begin(), table.rows.end(), [&](const SatelliteRow& r) {
                   return r.signalId != 0 && r.system == row.system && r.prn == row.prn;
               });
    });
    for (SatelliteRow& row : table.rows) row.used = IsUsed(state.used, row.system, row.prn);
    // Used in the fix but not in the report (a receiver's GSV out of step with its GSA).
    const UsedSatelliteSet& used = state.used;
    for (int i = 0; i < used.count && i < kMaxSatellites; ++i) {
        const auto prn = static_cast<uint16_t>(used.prn[i]);
        const bool listed = std::any_of(table.rows.begin(), table.rows.end(), [&](const SatelliteRow& r) {
            return r.prn == prn && r.system == used.system[i];
        });
        if (!listed && prn != 0) table.rows.push_back({used.system[i], prn, 0, kNotInView, kNotInView, 0, true});
    }
    std::stable_sort(table.rows.begin(), table.rows.end(),
                     [](const SatelliteRow& a, const SatelliteRow& b) { return OrderKey(a) < OrderKey(b); });
    return table;
}

std::string_view SignalName(GnssSystem system, int signalId) {
    if (signalId <= 0 || signalId >= 16) return {};
    for (const SignalNames& s : kSignals)
        if (s.system == system) return s.names[signalId];
    return {};
}

std::string_view SystemName(GnssSystem system) {
    for (const auto& s : kSystems)
        if (s.system == system) return s.name;
    return "?";
}
