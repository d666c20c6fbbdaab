#include "monitor/link/NmeaThread.h"

#include <cerrno>
#include <chrono>
#include <cstdio>

#include "monitor/link/CaptureLog.h"
#include "platform/system/System.h"

namespace {
// Between closing the port and opening it again: a USB bridge's driver ends the close
// before the device can be opened anew.
constexpr auto kReopenPause = std::chrono::milliseconds(50);
// With the console on the link thread wakes at least this often, so the last lines
// before a quiet line reach the window too.
constexpr int kConsoleWakeMs = static_cast<int>(ConsoleFeed::kHandOverMs);
}  // namespace

CNmeaThread::CNmeaThread(std::string deviceName, uint32_t baudRate, ILinkSink* sink, CaptureLog* log,
                         ReplyDecoders decoders)
    : m_deviceName(std::move(deviceName)),
      m_baudRate(baudRate),
      m_log(log),
      m_dispatcher(sink, decoders),
      m_port(log) {
    if (m_log) m_log->Name(m_deviceName);
}

CNmeaThread::~CNmeaThread() { Shutdown(); }

void CNmeaThread::Start() {
    if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
}

bool CNmeaThread::Connect() {
    m_port.Close();
    std::this_thread::sleep_for(kReopenPause);
    m_port.Configure(m_deviceName, m_baudRate, kNoParity, kEightBits, kOneStopBit, kReadIntervalMs);
    const auto received = [this](const uint8_t* bytes, std::size_t count) {
        m_bytesReceived.store(m_bytesReceived.load(std::memory_order_relaxed) + count, std::memory_order_release);
        m_stream.FeedRxBytes(bytes, count);
    };
    if (!m_port.Open(received)) {
        // A lost line is tried again every quarter second: the same failure is told once.
        const std::string note = "cannot open " + m_deviceName + ": " + m_port.OpenErrorText();
        if (note != m_lastOpenFailure) ConsoleNote(note);
        m_lastOpenFailure = note;
        return false;
    }
    m_lastOpenFailure.clear();
    ConsoleNote("opened " + m_deviceName + " at " + std::to_string(m_baudRate) + " baud");
    if (m_log) m_log->Create();  // at once: the file is there, and its name is ours, before any byte
    {
        std::lock_guard lock(m_lossMutex);
        m_closedLoss = {};
    }
    m_connected.store(true, std::memory_order_release);
    return true;
}

bool CNmeaThread::Reconnect(const std::string& device) {
    Disconnect();
    m_deviceName = device;
    if (m_log) m_log->Name(m_deviceName);
    return Connect();
}

void CNmeaThread::Disconnect() {
    if (LineLoss loss = m_port.LineLost(); loss.IsLost()) {
        ConsoleNote("line lost on " + m_deviceName + ": " + loss.words);
        std::lock_guard lock(m_lossMutex);
        m_closedLoss = std::move(loss);
    } else if (m_connected.load(std::memory_order_acquire)) {
        ConsoleNote("closed " + m_deviceName);
    }
    m_port.Close();
    m_connected.store(false, std::memory_order_release);
}

LineLoss CNmeaThread::LineLost() const {
    if (LineLoss loss = m_port.LineLost(); loss.IsLost()) return loss;
    std::lock_guard lock(m_lossMutex);
    return m_closedLoss;
}

void CNmeaThread::Shutdown() {
    if (m_shutDown.exchange(true, std::memory_order_acq_rel)) return;
    m_stop.store(true, std::memory_order_release);
    Disconnect();
    m_stream.Wake();
    if (m_thread.joinable()) m_thread.join();
    else if (m_log) m_log->Close();  // never started: nothing else will close it
}

bool CNmeaThread::SendBytes(const uint8_t* bytes, std::size_t length, unsigned hold) {
    std::lock_guard lock(m_holdMutex);
    if (m_holder != hold) return false;
    if (m_port.IsOpen()) {
        m_port.Enqueue(bytes, length);
        if (m_consoleOn) m_console.Sent(std::span<const uint8_t>(bytes, length), ConsoleNowMs());
    } else if (m_consoleOn) {
        m_console.Note("not sent, the line is closed: " + SentText(std::span<const uint8_t>(bytes, length)), ConsoleNowMs());
    }
    return true;
}

unsigned CNmeaThread::HoldLine() {
    std::lock_guard lock(m_holdMutex);
    if (m_holder != 0) return 0;
    if (++m_lastHold == 0) ++m_lastHold;
    return m_holder = m_lastHold;
}

void CNmeaThread::ReleaseLine(unsigned hold) {
    std::lock_guard lock(m_holdMutex);
    if (m_holder == hold) m_holder = 0;
}

bool CNmeaThread::LineHeld() const {
    std::lock_guard lock(m_holdMutex);
    return m_holder != 0;
}

// Only a new sentence or packet takes room: the bytes go in pieces that each begin at
// one, after waiting for room.
void CNmeaThread::FeedWithoutDrops(const uint8_t* bytes, std::size_t count) {
    // Counted as the port's bytes are: a replay's counts read like a line's.
    m_bytesReceived.store(m_bytesReceived.load(std::memory_order_relaxed) + count, std::memory_order_release);
    const auto isStart = [](uint8_t b) { return b == '$' || b == kBinaryStart || b == ubx::kSync1; };
    std::size_t at = 0;
    while (at < count) {
        std::size_t next = at + 1;
        while (next < count && !isStart(bytes[next])) ++next;
        if (isStart(bytes[at]))
            while (!m_stream.HasRoom()) std::this_thread::yield();
        m_stream.FeedRxBytes(bytes + at, next - at);
        at = next;
    }
}

bool CNmeaThread::FeedFile(const std::string& path, std::string& error) {
    const std::string name = path == "-" ? "standard input" : path;
    std::FILE* in = path == "-" ? platform::BinaryInput(stdin) : std::fopen(path.c_str(), "rb");
    if (!in) {
        error = "cannot read " + name + ": " + platform::ErrorText(errno);
        return false;
    }
    uint8_t buffer[8192];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) FeedWithoutDrops(buffer, n);
    const int readError = std::ferror(in) ? errno : 0;
    if (in != stdin) std::fclose(in);
    EndOfInput();
    if (readError != 0) error = "cannot read " + name + ": " + platform::ErrorText(readError);
    return readError == 0;
}

int CNmeaThread::ProcessPending() {
    int taken = 0;
    SentenceDescriptor d;
    while (m_stream.PopSentence(d, reinterpret_cast<uint8_t*>(m_text))) {
        ++taken;
        const auto* bytes = reinterpret_cast<const uint8_t*>(m_text);
        const auto length = static_cast<std::size_t>(d.length);
        if (d.kind == SentenceKind::Binary || d.kind == SentenceKind::Ubx) {
            if (m_consoleOn) m_console.ReceivedBinary(std::span<const uint8_t>(bytes, length), ConsoleNowMs());
            if (d.kind == SentenceKind::Binary) m_dispatcher.DispatchBinary(bytes, d.length);
            else m_dispatcher.DispatchUbx(bytes, d.length);
        } else {
            if (m_stop.load(std::memory_order_acquire)) break;
            // The console line before the dispatch, which may write into the text.
            const uint64_t bad = m_dispatcher.ChecksumErrors();
            if (m_consoleOn) m_console.Received(std::string_view(m_text, length), false, ConsoleNowMs());
            m_dispatcher.DispatchText(m_text, d.length, d.id);
            if (m_consoleOn && m_dispatcher.ChecksumErrors() != bad) m_console.MarkLastBad();
        }
        // One writer: a plain store, not a locked add per sentence.
        m_taken.store(m_taken.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }
    return taken;
}

void CNmeaThread::Drain() {
    while (m_taken.load(std::memory_order_acquire) + m_stream.DroppedSentences() <
           m_stream.CompletedSentences())
        std::this_thread::sleep_for(std::chrono::microseconds(200));
}

// The link thread is idle once the queue is drained; what it dispatched is seen here
// through the count it published, and what this writes reaches it through the stream
// with the next bytes fed.
void CNmeaThread::EndOfInput() {
    Drain();
    m_dispatcher.EndOfInput();
}

void CNmeaThread::Run() {
    while (!m_stop.load(std::memory_order_acquire)) {
        if (m_consoleOn) m_stream.WaitReadyFor(kConsoleWakeMs);
        else m_stream.WaitReady();
        ProcessPending();
        if (m_consoleOn) HandOverConsole(false);
    }
    if (m_consoleOn) HandOverConsole(true);  // the close note included
    if (m_log) m_log->Close();
}

void CNmeaThread::HandOverConsole(bool force) {
    ConsoleBatch batch;
    if (m_console.TakeDue(ConsoleNowMs(), force, batch)) m_dispatcher.PostConsole(std::move(batch));
}

LinkStatistics CNmeaThread::Statistics() const {
    LinkStatistics s;
    s.bytes = BytesReceived();
    s.sentences = m_stream.CompletedSentences();
    s.checksumErrors = m_dispatcher.ChecksumErrors();
    s.queueDrops = m_stream.DroppedSentences();
    s.overlong = m_stream.OverlongLines();
    s.cutShort = m_stream.CutSentences();
    return s;
}
