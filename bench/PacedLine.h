// The simulator's epochs written into a pseudo-terminal's master side as a serial line
// would carry them, for the benchmarks that time an epoch from its last byte.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

// A pseudo-terminal whose slave side the monitor opens as its serial port; the
// benchmark plays the module on the master side. Ends the program when none can be had.
struct Pty {
    int master = -1;
    std::string slave;
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    void Write(const std::string& bytes) const;  // all of them, or the program ends
    // Whatever the host sends (nothing here) must not fill the line.
    void Drain() const;
};

// User and system CPU time of this process so far.
double CpuSeconds();

// The epochs of the simulator's four constellations at `perSecond` epochs a second,
// standing still or, with `route`, driving its square route (zrsim --route).
std::vector<std::string> SimulatedEpochs(int count, int perSecond, bool route = false);

// The receive worker's read interval: a pause this long ends a read.
inline constexpr auto kQuietPause = std::chrono::milliseconds(20);

struct PacedEpochs {
    std::vector<Clock::time_point> lastByte;  // when each epoch's last byte went in
    // The pauses between two writes while the line had bytes to carry: on a full line the
    // receive worker must never see one of kQuietPause.
    Clock::duration longestPause{};
    int quietPauses = 0;
};

// Writes the epochs at `baudRate` (10 bits a byte), each epoch starting on its period or,
// when the line is still busy, right after the one before. `baudRate` 0: each epoch in
// one write, 100 ms apart, so the line is quiet long before the next one. Writes from a
// thread of its own, real-time where the system allows it: the module's UART sends on its
// own clock, however busy the computer is.
PacedEpochs PaceEpochs(int master, const std::vector<std::string>& epochs, uint32_t baudRate, int perSecond);

}  // namespace bench
