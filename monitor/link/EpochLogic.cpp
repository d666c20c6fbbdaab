#include "EpochLogic.h"

#include "StandardParsers.h"

void ApplyGsa(ReceiverState& state, const GsaSentence& gsa) {
    UsedSatelliteSet& used = state.used;
    if (state.lastDispatched != sentence::kGsa && state.lastDispatched != sentence::kQsa) used = {};
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
    state.epoch.cyclePending = true;
}

namespace {

// A receiver without a fix sends GSAs with no satellites (often one per constellation
// while its GSV shows only some): those wait for no GSV group.
int GsaSentencesWithSatellites(const UsedSatelliteSet& used) {
    int n = 0;
    for (int i = 0; i < used.gsaSentences; ++i) n += used.usedPerSentence[i] > 0;
    return n;
}

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

}  // namespace

bool ApplyGsv(ReceiverState& state) {
    const GsvRecord& gsv = state.gsv;
    SatelliteViewSet& view = state.view;
    // The first GSV after the report ended starts the next one, also when it is not
    // sentence 1 of its group (that one was lost on the line).
    if (state.epoch.reportEnded) {
        view = {};
        state.epoch.listed.reset();
        state.epoch.reportEnded = false;
    }
    if (gsv.sentenceNumber == gsv.totalSentences) {
        bool known = false;
        for (int i = 0; i < view.completedGroups; ++i) known |= view.groupSystem[i] == gsv.system;
        if (!known && view.completedGroups < kMaxGroups) view.groupSystem[view.completedGroups++] = gsv.system;
    }
    for (int k = 0; k < gsv.count; ++k) MergeSatellite(view, state.epoch.listed, gsv.satellites[k]);
    state.epoch.cyclePending = true;
    return view.completedGroups >= GsaSentencesWithSatellites(state.used);
}

bool StartsEpochWithCyclePending(ReceiverState& state, double secondOfDay) {
    if (secondOfDay == state.epoch.time) return false;
    const bool pending = state.epoch.time >= 0 && state.epoch.cyclePending;
    state.epoch.time = secondOfDay;
    return pending;
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
    state.epoch.cyclePending = false;
}
