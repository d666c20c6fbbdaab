#include "sim/Caster.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "sim/RtcmStream.h"

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPollMs = 100;  // how soon Stop() is seen

// Mountpoint SIM1 wants the rover's GGA (field 11 "1"), SIM2 does not.
constexpr const char* kMountpoints[] = {"SIM1", "SIM2"};
constexpr const char* kSourceTable =
    "STR;SIM1;Tokyo;RTCM 3.3;1005(10),1074(1),1084(1);2;GPS+GLO;SIM;JPN;35.68;139.77;1;0;zrsim;none;B;N;9600;\r\n"
    "STR;SIM2;Tokyo;RTCM 3.3;1005(10),1074(1),1084(1);2;GPS+GLO;SIM;JPN;35.68;139.77;0;0;zrsim;none;B;N;9600;\r\n"
    "ENDSOURCETABLE\r\n";

bool SendAll(int socket, const std::string& bytes) {
    return ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

std::string Base64(const std::string& bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 2]);
        out += kDigits[v >> 18 & 63];
        out += kDigits[v >> 12 & 63];
        out += i + 1 < bytes.size() ? kDigits[v >> 6 & 63] : '=';
        out += i + 2 < bytes.size() ? kDigits[v & 63] : '=';
    }
    return out;
}

// The request head, up to its blank line; empty when none came within a few seconds.
std::string ReadHead(int socket) {
    std::string head;
    const auto giveUp = Clock::now() + std::chrono::seconds(5);
    char buf[1024];
    while (head.find("\r\n\r\n") == std::string::npos && Clock::now() < giveUp && head.size() < 8192) {
        pollfd p{socket, POLLIN, 0};
        if (::poll(&p, 1, kPollMs) <= 0) continue;
        const ssize_t n = ::recv(socket, buf, sizeof buf, 0);
        if (n <= 0) return {};
        head.append(buf, static_cast<std::size_t>(n));
    }
    return head;
}

std::string Chunk(const std::string& data) {
    char size[16];
    std::snprintf(size, sizeof size, "%zX\r\n", data.size());
    return size + data + "\r\n";
}

}  // namespace

Caster::~Caster() {
    Stop();
    for (auto& t : m_clients) t.join();
    if (m_listen >= 0) ::close(m_listen);
}

bool Caster::Listen(std::string& error) {
    m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(m_options.port);
    socklen_t length = sizeof a;
    if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(m_listen, 8) != 0 ||
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
        error = "cannot serve on port " + std::to_string(m_options.port) + ": " + std::strerror(errno);
        return false;
    }
    m_port = ntohs(a.sin_port);
    return true;
}

void Caster::Run() {
    while (!m_stop.load(std::memory_order_acquire)) {
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, kPollMs) <= 0) continue;
        const int client = ::accept(m_listen, nullptr, nullptr);
        if (client >= 0) m_clients.emplace_back([this, client] { Serve(client); });
    }
}

bool Caster::Authorized(const std::string& head) const {
    return m_options.userPass.empty() ||
           head.find("\r\nAuthorization: Basic " + Base64(m_options.userPass) + "\r\n") != std::string::npos;
}

// GET / is the table; GET /SIM1 the stream, once authorized. An unknown mountpoint gets
// the table in version 1 (as casters do) and 404 in version 2.
void Caster::Serve(int socket) {
    const std::string head = ReadHead(socket);
    const bool version2 = head.find("\r\nNtrip-Version: Ntrip/2.0") != std::string::npos;
    const auto space = head.find(' ', 5);
    const std::string mount = head.rfind("GET /", 0) == 0 && space != std::string::npos ? head.substr(5, space - 5) : "";
    bool known = false;
    for (const char* m : kMountpoints) known = known || mount == m;
    const std::string http = version2 ? "HTTP/1.1 " : "HTTP/1.0 ";
    if (head.empty()) {
    } else if (mount.empty() || (!known && !version2)) {
        SendTable(socket, version2);
    } else if (!known) {
        SendAll(socket, http + "404 Not Found\r\nNtrip-Version: Ntrip/2.0\r\nConnection: close\r\n\r\n");
    } else if (!Authorized(head)) {
        SendAll(socket, http + "401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"" + mount +
                            "\"\r\nConnection: close\r\n\r\n");
    } else {
        SendStream(socket, version2);
    }
    ::close(socket);
}

void Caster::SendTable(int socket, bool version2) {
    const std::string table = kSourceTable;
    std::string head = version2 ? "HTTP/1.1 200 OK\r\nNtrip-Version: Ntrip/2.0\r\nContent-Type: gnss/sourcetable\r\n"
                                : "SOURCETABLE 200 OK\r\nServer: zrsim\r\nContent-Type: text/plain\r\n";
    SendAll(socket, head + "Content-Length: " + std::to_string(table.size()) + "\r\nConnection: close\r\n\r\n" + table);
}

// One second's frames a second; the rover's GGA lines are read and told on stderr.
void Caster::SendStream(int socket, bool version2) {
    const bool ok = SendAll(socket, version2 ? "HTTP/1.1 200 OK\r\nNtrip-Version: Ntrip/2.0\r\nContent-Type: gnss/data\r\n"
                                               "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                                             : "ICY 200 OK\r\n");
    RtcmStream stream;
    const auto start = Clock::now();
    auto next = start;
    int64_t second = 0;
    uint64_t frames = 0;
    std::string fromRover;
    while (ok && !m_stop.load(std::memory_order_acquire)) {
        if (m_options.dropAfterS >= 0 && Clock::now() - start > std::chrono::duration<double>(m_options.dropAfterS)) {
            std::lock_guard lock(m_printing);
            std::fprintf(stderr, "zrsim: caster: connection dropped\n");
            return;
        }
        if (Clock::now() >= next) {
            std::string out;
            for (std::string frame : stream.Second(second++)) {
                if (m_options.corruptEvery > 0 && ++frames % static_cast<uint64_t>(m_options.corruptEvery) == 0)
                    frame[frame.size() / 2] ^= 0x5A;  // the CRC no longer matches
                out += frame;
            }
            if (!SendAll(socket, version2 ? Chunk(out) : out)) return;
            next += std::chrono::seconds(1);
        }
        pollfd p{socket, POLLIN, 0};
        if (::poll(&p, 1, kPollMs) <= 0) continue;
        char buf[512];
        const ssize_t n = ::recv(socket, buf, sizeof buf, 0);
        if (n <= 0) return;
        fromRover.append(buf, static_cast<std::size_t>(n));
        for (auto end = fromRover.find('\n'); end != std::string::npos; end = fromRover.find('\n')) {
            const std::string line = fromRover.substr(0, end > 0 && fromRover[end - 1] == '\r' ? end - 1 : end);
            std::lock_guard lock(m_printing);
            std::fprintf(stderr, "zrsim: caster: from the rover: %s\n", line.c_str());
            fromRover.erase(0, end + 1);
        }
    }
}

}  // namespace sim
