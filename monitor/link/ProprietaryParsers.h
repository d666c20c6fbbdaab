// Parsers of the module's proprietary sentences. Each is given the text after the
// name's comma (up to and including the checksum) and fills its record.
#pragma once

#include <span>
#include <string_view>

#include "monitor/link/ReceiverState.h"

using ProprietaryParser = bool (*)(std::string_view fields, ProprietaryRecords& records);

// One row per proprietary name the link knows; `parse` is null for names it only
// recognises.
struct ProprietaryParserRow {
    SentenceId id;
    std::string_view name;  // compared on its own length
    ProprietaryParser parse;
};
std::span<const ProprietaryParserRow> ProprietaryParserRows();

// The id of a proprietary name ("$PTVXALM,"), of "#SFCH", "$GPTXT" and "$PMTK001,", or
// sentence::kUnknown.
SentenceId ClassifyProprietary(std::string_view header);

// The parser for a proprietary sentence id, or null when the id has none.
ProprietaryParser ProprietaryParserFor(SentenceId id);

// A $PTVXWBG part that is not the last of its table ends no epoch step: the dispatcher
// records it as an unknown sentence.
bool IsIncompleteWbg(const WbgRecord& wbg);
