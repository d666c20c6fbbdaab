// Corrections from a caster to the module on the monitor's open link: the NTRIP client's
// checked frames go out through the link's send path beside the commands, the module's
// GGA comes back from the link thread for the caster, and a status copy goes to whoever
// shows it, from a thread of the feed's own, a few times a second.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>

#include "monitor/link/NtripClient.h"

class CNmeaThread;
struct GgaRecord;

// The module's side of the corrections, shared by the window thread (which opens and
// closes the link), the link thread (which parses the module's GGA) and the client's
// thread (which sends). A link is never closed while a frame is being written to it.
class CorrectionsLine {
public:
    enum class Sent : uint8_t { Sent, NoLink, Held };

    // Window thread: the link as it opens, null before it is shut down.
    void Attach(CNmeaThread* link);
    bool Attached() const;
    // Any thread: the frame onto the line, or why not.
    Sent Send(std::span<const uint8_t> frame);

    // Link thread: the module's latest GGA.
    void StoreFix(const GgaRecord& gga);
    // The GGA for the caster with CR LF (empty: none since the link opened) and its fix
    // quality (-1: none).
    struct Fix {
        std::string gga;
        int quality = -1;
    };
    Fix LatestFix() const;

private:
    mutable std::mutex m_mutex;
    CNmeaThread* m_link = nullptr;
    Fix m_fix;
};

struct FeedStatus {
    ntrip::Status client;
    bool lineOpen = false;
    uint64_t framesSent = 0;     // onto the serial line
    uint64_t framesNotSent = 0;  // good frames with no line to go to, or the line held
    int quality = -1;            // the module's last GGA fix quality
};

// The connection state in words for the window, e.g. "Connected",
// "Waiting to reconnect: connection refused", "Failed: 401 Unauthorized: ...".
std::string FeedStateText(const FeedStatus& status);
// What keeps corrections from the module, or empty: "No serial link open: ...".
std::string FeedLineText(const FeedStatus& status);

class CorrectionsFeed {
public:
    using StatusHandler = std::function<void(const FeedStatus&)>;
    static constexpr int kStatusEveryMs = 250;  // the age of corrections is shown to a tenth

    // `onStatus` is called in the feed's thread; it copies what it keeps.
    CorrectionsFeed(ntrip::Settings settings, CorrectionsLine& line, StatusHandler onStatus);
    ~CorrectionsFeed();
    CorrectionsFeed(const CorrectionsFeed&) = delete;
    CorrectionsFeed& operator=(const CorrectionsFeed&) = delete;

    void Start();
    // Ends both threads; nothing is reported after it returns. It can take as long as
    // a connection attempt to a caster that does not answer.
    void Stop();
    // At once, from any thread: no frame is sent and nothing reported from now on,
    // while Stop (on another thread) waits for the threads to end.
    void Mute() { m_muted.store(true, std::memory_order_release); }
    FeedStatus Snapshot() const;

private:
    void Report();
    void Forward(std::span<const uint8_t> frame);

    CorrectionsLine& m_line;
    StatusHandler m_onStatus;
    std::atomic<uint64_t> m_sent{0};
    std::atomic<uint64_t> m_notSent{0};
    std::atomic<bool> m_muted{false};
    ntrip::NtripClient m_client;  // after what its frame handler uses
    std::mutex m_stopMutex;
    std::condition_variable m_stopped;
    bool m_stop = false;
    std::thread m_reporter;
};
