#include "monitor/link/NtripClient.h"

#include <algorithm>
#include <cmath>

#include "monitor/link/TcpSocket.h"

namespace ntrip {
namespace {

constexpr int kReadWaitMs = 200;             // how soon Stop() is seen while the caster is quiet
constexpr std::size_t kMaxHeadBytes = 8192;  // a head longer than this is no caster's
constexpr std::size_t kMaxTableBytes = 4 << 20;

std::string UnauthorizedText() { return "401 Unauthorized: check user and password"; }
std::string NotInTableText(const std::string& mount) { return "mountpoint " + mount + " not in the caster's table"; }

// Reads until the head is whole; the bytes after it are left in `rest`.
bool ReadHead(TcpSocket& socket, ReplyHead& head, std::string& rest, std::string& error) {
    std::string received;
    char buf[4096];
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!ParseReplyHead(received, head)) {
        if (received.size() > kMaxHeadBytes || std::chrono::steady_clock::now() > giveUp) {
            error = "the caster sent no answer";
            return false;
        }
        const long n = socket.Receive(buf, sizeof buf, kReadWaitMs);
        if (n < 0) {
            error = "the caster closed the connection";
            return false;
        }
        received.append(buf, static_cast<std::size_t>(n));
    }
    rest = received.substr(head.headBytes);
    return true;
}

std::string RefusalText(const ReplyHead& head, const std::string& mount) {
    switch (head.kind) {
    case ReplyKind::Unauthorized: return UnauthorizedText();
    case ReplyKind::NotFound: return NotInTableText(mount);
    default: return "the caster refused: " + head.statusLine;
    }
}

}  // namespace

const char* StateName(State state) {
    static constexpr const char* kNames[] = {"stopped", "connecting", "connected", "waiting to reconnect", "failed"};
    return kNames[static_cast<int>(state)];
}

std::optional<std::vector<MountPoint>> FetchSourceTable(Request request, std::string& error) {
    request.mount.clear();
    TcpSocket socket;
    if (!socket.Connect(request.host, request.port, error)) return std::nullopt;
    if (!socket.SendAll(BuildRequest(request))) return error = "the caster closed the connection", std::nullopt;
    ReplyHead head;
    std::string body;
    if (!ReadHead(socket, head, body, error)) return std::nullopt;
    if (head.kind != ReplyKind::SourceTable) return error = RefusalText(head, ""), std::nullopt;
    ChunkedDecoder chunks;
    std::string table;
    char buf[4096];
    for (;;) {
        if (head.chunked) chunks.Feed(body, table);
        else table += body;
        if (SourceTableEnded(table) || chunks.Ended() || table.size() > kMaxTableBytes) break;
        const long n = socket.Receive(buf, sizeof buf, 5000);
        if (n <= 0) break;  // a caster may end the table by closing
        body.assign(buf, static_cast<std::size_t>(n));
    }
    return ParseSourceTable(table);
}

NtripClient::NtripClient(Settings settings, FrameHandler onFrame)
    : m_settings(std::move(settings)), m_onFrame(std::move(onFrame)) {}

NtripClient::~NtripClient() { Stop(); }

void NtripClient::Start() {
    if (m_thread.joinable()) return;
    m_stop = false;
    m_thread = std::thread([this] { Run(); });
}

void NtripClient::Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    std::lock_guard lock(m_mutex);
    if (m_status.state != State::Failed) m_status.state = State::Stopped;
}

void NtripClient::SetGga(std::string sentence) {
    std::lock_guard lock(m_mutex);
    m_gga = std::move(sentence);
}

Status NtripClient::Snapshot() const {
    std::lock_guard lock(m_mutex);
    Status s = m_status;
    s.counts = m_framer.Counts();
    if (m_lastFrame) s.ageS = std::chrono::duration<double>(Clock::now() - *m_lastFrame).count();
    s.sendingGga = m_wantsNmea || m_settings.alwaysSendGga;
    return s;
}

void NtripClient::SetState(State state, const std::string& error) {
    std::lock_guard lock(m_mutex);
    m_status.state = state;
    if (!error.empty()) m_status.error = error;
}

bool NtripClient::Sleep(double seconds) {
    const auto until = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (!m_stop && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(kReadWaitMs / 4));
    return !m_stop;
}

// A refusal that another try cannot mend (wrong password, no such mountpoint) ends the
// client; a lost or refused connection is tried again, each wait twice the last.
void NtripClient::Run() {
    double backOff = m_settings.firstBackOffS;
    while (!m_stop) {
        SetState(State::Connecting);
        const int before = Snapshot().connections;
        if (!Session()) return SetState(State::Failed);
        if (m_stop) break;
        if (Snapshot().connections > before) backOff = m_settings.firstBackOffS;  // it had streamed
        SetState(State::WaitingToReconnect);
        if (!Sleep(backOff)) break;
        backOff = std::min(backOff * 2, m_settings.maxBackOffS);
    }
}

// The table says whether the mountpoint exists and whether it wants the rover's
// position; a caster that gives no table is taken at its word on the stream request.
bool NtripClient::CheckMountpoint() {
    std::string error;
    const auto table = FetchSourceTable(m_settings.request, error);
    if (!table) {
        SetState(State::Connecting, error);
        return error != UnauthorizedText();
    }
    const auto it = std::find_if(table->begin(), table->end(),
                                 [&](const MountPoint& m) { return m.name == m_settings.request.mount; });
    if (it == table->end()) {
        SetState(State::Failed, NotInTableText(m_settings.request.mount));
        return false;
    }
    std::lock_guard lock(m_mutex);
    m_wantsNmea = it->wantsNmea;
    return true;
}

bool NtripClient::Session() {
    if (!CheckMountpoint()) return false;
    TcpSocket socket;
    std::string error;
    if (!socket.Connect(m_settings.request.host, m_settings.request.port, error) ||
        !socket.SendAll(BuildRequest(m_settings.request))) {
        SetState(State::Connecting, error.empty() ? "the caster closed the connection" : error);
        return true;
    }
    ReplyHead head;
    std::string body;
    if (!ReadHead(socket, head, body, error)) return SetState(State::Connecting, error), true;
    if (head.kind == ReplyKind::SourceTable) {  // a version 1 caster's answer to an unknown mountpoint
        SetState(State::Failed, NotInTableText(m_settings.request.mount));
        return false;
    }
    if (head.kind != ReplyKind::Stream) {
        SetState(State::Failed, RefusalText(head, m_settings.request.mount));
        return false;
    }
    Stream(socket, std::move(body), head.chunked);
    return true;
}

void NtripClient::SendGgaIfDue(TcpSocket& socket, Clock::time_point& next) {
    std::string gga;
    {
        std::lock_guard lock(m_mutex);
        if (!(m_wantsNmea || m_settings.alwaysSendGga) || m_gga.empty() || Clock::now() < next) return;
        gga = m_gga;
    }
    socket.SendAll(gga);
    next = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(m_settings.ggaEveryS));
}

// Reads the stream until it ends, breaks or goes quiet for noDataS; each good frame is
// handed on as it completes, a bad one only counted.
void NtripClient::Stream(TcpSocket& socket, std::string body, bool chunked) {
    {
        std::lock_guard lock(m_mutex);
        ++m_status.connections;
        m_status.state = State::Connected;
        m_status.error.clear();
    }
    ChunkedDecoder chunks;
    std::string data;
    char buf[4096];
    auto nextGga = Clock::now();
    auto lastData = Clock::now();
    const auto quiet = std::chrono::duration<double>(m_settings.noDataS);
    while (!m_stop) {
        SendGgaIfDue(socket, nextGga);
        data.clear();
        if (chunked && !chunks.Feed(body, data)) return SetState(State::Connecting, "the caster's chunked stream is broken");
        if (!chunked) data.swap(body);
        body.clear();
        if (!data.empty()) {
            lastData = Clock::now();
            std::lock_guard lock(m_mutex);
            m_framer.Feed({reinterpret_cast<const uint8_t*>(data.data()), data.size()},
                          [this](std::span<const uint8_t> frame, int) {
                              m_lastFrame = Clock::now();
                              m_onFrame(frame);
                          });
        }
        if (Clock::now() - lastData > quiet)
            return SetState(State::Connecting, "no data for " + std::to_string(std::lround(m_settings.noDataS)) + " s");
        const long n = socket.Receive(buf, sizeof buf, kReadWaitMs);
        if (n < 0) return SetState(State::Connecting, "the caster closed the connection");
        body.assign(buf, static_cast<std::size_t>(n));
    }
}

}  // namespace ntrip
