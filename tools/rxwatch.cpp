// rxwatch: the monitor's receive path without a window. Opens a serial device with the
// monitor's line settings, prints every line that arrives and captures the raw bytes to
// the capture log, as a connection of the monitor does.
//
//   rxwatch --port DEV [--baud N|auto] [--seconds S] [--wait] [--by-id DIR]
//
// Exit status: 0 when the run ended as asked (time up or interrupted) with every byte
// captured and printed; 1 when the device could not be opened, no rate carried NMEA
// (--baud auto), the line was lost (without --wait), the capture log missed bytes, or
// standard output failed (a full disk, a closed pipe: the run ends at once) or was not
// read fast enough to take every byte; 2 for a bad command line.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "monitor/link/CaptureLog.h"
#include "monitor/link/CommPort.h"
#include "platform/programinfo/ProgramInfo.h"
#include "platform/serial/CancelEvent.h"
#include "platform/system/System.h"
#include "tools/Options.h"
#include "tools/ReceiveSession.h"
#include "tools/StopRequest.h"
#include "tools/ToolOutput.h"

namespace {


// Bytes from the receive worker on their way to standard output, printed on a thread of
// their own so that the run keeps its time whatever the reader does. The worker never
// waits for the reader: what it leaves beyond kHeldBytes is counted and left out (the
// capture log still has it). A failed write ends the run (`failed` is called once).
class Printer {
public:
    static constexpr std::size_t kHeldBytes = 1 << 20;

    explicit Printer(std::function<void()> failed) : m_failed(std::move(failed)), m_thread([this] { Run(); }) {}
    ~Printer() {
        if (m_thread.joinable()) m_thread.join();
    }

    void Add(uint8_t byte) {
        std::lock_guard lock(m_mutex);
        ++m_total;
        if (m_bytes.size() < kHeldBytes) m_bytes.push_back(static_cast<char>(byte));
        else ++m_left;
    }
    // What came so far is printed.
    void Wake() {
        {
            std::lock_guard lock(m_mutex);
            m_wanted = true;
        }
        m_wake.notify_all();
    }
    // Waits up to `timeout` for everything held to be printed; false when the reader
    // did not take it in that time.
    bool Drain(std::chrono::milliseconds timeout) {
        Wake();
        std::unique_lock lock(m_mutex);
        return m_idle.wait_for(lock, timeout, [this] { return Idle(); });
    }
    // Prints what is held and ends the line; false, with the thread let go, when the
    // reader did not take it in `timeout`: the program must then end with _Exit, as
    // the thread may still hold the stream.
    bool Finish(std::chrono::milliseconds timeout) {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        std::unique_lock lock(m_mutex);
        if (!m_idle.wait_for(lock, timeout, [this] { return m_done; })) {
            m_left += m_bytes.size() + m_inWrite;
            m_thread.detach();
            return false;
        }
        lock.unlock();
        m_thread.join();
        return true;
    }
    uint64_t Total() const {
        std::lock_guard lock(m_mutex);
        return m_total;
    }
    uint64_t Left() const {  // received but never printed
        std::lock_guard lock(m_mutex);
        return m_left;
    }
    std::string ErrorText() const { return m_output.Text(); }

private:
    bool Idle() const { return (m_bytes.empty() && m_inWrite == 0) || m_broken; }

    void Run() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_wanted || m_stop; });
            m_wanted = false;
            std::string bytes;
            bytes.swap(m_bytes);
            if (m_broken) m_left += bytes.size(), bytes.clear();
            m_inWrite = bytes.size();
            const bool last = m_stop;
            lock.unlock();
            const bool written = m_broken || Print(bytes, last);
            lock.lock();
            m_inWrite = 0;
            if (!written) {
                m_left += bytes.size();
                m_broken = true;
                if (m_failed) m_failed();
            }
            m_idle.notify_all();
            if (last) {
                m_done = true;
                m_idle.notify_all();
                return;
            }
        }
    }

    // On this thread only.
    bool Print(const std::string& bytes, bool last) {
        if (!bytes.empty()) m_atLineStart = bytes.back() == '\n';
        std::string out = PrintableText(bytes);
        if (last && !m_atLineStart) out += '\n';
        if (out.empty()) return true;
        std::fwrite(out.data(), 1, out.size(), stdout);
        return m_output.Check(stdout) && m_output.Flush(stdout);
    }

    std::function<void()> m_failed;
    OutputFailure m_output;
    bool m_atLineStart = true;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake, m_idle;
    std::string m_bytes;
    std::size_t m_inWrite = 0;
    uint64_t m_total = 0;
    uint64_t m_left = 0;
    bool m_wanted = false, m_stop = false, m_done = false, m_broken = false;
    std::thread m_thread;  // last: it starts once the rest is there
};

// How long what came before a lost line is given to reach the reader before the loss is
// told, and what is held at the end before rxwatch ends without it.
constexpr auto kShowBeforeLossWait = std::chrono::milliseconds(500);
constexpr auto kFinishWait = std::chrono::milliseconds(2000);

// The serial port with the monitor's line settings, printing what arrives.
class WatchedPort : public ReceiveLine {
public:
    WatchedPort(const ReceiveOptions& options, Printer& printer, CaptureLog& capture)
        : m_options(options), m_printer(printer), m_port(&capture) {}

    LineLoss Lost() const override { return m_port.LineLost(); }
    void Close() override { m_port.Close(); }
    bool Open(const std::string& device) override {
        m_port.Configure(device, m_options.baud, kNoParity, kEightBits, kOneStopBit, kReadIntervalMs);
        return m_port.Open([this](uint8_t b) { m_printer.Add(b); });
    }
    // Called after Close when the line was lost: what came before is shown first.
    void Tick() override {
        if (m_port.LineLost().IsLost()) m_printer.Drain(kShowBeforeLossWait);
        else m_printer.Wake();
    }
    const std::string& OpenErrorText() const { return m_port.OpenErrorText(); }

private:
    const ReceiveOptions& m_options;
    Printer& m_printer;
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

    tool::WatchStopRequests();
    if (options->autoBaud) {
        const auto baud = HuntForBaud("rxwatch", *options, &tool::StopEvent());
        if (!baud) return tool::StopFlag().load() ? 0 : 1;
        options->baud = *baud;
    }
    platform::LetWritesToClosedPipesFail();
    Printer printer([] { tool::StopFlag().store(true); });
    CaptureLog capture;
    ReceiveSession session("rxwatch", *options, capture);
    WatchedPort port(*options, printer, capture);
    session.NameCapture(options->device);
    if (!port.Open(options->device)) {
        session.Say(port.OpenErrorText());
        printer.Finish(kFinishWait);
        return 1;
    }
    std::fprintf(stderr, "rxwatch: listening on %s at %u baud, 8N1; capturing to %s\n",
                 options->device.c_str(), options->baud, session.CapturePath().c_str());

    const SessionEnd end = session.Run(port, tool::StopFlag(), std::chrono::milliseconds(100));
    port.Close();
    capture.Close();
    session.EndConnection();
    const bool finished = printer.Finish(kFinishWait);
    const uint64_t total = printer.Total();
    std::string logs = session.WrittenLogs();
    if (logs.empty()) logs = total ? "no capture log written" : "nothing arrived, so no capture log";
    session.Say(std::to_string(total) + " bytes received; " + logs);
    bool shown = true;
    if (const std::string error = printer.ErrorText(); !error.empty()) {
        session.Say(error);
        shown = false;
    } else if (const uint64_t left = printer.Left(); left > 0) {
        session.Say(std::to_string(left) + " received bytes not printed: standard output was not read in time");
        shown = false;
    }
    const bool captured = session.ReportCapture();
    const int status = end != SessionEnd::LineLost && captured && shown ? 0 : 1;
    if (!finished) {
        // The printing thread may hold standard output in a write nobody reads: ending
        // the usual way would wait on it to flush.
        std::fflush(stderr);
        std::_Exit(status);
    }
    return status;
}
