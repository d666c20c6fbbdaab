#include "EpochLogic.h"

#include "StandardParsers.h"

void ApplyGsa(ReceiverState& state, const GsaSentence& gsa) {
    UsedSatelliteSet& used = state.used;
    if (state.lastDispatched != sentence::kGsa && state.lastDispatched != sentence::kQsa) used = {};
    if (!gsa.isQsa) {
        if (used.gsaSentences >= kMaxGroups) return;  // no slot: the sentence is ignored
    }
    used.mode = gsa.mode;
    used.fixType = gsa.fixType;
    uint16_t appended = 0;
    for (int i = 0; i < gsa.count && used.count < kMaxSatellites; ++i) {
        used.prn[used.count] = gsa.prn[i];
        used.system[used.count] = gsa.system == gnss::kGps ? SystemOfGpsNumber(gsa.prn[i]) : gsa.system;
        ++used.count;
        ++appended;
    }
    if (!gsa.isQsa) used.usedPerSentence[used.gsaSentences++] = appended;
    used.pdop = gsa.pdop;
    used.hdop = gsa.hdop;
    used.vdop = gsa.vdop;
}

namespace {

// A GN talker's GSA sentences come in the order of the GSV groups: sentence i's
// satellites belong to the constellation of completed group i.
void ResolveUnresolvedSystems(UsedSatelliteSet& used, const SatelliteViewSet& view) {
    int at = 0;
    for (int i = 0; i < used.gsaSentences; ++i) {
        const int end = at + used.usedPerSentence[i];
        for (int k = at; k < end && k < used.count; ++k)
            if (used.system[k] == gnss::kUnresolved && i < view.completedGroups)
                used.system[k] = view.groupSystem[i];
        at = end;
    }
}

}  // namespace

bool ApplyGsv(ReceiverState& state) {
    const GsvRecord& gsv = state.gsv;
    SatelliteViewSet& view = state.view;
    if (gsv.sentenceNumber == 1 && state.lastDispatched != sentence::kGsv &&
        state.lastDispatched != sentence::kUnknown)
        view = {};
    if (gsv.sentenceNumber == gsv.totalSentences && view.completedGroups < kMaxGroups)
        view.groupSystem[view.completedGroups++] = gsv.system;
    if (gsv.count > 0) {
        if (gsv.highestSnr > view.highestSnr) view.highestSnr = gsv.highestSnr;
        if (gsv.lowestSnr > 0 && (view.lowestSnr == 0 || gsv.lowestSnr < view.lowestSnr))
            view.lowestSnr = gsv.lowestSnr;
        for (int k = 0; k < gsv.count && view.count < kMaxSatellites; ++k) {
            view.satellites[view.count++] = gsv.satellites[k];
            if (gsv.satellites[k].snr > 0) ++view.trackedCount;
        }
    }
    if (view.completedGroups < state.used.gsaSentences) return false;
    ResolveUnresolvedSystems(state.used, view);
    return true;
}
