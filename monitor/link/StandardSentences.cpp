#include "monitor/link/StandardSentences.h"

#include <cstring>
#include <iterator>

#include "monitor/link/EpochLogic.h"
#include "monitor/link/StandardParsers.h"

namespace {

using namespace gnss;

constexpr TalkerSystem kFixTalkers[] = {
    {"GP", kGps}, {"GN", kUnresolved}, {"BD", kBeiDou}, {"GL", kGlonass}, {"GB", kBeiDou}};
constexpr TalkerSystem kGsaTalkers[] = {{"GP", kGps},     {"GN", kUnresolved}, {"BD", kBeiDou},
                                        {"GL", kGlonass}, {"GA", kGalileo},    {"GB", kBeiDou}};
constexpr TalkerSystem kGsvTalkers[] = {{"GP", kGps}, {"QZ", kQzss},   {"GL", kGlonass},
                                        {"GA", kGalileo}, {"BD", kBeiDou}, {"GB", kBeiDou}};
// A BeiDou talker's QSA is taken as a sentence but carries nothing the link reads.
constexpr TalkerSystem kQsaTalkers[] = {{"GP", kGps}, {"QZ", kQzss}, {"GB", kUnresolved}};

bool ParseGgaInto(std::string_view s, ReceiverState& state) { return ParseGga(s, state.gga); }
bool ParseGllInto(std::string_view s, ReceiverState& state) { return ParseGll(s, state.gll); }
bool ParseGsvInto(std::string_view s, ReceiverState& state) { return ParseGsv(s, state.gsv); }
bool ParseRmcInto(std::string_view s, ReceiverState& state) { return ParseRmc(s, state.rmc); }
bool ParseVtgInto(std::string_view s, ReceiverState& state) { return ParseVtg(s, state.vtg); }

// A GSA or QSA sentence has no record of its own: it goes into the epoch's tables.
template <bool (*Parse)(std::string_view, GsaSentence&)>
bool ParseIntoTables(std::string_view s, ReceiverState& state) {
    GsaSentence gsa;
    if (!Parse(s, gsa)) return false;
    ApplyGsa(state, gsa);
    return true;
}

constexpr StandardSentenceRow kRows[] = {
    {sentence::kGga, "GGA", kFixTalkers, 0, ParseGgaInto},
    {sentence::kGll, "GLL", kFixTalkers, 4, ParseGllInto},
    {sentence::kGsa, "GSA", kGsaTalkers, kNoTimeField, ParseIntoTables<ParseGsa>},
    {sentence::kGsv, "GSV", kGsvTalkers, kNoTimeField, ParseGsvInto},
    {sentence::kRmc, "RMC", kFixTalkers, 0, ParseRmcInto},
    {sentence::kVtg, "VTG", kFixTalkers, kNoTimeField, ParseVtgInto},
    {sentence::kQsa, "QSA", kQsaTalkers, kNoTimeField, ParseIntoTables<ParseQsa>},
    {sentence::kUnknown, "GNS", {}, 0, nullptr},
    {sentence::kUnknown, "ZDA", {}, 0, nullptr},
};

static_assert([] {
    for (std::size_t i = 0; i < kStandardSentenceCount; ++i)
        if (kRows[i].id != static_cast<SentenceId>(i)) return false;
    return kRows[kStandardSentenceCount].id == sentence::kUnknown;
}());

}  // namespace

std::span<const StandardSentenceRow> StandardSentenceRows() { return kRows; }

const StandardSentenceRow* StandardRowOf(SentenceId id) {
    return id >= 0 && static_cast<std::size_t>(id) < kStandardSentenceCount ? &kRows[id] : nullptr;
}

SentenceId ClassifyStandard(std::string_view h) {
    if (h.size() < 6 || h[0] != '$') return sentence::kUnknown;
    // Fixed-length compares, which the compiler turns into a load or two.
    for (std::size_t i = 0; i < kStandardSentenceCount; ++i) {
        const StandardSentenceRow& row = kRows[i];
        if (std::memcmp(h.data() + 3, row.type.data(), 3) != 0) continue;
        for (const TalkerSystem& t : row.talkers)
            if (std::memcmp(h.data() + 1, t.talker, 2) == 0) return row.id;
    }
    return sentence::kUnknown;
}

std::optional<GnssSystem> TalkerSystemOf(SentenceId id, std::string_view talker) {
    const StandardSentenceRow* row = StandardRowOf(id);
    if (!row || talker.size() != 2) return std::nullopt;
    for (const TalkerSystem& t : row->talkers)
        if (talker[0] == t.talker[0] && talker[1] == t.talker[1]) return t.system;
    return std::nullopt;
}

int TimeFieldOf(std::string_view type) {
    for (const StandardSentenceRow& row : kRows)
        if (row.type == type) return row.timeField;
    return kNoTimeField;
}
