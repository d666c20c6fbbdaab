#include "flash/core/Throughput.h"

#include <algorithm>
#include <chrono>

#include "flash/core/Procedure.h"

int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void ThroughputMeter::Note(uint32_t stage, int64_t stageStartMs, uint32_t bytesDone, int64_t nowMs) {
    if (stage != m_stage || m_samples.empty() || bytesDone < m_samples.back().second) {
        m_stage = stage;
        m_samples.assign(1, {std::min(stageStartMs, nowMs), 0});  // nothing acknowledged at the start
    }
    if (bytesDone != m_samples.back().second) m_samples.emplace_back(nowMs, bytesDone);
    // Keep one sample at or before the window's start as the base.
    while (m_samples.size() > 2 && m_samples[1].first <= nowMs - kWindowMs) m_samples.pop_front();
}

uint32_t ThroughputMeter::BytesPerSecond(int64_t nowMs) const {
    if (m_samples.size() < 2) return 0;
    // From the newest sample at or before the window's start (or the stage's start) to now.
    std::size_t base = 0;
    while (base + 1 < m_samples.size() && m_samples[base + 1].first <= nowMs - kWindowMs) ++base;
    const auto& [baseMs, baseBytes] = m_samples[base];
    const int64_t spanMs = nowMs - baseMs;
    if (spanMs <= 0) return 0;
    return static_cast<uint32_t>(int64_t{m_samples.back().second - baseBytes} * 1000 / spanMs);
}

std::string ThroughputMeter::Text(int64_t nowMs) const { return ThroughputText(BytesPerSecond(nowMs), 1); }
