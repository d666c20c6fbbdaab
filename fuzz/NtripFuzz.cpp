// The caster's side of the wire on any input: the RTCM 3 framer (every frame it gives
// must be whole and check), the reply head, the chunked decoder and the source table.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "monitor/link/NtripProtocol.h"
#include "monitor/link/Rtcm3Framer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    rtcm::Rtcm3Framer framer;
    framer.Feed({data, size}, [](std::span<const uint8_t> frame, int) {
        const std::size_t length = static_cast<std::size_t>(frame[1] & 0x03) << 8 | frame[2];
        if (frame.size() != length + 6 || rtcm::Crc24q(frame) != 0) std::abort();  // a frame's CRC over all of it is 0
    });
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ntrip::ReplyHead head;
    if (ntrip::ParseReplyHead(text, head) && head.headBytes > size) std::abort();
    ntrip::ChunkedDecoder chunks;
    std::string out;
    chunks.Feed(text, out);
    if (out.size() > size) std::abort();
    ntrip::ParseSourceTable(text);
    return 0;
}
