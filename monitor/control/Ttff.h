// Time to first fix: from the first no-fix report after a restart command to the first
// 3D report, counted in ticks of 100 ms.
#pragma once

#include <string>

class TtffMeasurement {
public:
    enum State { kWaitingForNoFix = 1, kTiming = 2, kFixed = 3 };
    static constexpr int kTickMs = 100;

    // A restart command: measure again from the next no-fix report.
    void Rearm();
    // The fix type of a completed satellite cycle ('1' no fix, '2' 2D, '3' 3D); true when
    // the clock must start now.
    bool OnFixReport(char fixType);
    // One tick of the running clock: the text to show, and whether the clock ends here
    // (the fix was reached, or the link is gone: then the text is empty).
    struct Tick {
        std::string text;
        bool stop;
    };
    Tick OnTick(bool linkOpen);
    // A measurement given up (a series' cycle timed out or stopped): a later no-fix
    // report starts nothing until the next restart command.
    void Disarm() { m_armed = false; }
    // The panel's clear: the state and the time start over; arming and the clock stay.
    void Clear();

    State CurrentState() const { return m_state; }

private:
    State m_state = kWaitingForNoFix;
    bool m_armed = false;  // nothing is measured before the first restart command
    float m_elapsedMs = 0;
};
