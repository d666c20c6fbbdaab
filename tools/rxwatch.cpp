// rxwatch: the monitor's receive path without a window. Opens a serial device with the
// monitor's line settings, prints every line that arrives and captures the raw bytes to
// the capture log, as a connection of the monitor does.
//
//   rxwatch --port DEV [--baud N] [--seconds S]
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "CaptureLog.h"
#include "CommPort.h"

namespace {

std::atomic<bool> g_stop{false};
void OnSignal(int) { g_stop.store(true); }

// Bytes from the receive worker, collected for the main thread to print.
class Inbox {
public:
    void Add(uint8_t byte) {
        std::lock_guard lock(m_mutex);
        m_bytes.push_back(static_cast<char>(byte));
        ++m_total;
    }
    std::string Take() {
        std::lock_guard lock(m_mutex);
        std::string out;
        out.swap(m_bytes);
        return out;
    }
    uint64_t Total() {
        std::lock_guard lock(m_mutex);
        return m_total;
    }

private:
    std::mutex m_mutex;
    std::string m_bytes;
    uint64_t m_total = 0;
};

bool g_atLineStart = true;

// Text as it is; other bytes as \xHH so a binary packet cannot upset the terminal.
void Print(const std::string& bytes) {
    if (bytes.empty()) return;
    g_atLineStart = bytes.back() == '\n';
    std::string out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u == '\n' || u == '\r' || (u >= 0x20 && u < 0x7F)) {
            if (u != '\r') out += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    std::string device;
    uint32_t baud = 9600;
    double seconds = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--port" && i + 1 < argc) device = argv[++i];
        else if (arg == "--baud" && i + 1 < argc) baud = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (arg == "--seconds" && i + 1 < argc) seconds = std::atof(argv[++i]);
        else {
            std::fprintf(stderr, "usage: rxwatch --port DEV [--baud N] [--seconds S]\n");
            return 2;
        }
    }
    if (device.empty() || baud == 0) {
        std::fprintf(stderr, "usage: rxwatch --port DEV [--baud N] [--seconds S]\n");
        return 2;
    }

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    Inbox inbox;
    NameCaptureLog(device);
    CCommPort port;
    port.Configure(device, baud, 0, 8, 0, 20);
    if (!port.Open([&inbox](uint8_t b) { inbox.Add(b); })) {
        std::fprintf(stderr, "rxwatch: %s\n", port.OpenErrorText().c_str());
        return 1;
    }
    const std::string logPath = ProgramCaptureLog().FilePath();
    std::fprintf(stderr, "rxwatch: listening on %s at %u baud, 8N1; capture log %s\n",
                 device.c_str(), baud, logPath.c_str());

    const auto start = std::chrono::steady_clock::now();
    while (!g_stop.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        Print(inbox.Take());
        if (seconds > 0 && std::chrono::steady_clock::now() - start >= std::chrono::duration<double>(seconds)) break;
    }
    port.Close();
    CloseCaptureLog();
    Print(inbox.Take());
    if (!g_atLineStart) std::fputc('\n', stdout);
    std::fflush(stdout);
    const uint64_t total = inbox.Total();
    std::fprintf(stderr, "rxwatch: %llu bytes received; %s\n", static_cast<unsigned long long>(total),
                 total ? ("capture log " + logPath).c_str() : "nothing arrived, so no capture log");
    return 0;
}
