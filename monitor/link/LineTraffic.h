// Whether an opened line talks NMEA, judged at each look from the link's running counts
// of bytes and good sentences. A reopened adapter may come back before the module behind
// it talks again, so the monitor calls it reconnected only at the first good sentence;
// and at a wrong baud rate bytes arrive as noise, in which a sentence with a good
// checksum is as good as impossible.
#pragma once

#include <cstdint>

class LineTraffic {
public:
    enum class Change {
        kNone,
        kFirstNmea,        // the first good sentence since Start
        kNmeaAfterNoise,   // the same, after kNoNmea was told
        kNoNmea,           // bytes for kNoNmeaLooks looks without one good sentence; once
    };
    // A module sends an epoch every second: at the line watch's 250 ms, 3 s of bytes
    // would have held two or three epochs at the right rate.
    static constexpr int kNoNmeaLooks = 12;

    // The line was (re)opened; the counts are the link's at that moment.
    void Start(uint64_t bytes, uint64_t sentences);
    Change Look(uint64_t bytes, uint64_t sentences);
    uint64_t BytesSinceStart(uint64_t bytes) const { return bytes - m_startBytes; }

private:
    uint64_t m_startBytes = 0;
    uint64_t m_startSentences = 0;
    int m_noisyLooks = 0;
    bool m_nmeaSeen = false;
    bool m_noiseTold = false;
};
