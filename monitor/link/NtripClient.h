// The NTRIP client: one connection to a caster's mountpoint in a thread of its own,
// checked RTCM 3 frames handed on, the module's GGA sent back where the mountpoint
// wants it, reconnection with back-off after a dropped connection. The user and
// password live in memory only.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "monitor/link/NtripProtocol.h"
#include "monitor/link/Rtcm3Framer.h"

namespace ntrip {

enum class State : uint8_t { Stopped, Connecting, Connected, WaitingToReconnect, Failed };
const char* StateName(State state);  // "stopped", "connecting", "connected", ...

struct Settings {
    Request request;             // caster, port, mountpoint, user:password, version
    double ggaEveryS = 10;       // how often the module's GGA goes to the caster
    bool alwaysSendGga = false;  // also when the mountpoint's STR line does not ask for it
    double noDataS = 30;         // a connection silent this long is dropped and made again
    double firstBackOffS = 1;    // the wait before the first reconnection, doubled up to
    double maxBackOffS = 30;     // this after each failed one
};

struct Status {
    State state = State::Stopped;
    std::string error;           // the last failure in words, e.g. "connection refused"
    rtcm::FramerCounts counts;
    double ageS = -1;            // since the last good frame; -1: none yet
    int connections = 0;         // streams opened, the first one included
    bool sendingGga = false;
};

// The source table of the caster in `request` (mount ignored), or nothing with `error`.
std::optional<std::vector<MountPoint>> FetchSourceTable(Request request, std::string& error);

class NtripClient {
public:
    using FrameHandler = std::function<void(std::span<const uint8_t> frame)>;

    // `onFrame` is called in the client's thread with each good frame, with the client's
    // lock held: it hands the bytes on (CNmeaThread::SendBytes) and calls nothing here.
    NtripClient(Settings settings, FrameHandler onFrame);
    ~NtripClient();
    NtripClient(const NtripClient&) = delete;
    NtripClient& operator=(const NtripClient&) = delete;

    void Start();
    void Stop();
    // The module's latest GGA sentence (with CR LF); any thread.
    void SetGga(std::string sentence);
    Status Snapshot() const;

private:
    using Clock = std::chrono::steady_clock;
    void Run();
    // One connection from the request to its end; false when it must not be tried again.
    bool Session();
    bool CheckMountpoint();
    void Stream(class TcpSocket& socket, std::string body, bool chunked);
    void SendGgaIfDue(TcpSocket& socket, Clock::time_point& next);
    void SetState(State state, const std::string& error = {});
    bool Sleep(double seconds);

    Settings m_settings;
    FrameHandler m_onFrame;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;  // guards what follows
    Status m_status;
    rtcm::Rtcm3Framer m_framer;
    std::optional<Clock::time_point> m_lastFrame;
    std::string m_gga;
    bool m_wantsNmea = false;
};

}  // namespace ntrip
