#include "monitor/control/Ttff.h"

#include <cstdio>

void TtffMeasurement::Rearm() {
    m_state = kWaitingForNoFix;
    m_armed = true;
    m_elapsedMs = 0;
}

bool TtffMeasurement::OnFixReport(char fixType) {
    if (fixType == '1' && m_state == kWaitingForNoFix) {
        const bool start = m_armed;
        m_armed = false;
        m_state = kTiming;
        return start;
    }
    if (fixType == '3' && m_state == kTiming) m_state = kFixed;
    return false;
}

TtffMeasurement::Tick TtffMeasurement::OnTick(bool linkOpen) {
    m_elapsedMs += kTickMs;
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(m_elapsedMs) * 0.001);
    if (!linkOpen) return {"", true};
    return {text, m_state == kFixed};
}

void TtffMeasurement::Clear() {
    m_state = kWaitingForNoFix;
    m_elapsedMs = 0;
}
