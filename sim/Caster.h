// A simulated NTRIP caster on TCP loopback, for the client's tests and walk-throughs:
// a source table with two mountpoints, Basic authentication, NTRIP version 1
// ("ICY 200 OK") and version 2 (HTTP/1.1, chunked), a generated RTCM 3 stream
// (RtcmStream), and faults on request: one frame in N corrupted, each connection
// dropped after some seconds.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sim {

struct CasterOptions {
    uint16_t port = 0;       // 0: any free port (Port() says which)
    std::string userPass;    // "user:password" the stream wants; empty: none
    int corruptEvery = 0;    // one frame in this many goes out with a wrong byte; 0: none
    double dropAfterS = -1;  // each stream connection is closed after this long; negative: never
};

class Caster {
public:
    explicit Caster(CasterOptions options) : m_options(std::move(options)) {}
    ~Caster();

    bool Listen(std::string& error);
    uint16_t Port() const { return m_port; }
    // Serves until Stop(), each connection in a thread of its own.
    void Run();
    void Stop() { m_stop.store(true, std::memory_order_release); }

private:
    void Serve(int socket);
    void SendTable(int socket, bool version2);
    void SendStream(int socket, bool version2);
    bool Authorized(const std::string& head) const;

    CasterOptions m_options;
    int m_listen = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_clients;
    std::mutex m_printing;
};

}  // namespace sim
