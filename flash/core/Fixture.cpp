#include "flash/core/Fixture.h"

#include <chrono>

namespace fixture {
namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kPollMs = 100;

// The port's time-outs for listening, put back as they were when done.
class Listening {
public:
    explicit Listening(serial::SerialPort& port) : m_port(port), m_saved(port.GetTimeouts()) {
        serial::Timeouts t;
        t.readTotalConstantMs = kPollMs;
        port.SetTimeouts(t);
    }
    ~Listening() { m_port.SetTimeouts(m_saved); }

private:
    serial::SerialPort& m_port;
    serial::Timeouts m_saved;
};

// Reads until the line has been quiet for `quietMs`; false when cancelled or failed.
bool UntilQuiet(serial::SerialPort& port, int quietMs, const serial::CancelEvent* cancel) {
    char buffer[256];
    auto lastByte = Clock::now();
    while (Clock::now() - lastByte < std::chrono::milliseconds(quietMs)) {
        if (cancel && cancel->IsSet()) return false;
        const long n = port.Read(buffer, sizeof buffer, cancel);
        if (n < 0) return false;
        if (n > 0) lastByte = Clock::now();
    }
    return true;
}

}  // namespace

bool WaitUntilEmpty(serial::SerialPort& port, int quietMs, const serial::CancelEvent* cancel) {
    Listening listening(port);
    return UntilQuiet(port, quietMs, cancel);
}

bool WaitForModule(serial::SerialPort& port, const serial::CancelEvent* cancel) {
    Listening listening(port);
    bool inSentence = false;
    char buffer[256];
    for (;;) {
        if (cancel && cancel->IsSet()) return false;
        const long n = port.Read(buffer, sizeof buffer, cancel);
        if (n < 0) return false;
        for (long i = 0; i < n; ++i) {
            if (buffer[i] == '$') inSentence = true;
            else if (buffer[i] == '\n' && inSentence) return true;
        }
    }
}

}  // namespace fixture
