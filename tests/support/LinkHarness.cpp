#include "tests/support/LinkHarness.h"

namespace testsupport {

std::vector<LinkMessage> RunThroughLink(const std::string& bytes, bool flood, ReplyDecoders decoders) {
    RecordingSink sink;
    {
        CNmeaThread link("test", 0, &sink, nullptr, decoders);
        const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
        if (flood) {
            for (std::size_t i = 0; i < bytes.size(); ++i) link.FeedRxByte(data[i]);
            link.Start();
        } else {
            link.Start();
            link.FeedWithoutDrops(data, bytes.size());
        }
        link.EndOfInput();
        link.Shutdown();
    }
    return sink.Messages();
}

std::vector<int> Numbers(const std::vector<LinkMessage>& messages) {
    std::vector<int> numbers;
    for (const auto& m : messages) numbers.push_back(m.number);
    return numbers;
}

}  // namespace testsupport
