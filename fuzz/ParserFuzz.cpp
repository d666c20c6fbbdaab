// Every parser on any text: the first byte picks a row of the standard and proprietary
// tables (or the field splitter), the rest is the sentence.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "monitor/link/NmeaFields.h"
#include "monitor/link/ProprietaryParsers.h"
#include "monitor/link/StandardSentences.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    static ReceiverState state;
    const auto standard = StandardSentenceRows().first(kStandardSentenceCount);
    const auto proprietary = ProprietaryParserRows();
    const std::size_t pick = data[0] % (2 + standard.size() + proprietary.size());
    if (pick == 0) {
        FieldSlots fields;
        SplitFields(text, fields);
        (void)IsDecimal(text), (void)IsInteger(text);
    } else if (pick == 1) {
        (void)SentenceTime(text);
    } else if (pick - 2 < standard.size()) {
        standard[pick - 2].parse(text, state);
    } else if (const ProprietaryParser parse = proprietary[pick - 2 - standard.size()].parse) {
        parse(text, state.proprietary);
    }
    return 0;
}
