#include "monitor/link/LineTraffic.h"

void LineTraffic::Start(uint64_t bytes, uint64_t sentences) {
    *this = {};
    m_startBytes = bytes;
    m_startSentences = sentences;
}

LineTraffic::Change LineTraffic::Look(uint64_t bytes, uint64_t sentences) {
    if (m_nmeaSeen) return Change::kNone;
    if (sentences > m_startSentences) {
        m_nmeaSeen = true;
        return m_noiseTold ? Change::kNmeaAfterNoise : Change::kFirstNmea;
    }
    // Looks before the first byte do not count: a module may be slow to start talking.
    if (bytes == m_startBytes || m_noiseTold || ++m_noisyLooks < kNoNmeaLooks) return Change::kNone;
    m_noiseTold = true;
    return Change::kNoNmea;
}
