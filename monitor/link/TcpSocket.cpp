#include "monitor/link/TcpSocket.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace ntrip {
namespace {

#ifdef _WIN32
using Native = SOCKET;
constexpr intptr_t kNone = static_cast<intptr_t>(INVALID_SOCKET);
int CloseNative(Native s) { return closesocket(s); }
int PollOne(pollfd& p, int waitMs) { return WSAPoll(&p, 1, waitMs); }
bool WasRefused() { return WSAGetLastError() == WSAECONNREFUSED; }
std::string LastErrorText() { return "socket error " + std::to_string(WSAGetLastError()); }
// Winsock wants its start-up once per process before the first socket.
void StartSockets() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}
#else
using Native = int;
constexpr intptr_t kNone = -1;
int CloseNative(Native s) { return ::close(s); }
int PollOne(pollfd& p, int waitMs) { return ::poll(&p, 1, waitMs); }
bool WasRefused() { return errno == ECONNREFUSED; }
std::string LastErrorText() { return std::strerror(errno); }
void StartSockets() {}
#endif

Native AsNative(intptr_t s) { return static_cast<Native>(s); }

// A caster behind a dead route never answers a connect, and the system's own limit is
// minutes: past this the attempt counts as failed and the client tries again later.
constexpr int kConnectWaitMs = 10000;

#ifdef _WIN32
void SetBlocking(Native s, bool blocking) {
    u_long nonBlocking = blocking ? 0 : 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
}
bool ConnectPending() { return WSAGetLastError() == WSAEWOULDBLOCK; }
// select() rather than WSAPoll, which older Windows never wakes for a refused connect.
int WaitConnected(Native s, int waitMs) {
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval wait{waitMs / 1000, (waitMs % 1000) * 1000};
    return ::select(0, nullptr, &writable, &failed, &wait);
}
void SetSocketError(int code) { WSASetLastError(code); }
constexpr int kTimedOut = WSAETIMEDOUT;
#else
void SetBlocking(Native s, bool blocking) {
    const int flags = ::fcntl(s, F_GETFL, 0);
    ::fcntl(s, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK);
}
bool ConnectPending() { return errno == EINPROGRESS; }
int WaitConnected(Native s, int waitMs) {
    pollfd p{};
    p.fd = s;
    p.events = POLLOUT;
    return ::poll(&p, 1, waitMs);
}
void SetSocketError(int code) { errno = code; }
constexpr int kTimedOut = ETIMEDOUT;
#endif

// connect() with a limit on the wait; false with the system's error code set, as a
// blocking connect leaves it.
bool ConnectWithin(Native s, const addrinfo& a, int waitMs) {
    SetBlocking(s, false);
    if (::connect(s, a.ai_addr, static_cast<int>(a.ai_addrlen)) != 0) {
        if (!ConnectPending()) return false;
        const int ready = WaitConnected(s, waitMs);
        if (ready == 0) SetSocketError(kTimedOut);  // a failed wait has set its own
        if (ready <= 0) return false;
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
        if (error != 0) return SetSocketError(error), false;
    }
    SetBlocking(s, true);
    return true;
}

}  // namespace

TcpSocket::TcpSocket() : m_socket(kNone) { StartSockets(); }

TcpSocket::~TcpSocket() { Close(); }

bool TcpSocket::IsOpen() const { return m_socket != kNone; }

void TcpSocket::Close() {
    if (m_socket != kNone) CloseNative(AsNative(m_socket));
    m_socket = kNone;
}

bool TcpSocket::Connect(const std::string& host, uint16_t port, std::string& error) {
    Close();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
        error = "no such host: " + host;
        return false;
    }
    bool refused = false;
    for (const addrinfo* a = found; a && m_socket == kNone; a = a->ai_next) {
        const Native s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (static_cast<intptr_t>(s) == kNone) continue;
        if (ConnectWithin(s, *a, kConnectWaitMs)) {
            m_socket = static_cast<intptr_t>(s);
            break;
        }
        refused = refused || WasRefused();
        error = LastErrorText();
        CloseNative(s);
    }
    ::freeaddrinfo(found);
    if (m_socket == kNone && refused) error = "connection refused";
    return m_socket != kNone;
}

bool TcpSocket::SendAll(const std::string& bytes) {
    std::size_t sent = 0;
    while (m_socket != kNone && sent < bytes.size()) {
#ifdef _WIN32
        const int n = ::send(AsNative(m_socket), bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
#else
        const ssize_t n = ::send(AsNative(m_socket), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
#endif
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return m_socket != kNone;
}

long TcpSocket::Receive(char* into, std::size_t capacity, int waitMs) {
    if (m_socket == kNone) return -1;
    pollfd p{};
    p.fd = AsNative(m_socket);
    p.events = POLLIN;
    const int ready = PollOne(p, waitMs);
    if (ready < 0) return -1;
    if (ready == 0) return 0;
    const auto n = ::recv(AsNative(m_socket), into, static_cast<int>(capacity), 0);
    return n > 0 ? static_cast<long>(n) : -1;
}

}  // namespace ntrip
