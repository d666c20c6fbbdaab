// Any bytes through the framer and the dispatch: parsers, epoch logic, reply decoder.
#include <cstddef>
#include <cstdint>

#include "NmeaThread.h"
#include "ResponseDecoder.h"

namespace {
class NullSink : public ILinkSink {
public:
    void Post(const LinkMessage&) override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static NullSink sink;
    CNmeaThread link("fuzz", 0, &sink, nullptr, DecodeResponse);
    for (std::size_t i = 0; i < size; ++i) {
        link.FeedRxByte(data[i]);
        // Now and then the link thread falls behind and the queue overflows.
        if (link.Stream().Pending() > 200 && (data[i] & 1)) link.ProcessPending();
    }
    link.ProcessPending();
    return 0;
}
