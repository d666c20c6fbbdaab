#include "tools/CaptureFixes.h"

#include <variant>

#include "monitor/link/NmeaThread.h"

namespace {

// Called in the link thread only; the collector is read once the thread has ended. The
// link tells each epoch once, as it tells the Track window.
class FixSink : public ILinkSink {
public:
    explicit FixSink(FixCollector& fixes) : m_fixes(fixes) {}
    void Post(const LinkMessage& message) override {
        if (message.number == msg::kTrackEpoch) m_fixes.AddEpoch(std::get<EpochSummary>(message.payload));
        else if (message.number == msg::kTrackRmc) m_fixes.AddRmc(std::get<RmcRecord>(message.payload));
    }

private:
    FixCollector& m_fixes;
};

}  // namespace

bool ReadCaptureFixes(const std::string& path, FixCollector& fixes, std::string& error) {
    FixSink sink(fixes);
    CNmeaThread link("file", 0, &sink, nullptr);
    link.Start();
    const bool read = link.FeedFile(path, error);
    link.Shutdown();
    return read;
}
