// A TCP connection to a caster: POSIX sockets, or Winsock on Windows. Blocking connect,
// reads with a wait, so a reader thread sees its stop flag between reads.
#pragma once

#include <cstdint>
#include <string>

namespace ntrip {

class TcpSocket {
public:
    TcpSocket();
    ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // False with `error` in words: "connection refused", "no such host: X", ...
    bool Connect(const std::string& host, uint16_t port, std::string& error);
    bool SendAll(const std::string& bytes);
    // Up to `capacity` bytes within `waitMs`: the count, 0 when none came, -1 at the end
    // of the connection or on an error.
    long Receive(char* into, std::size_t capacity, int waitMs);
    void Close();
    bool IsOpen() const;

private:
    intptr_t m_socket;
};

}  // namespace ntrip
