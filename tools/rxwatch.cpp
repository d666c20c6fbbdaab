// rxwatch: the monitor's receive path without a window. Opens a serial device with the
// monitor's line settings, prints every line that arrives and captures the raw bytes to
// the capture log, as a connection of the monitor does.
//
//   rxwatch --port DEV [--baud N|auto] [--seconds S] [--wait] [--by-id DIR]
//
// Exit status: 0 when the run ended as asked (time up or interrupted) with every byte
// captured; 1 when the device could not be opened, no rate carried NMEA (--baud auto),
// the line was lost (without --wait) or the capture log missed bytes; 2 for a bad
// command line.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "CancelEvent.h"
#include "CaptureLog.h"
#include "CommPort.h"
#include "Options.h"
#include "ProgramInfo.h"
#include "ReceiveSession.h"
#include "System.h"

namespace {

std::atomic<bool> g_stop{false};
serial::CancelEvent g_huntCancel;  // Ctrl+C also ends a rate hunt
void OnSignal(int) {
    g_stop.store(true);
    g_huntCancel.Set();
}

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

// The serial port with the monitor's line settings, printing what arrives.
class WatchedPort : public ReceiveLine {
public:
    WatchedPort(const ReceiveOptions& options, Inbox& inbox) : m_options(options), m_inbox(inbox) {}

    LineLoss Lost() const override { return m_port.LineLost(); }
    void Close() override { m_port.Close(); }
    bool Open(const std::string& device) override {
        m_port.Configure(device, m_options.baud, 0, 8, 0, 20);
        return m_port.Open([this](uint8_t b) { m_inbox.Add(b); });
    }
    void Tick() override { Print(m_inbox.Take()); }
    const std::string& OpenErrorText() const { return m_port.OpenErrorText(); }

private:
    const ReceiveOptions& m_options;
    Inbox& m_inbox;
    CCommPort m_port;
};

constexpr const char* kUsage =
    "usage: rxwatch --port DEV [--baud N|auto] [--seconds S] [--wait] [--by-id DIR]\n"
    "  --baud auto   try 115200, 9600, then the other usual rates until NMEA comes\n"
    "  --wait        a lost line is waited for: its device (found again by its adapter's\n"
    "                name under DIR, default /dev/serial/by-id) is opened when it is back\n";

void Usage() { std::fputs(kUsage, stderr); }

}  // namespace

int main(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "rxwatch", kUsage)) return 0;
    std::string error;
    auto options = ParseReceiveOptions(argc, argv, error);
    if (!options || options->device.empty() || !options->operands.empty()) {
        if (!error.empty()) std::fprintf(stderr, "rxwatch: %s\n", error.c_str());
        Usage();
        return 2;
    }

    platform::OnStopRequest(OnSignal);
    if (options->autoBaud) {
        const auto baud = HuntForBaud("rxwatch", *options, &g_huntCancel);
        if (!baud) return g_stop.load() ? 0 : 1;
        options->baud = *baud;
    }
    Inbox inbox;
    ReceiveSession session("rxwatch", *options, ProgramCaptureLog());
    WatchedPort port(*options, inbox);
    session.NameCapture(options->device);
    if (!port.Open(options->device)) {
        session.Say(port.OpenErrorText());
        return 1;
    }
    std::fprintf(stderr, "rxwatch: listening on %s at %u baud, 8N1; capturing to %s\n",
                 options->device.c_str(), options->baud, session.CapturePath().c_str());

    const SessionEnd end = session.Run(port, g_stop, std::chrono::milliseconds(100));
    port.Close();
    CloseCaptureLog();
    session.EndConnection();
    port.Tick();
    if (!g_atLineStart) std::fputc('\n', stdout);
    std::fflush(stdout);
    const uint64_t total = inbox.Total();
    std::string logs = session.WrittenLogs();
    if (logs.empty()) logs = total ? "no capture log written" : "nothing arrived, so no capture log";
    session.Say(std::to_string(total) + " bytes received; " + logs);
    const bool captured = session.ReportCapture();
    return end != SessionEnd::LineLost && captured ? 0 : 1;
}
