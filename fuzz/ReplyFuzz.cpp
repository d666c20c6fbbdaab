// The reply decoder on any NUL-terminated text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ResponseDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // Mostly well-formed heads, so the decoding tables get exercised.
    std::vector<char> sentence(size + 10, '\0');
    std::memcpy(sentence.data(), "$PZRC", 5);
    std::memcpy(sentence.data() + 5, data, size);
    std::string text;
    DecodeResponse(sentence.data(), text);
    return 0;
}
