#include "monitor/link/EpochLogic.h"

#include <cmath>

#include "monitor/link/StandardParsers.h"

bool StartsNewEpoch(const ReceiverState& state, double secondOfDay) { return secondOfDay != state.epoch.time; }

namespace {

// A GSV group: its constellation and signal.
int GroupKey(const GsvRecord& gsv) { return (gsv.system & 7) * 16 + (gsv.signalId & 15); }

// FNV-1a.
constexpr uint64_t kFnvBasis = 14695981039346656037ull;
uint64_t Mix(uint64_t h, unsigned v) { return (h ^ v) * 1099511628211ull; }

}  // namespace

bool ListsSkyAgain(const ReceiverState& state) {
    return state.gsv.sentenceNumber == 1 && state.epoch.groups.test(static_cast<std::size_t>(GroupKey(state.gsv)));
}

uint64_t NameKey(std::string_view name) {
    uint64_t h = kFnvBasis;
    for (char c : name) h = Mix(h, static_cast<unsigned char>(c));
    return h;
}

bool RepeatsInEpoch(const ReceiverState& state, uint64_t nameKey, SentenceId id) {
    const EpochTracking& e = state.epoch;
    const bool satellites = id == sentence::kGsa || id == sentence::kQsa;
    if (id == sentence::kGsv || (e.timed && !satellites) || nameKey == e.lastPlainName) return false;
    if (satellites && (state.lastDispatched == sentence::kGsa || state.lastDispatched == sentence::kQsa)) return false;
    for (int i = 0; i < e.nameCount; ++i)
        if (e.names[i] == nameKey) return true;
    return false;
}

void BeginEpoch(ReceiverState& state, double secondOfDay, bool timed) {
    EpochTracking& e = state.epoch;
    e.timed = timed;
    e.nameCount = 0;
    if (e.lastGroup >= 0) e.closingGroup = e.lastGroup;
    if (e.sentences > 0) {
        e.closingName = e.lastName;
        e.closingRun = e.lastRun;
    }
    e.time = secondOfDay;
    e.sentences = 0;
    e.skyPosted = false;
    e.usedStale = e.viewStale = true;
    e.lastGroup = -1;
    e.groups.reset();
    e.summary = {};
    e.summaryPosted = e.hasRmc = e.hasVtg = false;
    e.lastName = 0;
    e.lastRun = 0;
}

void ApplyGsa(ReceiverState& state, const GsaSentence& gsa) {
    UsedSatelliteSet& used = state.used;
    // A new table with the epoch's first GSA (a second run of GSAs begins an epoch).
    if (state.epoch.usedStale) used = {};
    state.epoch.usedStale = false;
    if (!gsa.isQsa && used.gsaSentences >= kMaxGroups) return;  // no slot: the sentence is ignored
    used.mode = gsa.mode;
    used.fixType = gsa.fixType;
    const int16_t first = used.count;
    for (int i = 0; i < gsa.count && used.count < kMaxSatellites; ++i) {
        used.prn[used.count] = gsa.prn[i];
        used.system[used.count] =
            gsa.system == gnss::kGps && !gsa.isQsa ? SystemOfGpsNumber(gsa.prn[i]) : gsa.system;
        ++used.count;
    }
    if (!gsa.isQsa) {
        used.firstOfSentence[used.gsaSentences] = static_cast<uint16_t>(first);
        used.usedPerSentence[used.gsaSentences++] = static_cast<uint16_t>(used.count - first);
    }
    used.pdop = gsa.pdop;
    used.hdop = gsa.hdop;
    used.vdop = gsa.vdop;
    state.epoch.skyPending = true;
    EpochSummary& summary = state.epoch.summary;
    summary.hasReport = true;
    summary.fixType = used.fixType;
    summary.pdop = used.pdop;
    summary.hdop = used.hdop;
    summary.vdop = used.vdop;
}

namespace {

void CountSignals(SatelliteViewSet& view) {
    view.highestSnr = view.lowestSnr = view.trackedCount = 0;
    for (int i = 0; i < view.count; ++i) {
        const int16_t snr = view.satellites[i].snr;
        if (snr <= 0) continue;
        ++view.trackedCount;
        if (snr > view.highestSnr) view.highestSnr = snr;
        if (view.lowestSnr == 0 || snr < view.lowestSnr) view.lowestSnr = snr;
    }
}

// The counts as CountSignals would find them, kept up to date as one entry's C/N0 rises
// from `before` (0 for a new entry) to `after`: only when the lowest rises must the
// table be counted again.
void CountSignal(SatelliteViewSet& view, int16_t before, int16_t after) {
    if (after <= 0) return;
    if (before > 0 && before == view.lowestSnr) return CountSignals(view);
    if (before <= 0) ++view.trackedCount;
    if (after > view.highestSnr) view.highestSnr = after;
    if (view.lowestSnr == 0 || after < view.lowestSnr) view.lowestSnr = after;
}

// The satellite's bit in EpochTracking::listed, or -1 outside the bits' range.
int ListedBit(const SatelliteEntry& s) {
    return s.system >= 0 && s.system < 8 && s.prn < 256 ? s.system * 256 + s.prn : -1;
}

SatelliteEntry* FindSatellite(SatelliteViewSet& view, const SatelliteEntry& s) {
    for (int i = 0; i < view.count; ++i) {
        SatelliteEntry& known = view.satellites[i];
        if (known.prn == s.prn && known.system == s.system) return &known;
    }
    return nullptr;
}

// A satellite already in the table (another signal of it) keeps its highest C/N0.
void MergeSatellite(SatelliteViewSet& view, std::bitset<8 * 256>& listed, const SatelliteEntry& s) {
    const int bit = ListedBit(s);
    const bool maybeListed = bit < 0 || listed.test(static_cast<std::size_t>(bit));
    if (SatelliteEntry* known = maybeListed ? FindSatellite(view, s) : nullptr) {
        if (s.snr > known->snr) {
            const int16_t before = known->snr;
            known->snr = s.snr;
            CountSignal(view, before, s.snr);
        }
        return;
    }
    if (view.count >= kMaxSatellites) return;
    view.satellites[view.count++] = s;
    if (bit >= 0) listed.set(static_cast<std::size_t>(bit));
    CountSignal(view, 0, s.snr);
}

// The groups of one report are distinct (a group listed again begins the next report):
// no search, the table builder merges what a receiver repeats anyway.
void AddSignal(SkySignals& signals, const SatelliteEntry& s, int16_t signalId) {
    if (signals.count >= kMaxSignals) return;
    signals.entries[signals.count++] = {s.system, s.prn, signalId, s.elevation, s.azimuth, s.snr};
}

}  // namespace

bool ApplyGsv(ReceiverState& state) {
    const GsvRecord& gsv = state.gsv;
    EpochTracking& e = state.epoch;
    SatelliteViewSet& view = state.view;
    const int key = GroupKey(gsv);
    const bool groupEnds = gsv.sentenceNumber == gsv.totalSentences;
    e.groups.set(static_cast<std::size_t>(key));
    if (groupEnds) e.lastGroup = key;
    if (e.skyPosted) return false;
    if (e.viewStale) {
        view = {};
        state.skySignals.count = 0;
        e.listed.reset();
        e.viewStale = false;
    }
    if (groupEnds) {
        bool known = false;
        for (int i = 0; i < view.completedGroups; ++i) known |= view.groupSystem[i] == gsv.system;
        if (!known && view.completedGroups < kMaxGroups) view.groupSystem[view.completedGroups++] = gsv.system;
    }
    for (int k = 0; k < gsv.count; ++k) {
        MergeSatellite(view, e.listed, gsv.satellites[k]);
        AddSignal(state.skySignals, gsv.satellites[k], gsv.signalId);
    }
    e.skyPending = true;
    return groupEnds && key == e.closingGroup;
}

// A GN talker's GSA sentences come in the order of the constellations' GSV groups:
// sentence i's satellites belong to the constellation of completed group i. Without a
// group (the receiver sent no GSV yet) NMEA 0183's numbering for GN talkers still
// tells GPS 1-32, SBAS 33-64 and GLONASS 65-96.
void FinishCycle(ReceiverState& state) {
    UsedSatelliteSet& used = state.used;
    const SatelliteViewSet& view = state.view;
    for (int i = 0; i < used.gsaSentences; ++i) {
        const int end = used.firstOfSentence[i] + used.usedPerSentence[i];
        for (int k = used.firstOfSentence[i]; k < end && k < used.count; ++k) {
            if (used.system[k] != gnss::kUnresolved) continue;
            const int prn = used.prn[k];
            if (i < view.completedGroups) used.system[k] = view.groupSystem[i];
            else if (prn >= 65 && prn <= 96) used.system[k] = gnss::kGlonass;
            else if (prn >= 1 && prn <= 64) used.system[k] = SystemOfGpsNumber(prn);
        }
    }
    EpochTracking& e = state.epoch;
    e.skyPending = false;
    e.skyPosted = e.usedStale = e.viewStale = true;
}

void ApplyGga(ReceiverState& state) {
    EpochSummary& summary = state.epoch.summary;
    if (summary.hasGga && (IsPositionFix(summary.gga) || !IsPositionFix(state.gga))) return;
    summary.hasGga = true;
    summary.gga = state.gga;
}

bool NoteSentence(ReceiverState& state, uint64_t nameKey, bool isGsv) {
    EpochTracking& e = state.epoch;
    if (!isGsv && nameKey != e.lastPlainName && e.nameCount < kEpochNames) e.names[e.nameCount++] = nameKey;
    e.lastPlainName = nameKey;
    uint64_t h = nameKey;
    if (isGsv) {
        h = Mix(h, static_cast<unsigned>(GroupKey(state.gsv)) + 256);
        h = Mix(h, static_cast<unsigned>(state.gsv.sentenceNumber) + 512);
        h = Mix(h, static_cast<unsigned>(state.gsv.totalSentences) + 768);
    }
    ++e.sentences;
    if (h == e.lastName) {
        ++e.lastRun;
    } else {
        e.lastName = h;
        e.lastRun = 1;
    }
    return !e.summaryPosted && h == e.closingName && e.lastRun == e.closingRun;
}

bool IsPositionFix(const GgaRecord& g) {
    return g.fixQuality >= 1 && g.fixQuality <= 6 && g.hour >= 0 && g.hour < 24 && g.minute >= 0 && g.minute < 60 &&
           g.second >= 0 && g.second < 61 && std::fabs(g.latitude) <= 90 && std::fabs(g.longitude) <= 180;
}

VtgRecord VelocityFromRmc(const RmcRecord& rmc) {
    VtgRecord v{};
    v.courseTrue = rmc.course;
    v.speedKnots = rmc.speedKnots;
    v.speedKmh = rmc.speedKnots * 1.852f;
    v.mode = rmc.mode;
    return v;
}
