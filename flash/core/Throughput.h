// The speed a front end shows for a run: bytes the module acknowledged over the last few
// seconds, measured on the steady clock. It never exceeds what the line carried (bytes
// are acknowledged only after they went over it), it does not read "0 Bps" while the
// bar moves, and it falls while the line is quiet.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <utility>

int64_t SteadyMs();

class ThroughputMeter {
public:
    static constexpr int64_t kWindowMs = 3000;

    // `stage` changes when a new stage of the run starts counting its bytes from 0, at
    // `stageStartMs`.
    void Note(uint32_t stage, int64_t stageStartMs, uint32_t bytesDone, int64_t nowMs);
    uint32_t BytesPerSecond(int64_t nowMs) const;
    std::string Text(int64_t nowMs) const;  // as ThroughputText writes it

private:
    uint32_t m_stage = ~0u;
    std::deque<std::pair<int64_t, uint32_t>> m_samples;  // time, bytes done; the first is the base
};
