#include "monitor/link/CorrectionsFeed.h"

#include "monitor/link/NmeaThread.h"
#include "monitor/link/ReceiverState.h"

void CorrectionsLine::Attach(CNmeaThread* link) {
    std::lock_guard lock(m_mutex);
    m_link = link;
    m_fix = {};  // a fix of an earlier connection is not the module's position now
}

bool CorrectionsLine::Attached() const {
    std::lock_guard lock(m_mutex);
    return m_link != nullptr;
}

// Under the lock: the window thread waits here before it shuts the link down.
CorrectionsLine::Sent CorrectionsLine::Send(std::span<const uint8_t> frame) {
    std::lock_guard lock(m_mutex);
    if (!m_link || !m_link->IsConnected()) return Sent::NoLink;
    return m_link->SendBytes(frame.data(), frame.size()) ? Sent::Sent : Sent::Held;
}

void CorrectionsLine::StoreFix(const GgaRecord& gga) {
    Fix fix{ntrip::GgaForCaster(gga), gga.fixQuality};
    std::lock_guard lock(m_mutex);
    m_fix = std::move(fix);
}

CorrectionsLine::Fix CorrectionsLine::LatestFix() const {
    std::lock_guard lock(m_mutex);
    return m_fix;
}

std::string FeedStateText(const FeedStatus& s) {
    using ntrip::State;
    const std::string& error = s.client.error;
    switch (s.client.state) {
    case State::Stopped: return "Disconnected";
    case State::Connected: return "Connected";
    case State::Connecting: return error.empty() ? "Connecting" : "Connecting (last try: " + error + ")";
    case State::WaitingToReconnect:
        return "Waiting to reconnect: " + (error.empty() ? std::string("the stream ended") : error);
    case State::Failed: return "Failed: " + (error.empty() ? std::string("the caster refused") : error);
    }
    return "";
}

std::string FeedLineText(const FeedStatus& s) {
    if (!s.lineOpen)
        return "No serial link open: Connect the module in the main window; corrections are not sent until then";
    if (s.framesNotSent > 0)
        return std::to_string(s.framesNotSent) + " frames not sent: the line was closed or held by a GPD upload";
    return "";
}

CorrectionsFeed::CorrectionsFeed(ntrip::Settings settings, CorrectionsLine& line, StatusHandler onStatus)
    : m_line(line), m_onStatus(std::move(onStatus)),
      m_client(std::move(settings), [this](std::span<const uint8_t> frame) { Forward(frame); }) {}

CorrectionsFeed::~CorrectionsFeed() { Stop(); }

void CorrectionsFeed::Forward(std::span<const uint8_t> frame) {
    if (m_muted.load(std::memory_order_acquire)) return;
    if (m_line.Send(frame) == CorrectionsLine::Sent::Sent) m_sent.fetch_add(1, std::memory_order_relaxed);
    else m_notSent.fetch_add(1, std::memory_order_relaxed);
}

void CorrectionsFeed::Start() {
    if (m_reporter.joinable()) return;
    m_stop = false;
    m_client.Start();
    m_reporter = std::thread([this] { Report(); });
}

void CorrectionsFeed::Stop() {
    {
        std::lock_guard lock(m_stopMutex);
        m_stop = true;
    }
    m_stopped.notify_all();
    if (m_reporter.joinable()) m_reporter.join();
    m_client.Stop();
}

FeedStatus CorrectionsFeed::Snapshot() const {
    FeedStatus s;
    s.client = m_client.Snapshot();
    s.lineOpen = m_line.Attached();
    s.framesSent = m_sent.load(std::memory_order_relaxed);
    s.framesNotSent = m_notSent.load(std::memory_order_relaxed);
    s.quality = m_line.LatestFix().quality;
    return s;
}

// The module's GGA is handed to the client as it changes; the client itself decides
// when the caster gets it.
void CorrectionsFeed::Report() {
    std::unique_lock lock(m_stopMutex);
    while (!m_stop) {
        lock.unlock();
        const CorrectionsLine::Fix fix = m_line.LatestFix();
        if (!fix.gga.empty()) m_client.SetGga(fix.gga);
        if (!m_muted.load(std::memory_order_acquire)) m_onStatus(Snapshot());
        lock.lock();
        m_stopped.wait_for(lock, std::chrono::milliseconds(kStatusEveryMs), [this] { return m_stop; });
    }
}
