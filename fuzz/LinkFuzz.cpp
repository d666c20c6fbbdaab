// Any bytes through the framer and the dispatch: parsers, epoch logic, reply decoders;
// and through the rate hunt's sentence check.
#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "monitor/control/AckDecoder.h"
#include "monitor/link/BaudHunt.h"
#include "monitor/link/NmeaThread.h"
#include "monitor/link/RxStream.h"

namespace {
class NullSink : public ILinkSink {
public:
    void Post(const LinkMessage&) override {}
};
// A block fed at once frames exactly as its bytes fed one by one; the blocks' sizes come
// from the input itself.
void FeedsAgree(const uint8_t* data, std::size_t size) {
    static RxStream bytewise, blockwise;
    bytewise.Reset();
    blockwise.Reset();
    for (std::size_t i = 0; i < size; ++i) bytewise.FeedRxByte(data[i]);
    for (std::size_t at = 0; at < size;) {
        const std::size_t n = std::min<std::size_t>(size - at, 1 + data[at] % 97);
        blockwise.FeedRxBytes(data + at, n);
        at += n;
    }
    SentenceDescriptor a{}, b{};
    uint8_t textA[kMaxSentenceLength + 1], textB[kMaxSentenceLength + 1];
    for (;;) {
        const bool gotA = bytewise.PopSentence(a, textA), gotB = blockwise.PopSentence(b, textB);
        if (gotA != gotB) std::abort();
        if (!gotA) break;
        if (a.kind != b.kind || a.id != b.id || a.length != b.length ||
            std::memcmp(textA, textB, static_cast<std::size_t>(a.length)) != 0)
            std::abort();
    }
}

// The rate hunt's count of good sentences does not depend on how the bytes were cut.
void CountsAgree(const uint8_t* data, std::size_t size) {
    GoodSentenceCounter whole, pieces;
    whole.Feed(data, size);
    for (std::size_t at = 0; at < size;) {
        const std::size_t n = std::min<std::size_t>(size - at, 1 + data[at] % 13);
        pieces.Feed(data + at, n);
        at += n;
    }
    if (whole.Count() != pieces.Count()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static NullSink sink;
    CNmeaThread link("fuzz", 0, &sink, nullptr, ModuleReplyDecoders());
    for (std::size_t i = 0; i < size; ++i) {
        link.FeedRxByte(data[i]);
        // Now and then the link thread falls behind and the queue overflows.
        if (link.Stream().Pending() > 200 && (data[i] & 1)) link.ProcessPending();
    }
    link.ProcessPending();
    FeedsAgree(data, size);
    CountsAgree(data, size);
    return 0;
}
