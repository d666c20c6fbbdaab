// nmeadump: raw receiver bytes through the monitor's receive path (framer, link thread,
// checksum, parsers, epoch logic, reply decoders), every window message printed as one
// line of JSON.
//
//   nmeadump [FILE | -]               a capture log, or standard input
//   nmeadump --port DEV [--baud N|auto] [--seconds S] [--wait] [--by-id DIR]
//
// Exit status: 0 when everything was decoded (and, with --port, captured); 1 when the
// input could not be read, no rate carried NMEA (--baud auto), the line was lost (without
// --wait), the capture log missed bytes, sentences were dropped or standard output failed
// (a full disk, a closed pipe: the run ends at once); 2 for a bad command line.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "monitor/control/AckDecoder.h"
#include "monitor/link/CaptureLog.h"
#include "monitor/link/NmeaThread.h"
#include "platform/programinfo/ProgramInfo.h"
#include "platform/serial/CancelEvent.h"
#include "platform/system/System.h"
#include "tools/JsonMessages.h"
#include "tools/Options.h"
#include "tools/ReceiveSession.h"
#include "tools/StopRequest.h"
#include "tools/ToolOutput.h"

namespace {


// A failed write (a full disk, a closed pipe) is kept and stops the run; nothing more
// is written after it.
class JsonSink : public ILinkSink {
public:
    void Post(const LinkMessage& message) override {
        Print(MessageJson(message));
    }
    void Binary(std::span<const uint8_t> packet) override { Print(BinaryJson(packet)); }

    // Flushes what is buffered; the failure's words ("cannot write standard output: No
    // space left on device"), or nothing when all was written.
    std::string Finish() {
        if (!m_failed) m_output.Flush(stdout);
        return m_output.Text();
    }

private:
    void Print(const std::string& line) {
        if (m_failed) return;
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        if (!m_output.Check(stdout)) {
            m_failed = true;
            tool::StopFlag().store(true);
        }
    }

    OutputFailure m_output;
    std::atomic<bool> m_failed{false};
};

constexpr const char* kUsage =
    "usage: nmeadump [FILE | -]\n"
    "       nmeadump --port DEV [--baud N|auto] [--seconds S] [--wait] [--by-id DIR]\n"
    "  --baud auto   try 115200, 9600, then the other usual rates until NMEA comes\n"
    "  --wait        a lost line is waited for: its device (found again by its adapter's\n"
    "                name under DIR, default /dev/serial/by-id) is opened when it is back\n";

void Usage() { std::fputs(kUsage, stderr); }

// Feeds a file as the receive worker would, but never faster than the link thread
// takes sentences, so that a capture is read whole.
int DumpFile(const std::string& path) {
    JsonSink sink;
    CNmeaThread link("file", 0, &sink, nullptr, ModuleReplyDecoders());
    link.Start();
    std::string error;
    const bool read = link.FeedFile(path, error);
    link.Shutdown();
    const std::string outputError = sink.Finish();
    if (!read) std::fprintf(stderr, "nmeadump: %s\n", error.c_str());
    if (!outputError.empty()) std::fprintf(stderr, "nmeadump: %s\n", outputError.c_str());
    return read && outputError.empty() ? 0 : 1;
}

// The link's port as the session drives it.
class LinkLine : public ReceiveLine {
public:
    explicit LinkLine(CNmeaThread& link) : m_link(link) {}
    LineLoss Lost() const override { return m_link.LineLost(); }
    void Close() override { m_link.Disconnect(); }
    bool Open(const std::string& device) override { return m_link.Reconnect(device); }

private:
    CNmeaThread& m_link;
};

int DumpPort(ReceiveOptions options) {
    tool::WatchStopRequests();
    if (options.autoBaud) {
        const auto baud = HuntForBaud("nmeadump", options, &tool::StopEvent());
        if (!baud) return tool::StopFlag().load() ? 0 : 1;
        options.baud = *baud;
    }
    JsonSink sink;
    // The link names the capture log for its first connection.
    CaptureLog capture;
    CNmeaThread link(options.device, options.baud, &sink, &capture, ModuleReplyDecoders());
    ReceiveSession session("nmeadump", options, capture);
    LinkLine line(link);
    link.Start();
    if (!link.Connect()) {
        session.Say(link.OpenErrorText());
        return 1;
    }
    std::fprintf(stderr, "nmeadump: %s at %u baud; capturing to %s\n", options.device.c_str(),
                 options.baud, session.CapturePath().c_str());
    const SessionEnd end = session.Run(line, tool::StopFlag(), std::chrono::milliseconds(50));
    // Nothing more comes in; what did come is decoded before the link ends.
    link.Disconnect();
    link.EndOfInput();
    link.Shutdown();
    const std::string outputError = sink.Finish();
    session.EndConnection();
    bool complete = session.ReportCapture();
    if (!outputError.empty()) {
        session.Say(outputError);
        complete = false;
    }
    if (const uint64_t dropped = link.Stream().DroppedSentences(); dropped > 0) {
        session.Say(std::to_string(dropped) + " sentences dropped: the decoder fell behind the line");
        complete = false;
    }
    return end != SessionEnd::LineLost && complete ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "nmeadump", kUsage)) return 0;
    platform::LetWritesToClosedPipesFail();
    std::string error;
    const auto options = ParseReceiveOptions(argc, argv, error);
    const bool fromPort = options && !options->device.empty();
    if (options && !fromPort && options->wait) error = "--wait goes with --port";
    if (!options || options->operands.size() > (fromPort ? 0u : 1u) || (!fromPort && options->wait)) {
        if (!error.empty()) std::fprintf(stderr, "nmeadump: %s\n", error.c_str());
        Usage();
        return 2;
    }
    if (fromPort) return DumpPort(*options);
    return DumpFile(options->operands.empty() ? "-" : options->operands.front());
}
