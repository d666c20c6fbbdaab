// What the link knows of each standard sentence, one row each: its type, the talkers it
// reads it from and the constellation each stands for, the field that carries the time
// of day, and its parser. The framer classifies by it, the parsers take their systems
// from it, the epoch logic and the replay's index read times by it.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "monitor/link/ReceiverState.h"

struct TalkerSystem {
    char talker[3];     // "GP"
    GnssSystem system;  // gnss::kUnresolved for "GN", whose sentences say it elsewhere
};

inline constexpr int kNoTimeField = -1;

struct StandardSentenceRow {
    // sentence::kUnknown for a type read only for the time it carries (GNS, ZDA).
    SentenceId id;
    std::string_view type;  // "GGA"
    std::span<const TalkerSystem> talkers;
    int timeField;  // hhmmss[.sss], counted from the first field after the address
    // Parses the whole sentence into the state's record of it; null for a time-only type.
    bool (*parse)(std::string_view sentence, ReceiverState& state);
};

// The rows with an id come first, in the order of their ids.
std::span<const StandardSentenceRow> StandardSentenceRows();
inline constexpr std::size_t kStandardSentenceCount = 7;  // the rows with an id

// The row of a standard sentence id, or null.
const StandardSentenceRow* StandardRowOf(SentenceId id);
// The id of "$GPGGA,"-like names (a talker of the row and its type, on six characters),
// or sentence::kUnknown.
SentenceId ClassifyStandard(std::string_view header);
// The constellation of a talker's sentences of the row's type; nullopt when the row does
// not read that talker.
std::optional<GnssSystem> TalkerSystemOf(SentenceId id, std::string_view talker);
// The field of a sentence type ("GGA") that carries the time of day, whatever its
// talker; kNoTimeField when it carries none.
int TimeFieldOf(std::string_view type);
