// Merges the GSA and GSV sentences of one fix epoch into the two satellite tables.
#pragma once

#include "ReceiverState.h"

// A GSA or QSA: starts a new epoch table unless the previous sentence was one too.
void ApplyGsa(ReceiverState& state, const GsaSentence& gsa);

// A GSV (already in state.gsv): starts a new view table at the first sentence of a
// group that follows anything but a GSV or an unknown sentence. True when the epoch's
// completed GSV groups have reached its GSA count: the cycle is complete, GN satellites
// have taken their group's system, and both tables are ready to post.
bool ApplyGsv(ReceiverState& state);
