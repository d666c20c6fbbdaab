// The reply decoders of the three families on any input: the ZR one on NUL-terminated
// text, the MTK one on any text, the UBX one on any frame.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "monitor/control/AckDecoder.h"
#include "monitor/control/ResponseDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // Mostly well-formed heads, so the decoding tables get exercised.
    std::vector<char> sentence(size + 10, '\0');
    std::memcpy(sentence.data(), "$PZRC", 5);
    std::memcpy(sentence.data() + 5, data, size);
    std::string text;
    DecodeResponse(sentence.data(), text);

    DecodeMtkAck("$PMTK001," + std::string(reinterpret_cast<const char*>(data), size), text);

    std::vector<uint8_t> frame = {0xB5, 0x62, 0x05};
    frame.insert(frame.end(), data, data + size);
    DecodeUbxAck(frame, text);
    return 0;
}
