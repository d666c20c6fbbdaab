#include "LinkHarness.h"

#include <thread>

namespace testsupport {

std::vector<LinkMessage> RunThroughLink(const std::string& bytes, bool flood, ResponseDecoder decoder) {
    RecordingSink sink;
    {
        CNmeaThread link("test", 0, &sink, nullptr, decoder);
        if (!flood) link.Start();
        for (const char c : bytes) {
            link.FeedRxByte(static_cast<uint8_t>(c));
            while (!flood && link.Stream().Pending() >= kSentenceQueueSize - 8) std::this_thread::yield();
        }
        if (flood) link.Start();
        link.Drain();
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
