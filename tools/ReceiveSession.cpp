#include "tools/ReceiveSession.h"

#include <algorithm>
#include <cstdio>
#include <thread>

#include "monitor/link/BaudHunt.h"
#include "monitor/link/CaptureLog.h"
#include "platform/serial/PortList.h"

std::optional<uint32_t> HuntForBaud(const std::string& tool, ReceiveOptions& options,
                                    const serial::CancelEvent* cancel) {
    const auto say = [&](const std::string& message) { std::fprintf(stderr, "%s: %s\n", tool.c_str(), message.c_str()); };
    // A device lost during the hunt is, with --wait, waited for as a lost line is, and
    // the hunt starts again where it comes back.
    const LineReturn line(options.device, options.byIdDir);
    const bool wasThere = !serial::DeviceBehind(options.device).empty();
    for (;;) {
        const HuntOutcome outcome = HuntBaudRate(options.device, {}, cancel, [&](uint32_t rate) {
            say("trying " + std::to_string(rate) + " ...");
        });
        if (outcome.stopped) say("baud rate search stopped");
        else if (!outcome.error.empty()) say(outcome.error);
        else if (outcome.baudRate == 0) say(NoNmeaText(options.device));
        else say("found " + std::to_string(outcome.baudRate));
        if (outcome.baudRate != 0) return outcome.baudRate;
        // A device that is still there refused to open (busy, no permission): no pull.
        if (outcome.stopped || outcome.error.empty() || !options.wait || !wasThere ||
            !serial::DeviceBehind(options.device).empty())
            return std::nullopt;
        say("waiting for " + options.device + " to come back");
        std::string where;
        while ((where = line.WhereNow()).empty()) {
            if (cancel ? cancel->Wait(100) : (std::this_thread::sleep_for(std::chrono::milliseconds(100)), false)) {
                say("baud rate search stopped");
                return std::nullopt;
            }
        }
        options.device = where;
    }
}

// The stable name is looked up now, while the device is there to be found.
ReceiveSession::ReceiveSession(std::string tool, const ReceiveOptions& options, CaptureLog& log)
    : m_tool(std::move(tool)), m_options(options), m_log(log), m_return(options.device, options.byIdDir) {
    if (options.seconds > 0)
        m_deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(options.seconds));
}

void ReceiveSession::Say(const std::string& message) const {
    std::fprintf(stderr, "%s: %s\n", m_tool.c_str(), message.c_str());
}

void ReceiveSession::NameCapture(const std::string& device) {
    m_log.Name(device);
    m_connectionEnded = false;
}

std::string ReceiveSession::CapturePath() const { return m_log.FilePath(); }

void ReceiveSession::PollCapture() {
    const std::string error = m_log.ErrorText();
    if (error.empty() || std::find(m_problems.begin(), m_problems.end(), error) != m_problems.end())
        return;
    m_problems.push_back(error);
    Say(error);
}

void ReceiveSession::EndConnection() {
    if (m_connectionEnded) return;
    m_connectionEnded = true;
    PollCapture();
    if (m_log.WasWritten()) m_written.push_back(m_log.FilePath());
    m_bytesLost += m_log.BytesLost();
}

std::string ReceiveSession::WrittenLogs() const {
    if (m_written.empty()) return {};
    std::string out = m_written.size() == 1 ? "capture log " : "capture logs ";
    for (std::size_t i = 0; i < m_written.size(); ++i) out += (i ? ", " : "") + m_written[i];
    return out;
}

bool ReceiveSession::ReportCapture() const {
    for (const std::string& problem : m_problems) Say(problem);
    if (m_bytesLost > 0) Say(std::to_string(m_bytesLost) + " received bytes are missing from the capture");
    return m_problems.empty() && m_bytesLost == 0;
}

std::optional<SessionEnd> ReceiveSession::Over(const std::atomic<bool>& stop) const {
    if (stop.load()) return SessionEnd::Stopped;
    if (Clock::now() >= m_deadline) return SessionEnd::TimeUp;
    return std::nullopt;
}

SessionEnd ReceiveSession::Run(ReceiveLine& line, const std::atomic<bool>& stop,
                               std::chrono::milliseconds poll) {
    for (;;) {
        std::this_thread::sleep_for(poll);
        line.Tick();
        PollCapture();
        if (const LineLoss loss = line.Lost(); loss.IsLost()) {
            line.Close();
            line.Tick();  // what came before the loss is shown before the message
            EndConnection();
            Say("line lost on " + m_options.device + ": " + loss.words);
            if (!m_options.wait) return SessionEnd::LineLost;
            if (const auto end = AwaitLine(line, stop, poll)) return *end;
        }
        if (const auto end = Over(stop)) return *end;
    }
}

std::optional<SessionEnd> ReceiveSession::AwaitLine(ReceiveLine& line, const std::atomic<bool>& stop,
                                                    std::chrono::milliseconds poll) {
    Say("waiting for " + m_options.device + " to come back");
    for (;;) {
        if (const auto end = Over(stop)) return end;
        const std::string where = m_return.WhereNow();
        if (!where.empty()) {
            NameCapture(where);
            if (line.Open(where)) {
                Say("line back on " + where + "; capturing to " + CapturePath());
                return std::nullopt;
            }
        }
        std::this_thread::sleep_for(poll);
    }
}
