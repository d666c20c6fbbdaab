// The receiver's epochs: where one begins and ends, and the satellite tables and fix
// summary each epoch gives the windows, once.
#pragma once

#include <cstdint>
#include <string_view>

#include "monitor/link/ReceiverState.h"

// A sentence with a time of day: true when the time is new, so that the epoch before it
// must be closed (CloseEpoch) before the sentence is taken in.
bool StartsNewEpoch(const ReceiverState& state, double secondOfDay);

// A GSV (already in state.gsv) whose group was listed already in this epoch: a receiver
// that gives no time (yet, or any more) lists its sky once an epoch, so this begins the
// next one.
bool ListsSkyAgain(const ReceiverState& state);

// A sentence's name as the epochs tell sentences apart: "$GPGGA" of "$GPGGA,...", hashed.
uint64_t NameKey(std::string_view name);

// A sentence whose name came already in this epoch, and not right before it: the receiver
// sends its sentences again, so the next epoch begins with it. In an epoch that began
// with a time only a GSA or QSA tells this (GSVs go by their groups, ListsSkyAgain); in
// one without, any sentence but a GSV.
bool RepeatsInEpoch(const ReceiverState& state, uint64_t nameKey, SentenceId id);

// Ends the epoch and begins the next one, `timed` by a sentence at `secondOfDay` or, for
// a receiver without a time, by a repeat. Run after everything the closing epoch still
// had to post was posted; it learns how the receiver ends its epochs and its reports of
// the sky.
void BeginEpoch(ReceiverState& state, double secondOfDay, bool timed);

// A GSA or QSA: its satellites join the epoch's table of used satellites.
void ApplyGsa(ReceiverState& state, const GsaSentence& gsa);

// A GSV (already in state.gsv): its satellites join the epoch's report of the sky, each
// satellite once with its best C/N0. True when the report is complete and must be posted
// now (FinishCycle first): the group came to its end that ended the last report. The
// GSVs of an epoch whose report is out already are not taken.
bool ApplyGsv(ReceiverState& state);

// Before the tables are posted: satellites of a GN-talker GSA take the constellation of
// the GSV group in the same place; the report is out and the next GSA and GSV begin the
// next one.
void FinishCycle(ReceiverState& state);

// A GGA of the epoch: the first one with a fix (or the first of all) is its position.
void ApplyGga(ReceiverState& state);

// Every sentence that passed its checksum, by its name key (a parsed GSV's taken with its
// group and number): true when it is the one that ended the last epoch, so the epoch's
// summary can go now.
bool NoteSentence(ReceiverState& state, uint64_t nameKey, bool isGsv);

// A GGA that gives a position: fix quality 1 to 6 (7 is typed in, 8 a simulator's) and a
// time and coordinates within their ranges.
bool IsPositionFix(const GgaRecord& gga);

// The epoch's speed and course from its RMC, for a receiver that sends no VTG.
VtgRecord VelocityFromRmc(const RmcRecord& rmc);
