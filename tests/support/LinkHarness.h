// Runs bytes through the real link thread and collects the window messages it posts.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "monitor/link/NmeaThread.h"

namespace testsupport {

class RecordingSink : public ILinkSink {
public:
    void Post(const LinkMessage& message) override {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(message);
    }
    void Binary(std::span<const uint8_t> packet) override {
        std::lock_guard lock(m_mutex);
        m_packets.emplace_back(packet.begin(), packet.end());
    }
    std::vector<LinkMessage> Messages() {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    std::vector<std::string> Packets() {
        std::lock_guard lock(m_mutex);
        return m_packets;
    }

private:
    std::mutex m_mutex;
    std::vector<LinkMessage> m_messages;
    std::vector<std::string> m_packets;
};

// Feeds `bytes` as the receive worker would (never more than the link can hold, unless
// `flood`: then all of them before the link thread starts), waits until everything is
// dispatched and stops the link.
std::vector<LinkMessage> RunThroughLink(const std::string& bytes, bool flood = false,
                                        ReplyDecoders decoders = {});

// The message numbers alone, in order.
std::vector<int> Numbers(const std::vector<LinkMessage>& messages);

}  // namespace testsupport
