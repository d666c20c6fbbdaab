#include "monitor/link/LinkStatistics.h"

#include <cstdio>

void ByteRate::Sample(uint64_t bytes, int64_t atMs) {
    if (!m_samples.empty() && (bytes < m_samples.back().bytes || atMs < m_samples.back().atMs)) m_samples.clear();
    m_samples.push_back({bytes, atMs});
    // The oldest reading kept is the last one at least the window old.
    while (m_samples.size() > 2 && atMs - m_samples[1].atMs >= kWindowMs) m_samples.pop_front();
}

double ByteRate::PerSecond() const {
    if (m_samples.size() < 2) return 0;
    const Reading& first = m_samples.front();
    const Reading& last = m_samples.back();
    if (last.atMs <= first.atMs) return 0;
    return static_cast<double>(last.bytes - first.bytes) * 1000.0 / static_cast<double>(last.atMs - first.atMs);
}

namespace {

// 999 B, 12.3 kB, 4.56 MB: three figures at most.
std::string Amount(double value, const char* unit) {
    static const char* const kPrefixes[] = {"", "k", "M", "G"};
    int prefix = 0;
    while (value >= 1000 && prefix < 3) value /= 1000, ++prefix;
    char text[32];
    if (prefix == 0) std::snprintf(text, sizeof text, "%.0f %s", value, unit);
    else std::snprintf(text, sizeof text, value < 10 ? "%.2f %s%s" : value < 100 ? "%.1f %s%s" : "%.0f %s%s", value,
                       kPrefixes[prefix], unit);
    return text;
}

std::string Count(uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string StatisticsText(const LinkStatus& s) {
    return "RX " + Amount(static_cast<double>(s.counts.bytes), "B") + ", " + Amount(s.bytesPerSecond, "B/s") + ", " +
           Count(s.counts.sentences, "sentence", "sentences") + ", " +
           Count(s.counts.checksumErrors, "bad checksum", "bad checksums") + ", " +
           std::to_string(s.counts.Dropped()) + " dropped";
}

std::string ShortStatisticsText(const LinkStatus& s) {
    return Amount(static_cast<double>(s.counts.bytes), "B") + ", " + Amount(s.bytesPerSecond, "B/s") + ", " +
           Count(s.counts.sentences, "sentence", "sentences") + ", " + std::to_string(s.counts.checksumErrors) +
           " bad, " + std::to_string(s.counts.Dropped()) + " dropped";
}

std::string DroppedText(const LinkStatistics& c) {
    return std::to_string(c.queueDrops) + " behind, " + std::to_string(c.overlong) + " too long, " +
           std::to_string(c.cutShort) + " cut short";
}
