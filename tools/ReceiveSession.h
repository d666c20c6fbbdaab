// What the receive tools (rxwatch, nmeadump) do while a device is open: say at once when
// the capture log cannot be written or the line is lost, wait for a lost line to come
// back when the user asked for that, and sum up the capture at the end. Messages go to
// standard error, each led by the tool's name.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "monitor/link/CommThread.h"
#include "monitor/link/LineReturn.h"
#include "tools/Options.h"

class CaptureLog;

namespace serial {
class CancelEvent;
}

// --baud auto: hunts for the module's rate on `options.device`, telling each rate as it
// is tried and the one found ("rxwatch: trying 9600 ...", "rxwatch: found 9600"). Nothing,
// with the reason told, when the line is silent ("no NMEA at any rate on DEV"), the
// device does not open, or `cancel` is set. With --wait a device pulled during the hunt
// is waited for as a lost line is, and the hunt starts again where it comes back
// (`options.device` then names it).
std::optional<uint32_t> HuntForBaud(const std::string& tool, ReceiveOptions& options,
                                    const serial::CancelEvent* cancel);

// The tool's device as the session drives it.
class ReceiveLine {
public:
    virtual ~ReceiveLine() = default;
    virtual LineLoss Lost() const = 0;
    virtual void Close() = 0;
    // The device again, where it is now (the same path, or the adapter under another
    // name); the capture log is already named.
    virtual bool Open(const std::string& device) = 0;
    virtual void Tick() {}    // once per poll period
};

enum class SessionEnd { Stopped, TimeUp, LineLost };

class ReceiveSession {
public:
    using Clock = std::chrono::steady_clock;

    ReceiveSession(std::string tool, const ReceiveOptions& options, CaptureLog& log);

    // Before each open of the device: every connection gets its own capture file.
    void NameCapture(const std::string& device);
    std::string CapturePath() const;

    // Runs until `stop`, the end of --seconds, or a lost line; with --wait a lost line's
    // device is looked for every poll period (by its adapter's stable name when it had
    // one, else by its path) and opened again as soon as it is there.
    SessionEnd Run(ReceiveLine& line, const std::atomic<bool>& stop, std::chrono::milliseconds poll);

    // Takes stock of the connection once its receive worker has ended; later calls
    // until the next NameCapture do nothing.
    void EndConnection();
    // "capture log LOG/a.log" or "capture logs LOG/a.log, LOG/a_2.log"; empty when none.
    std::string WrittenLogs() const;
    // Repeats every capture problem and the bytes the files miss; false if there were any.
    bool ReportCapture() const;

    void Say(const std::string& message) const;

private:
    void PollCapture();
    std::optional<SessionEnd> AwaitLine(ReceiveLine& line, const std::atomic<bool>& stop,
                                        std::chrono::milliseconds poll);
    std::optional<SessionEnd> Over(const std::atomic<bool>& stop) const;

    const std::string m_tool;
    const ReceiveOptions m_options;
    CaptureLog& m_log;
    const LineReturn m_return;
    Clock::time_point m_deadline = Clock::time_point::max();
    bool m_connectionEnded = false;
    std::vector<std::string> m_problems;  // distinct, in the order they came
    std::vector<std::string> m_written;
    uint64_t m_bytesLost = 0;
};
