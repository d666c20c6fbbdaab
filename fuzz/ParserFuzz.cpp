// Every parser on any text: the first byte picks the parser, the rest is the sentence.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "NmeaFields.h"
#include "ProprietaryParsers.h"
#include "StandardParsers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    static ReceiverState state;
    static constexpr SentenceId kProprietary[] = {
        sentence::kAlm, sentence::kEph, sentence::kDgp, sentence::kChn, sentence::kDbg,  sentence::kDb2,
        sentence::kWbg, sentence::kRtc, sentence::kPmc, sentence::kJam, sentence::kLox, sentence::kTsx1,
        sentence::kGptxt};
    const unsigned pick = data[0] % (9 + sizeof kProprietary / sizeof kProprietary[0]);
    GsaSentence gsa;
    FieldSlots fields;
    switch (pick) {
        case 0: SplitFields(text, fields); break;
        case 1: ParseGga(text, state.gga); break;
        case 2: ParseGll(text, state.gll); break;
        case 3: ParseGsa(text, gsa); break;
        case 4: ParseQsa(text, gsa); break;
        case 5: ParseGsv(text, state.gsv); break;
        case 6: ParseRmc(text, state.rmc); break;
        case 7: ParseVtg(text, state.vtg); break;
        case 8: (void)IsDecimal(text), (void)IsInteger(text); break;
        default: ProprietaryParserFor(kProprietary[pick - 9])(text, state.proprietary); break;
    }
    return 0;
}
