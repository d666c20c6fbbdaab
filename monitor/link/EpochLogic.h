// Merges the GSA and GSV sentences of one fix epoch into the two satellite tables.
#pragma once

#include "ReceiverState.h"

// A GSA or QSA: starts a new table of used satellites unless the previous sentence was
// one too.
void ApplyGsa(ReceiverState& state, const GsaSentence& gsa);

// A GSV (already in state.gsv): its satellites join the current report of the sky, which
// starts anew with the first group after any other standard sentence. True when the
// epoch's completed constellations have reached its GSA sentences that carry satellites:
// the tables are ready to post (FinishCycle first).
bool ApplyGsv(ReceiverState& state);

// A GGA or RMC at `secondOfDay`: true when it begins a new epoch while satellites of the
// last one have not been posted yet (a receiver whose GSV groups do not cover every
// constellation of its GSAs never completes a cycle otherwise).
bool StartsEpochWithCyclePending(ReceiverState& state, double secondOfDay);

// Before the tables are posted: satellites of a GN-talker GSA take the constellation of
// the GSV group in the same place, and nothing is pending any more.
void FinishCycle(ReceiverState& state);
