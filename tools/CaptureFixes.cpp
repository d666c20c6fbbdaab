#include "CaptureFixes.h"

#include <variant>

#include "NmeaThread.h"

namespace {

// Qualities 1 to 6 are the receiver's own fixes; 7 is a position typed in, 8 a simulator's.
bool IsReceiverFix(int quality) { return quality >= 1 && quality <= 6; }

// Called in the link thread only; the collector is read once the thread has ended.
class FixSink : public ILinkSink {
public:
    explicit FixSink(FixCollector& fixes) : m_fixes(fixes) {}
    void Post(const LinkMessage& message) override {
        const LinkPayload& p = message.payload;
        if (message.number == msg::kGga) {
            const GgaRecord& gga = std::get<GgaRecord>(p);
            m_lastGgaFixed = IsReceiverFix(gga.fixQuality);
            if (m_lastGgaFixed) m_fixes.AddFix(gga);
        } else if (message.number == msg::kUsedSatellites) {
            // The report of an epoch without a fix must not land on the one before.
            if (m_lastGgaFixed) m_fixes.AddReport(std::get<UsedSatelliteSet>(p));
        } else if (message.number == msg::kRmc) {
            m_fixes.AddRmc(std::get<RmcRecord>(p));
        }
    }

private:
    FixCollector& m_fixes;
    bool m_lastGgaFixed = false;
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
