// nmeadump: raw receiver bytes through the monitor's receive path (framer, link thread,
// checksum, parsers, epoch logic, reply decoder), every window message printed as one
// line of JSON.
//
//   nmeadump [FILE | -]               a capture log, or standard input
//   nmeadump --port DEV [--baud N] [--seconds S]
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "CaptureLog.h"
#include "JsonMessages.h"
#include "NmeaThread.h"
#include "ResponseDecoder.h"

namespace {

std::atomic<bool> g_stop{false};
void OnSignal(int) { g_stop.store(true); }

class JsonSink : public ILinkSink {
public:
    void Post(const LinkMessage& message) override {
        const std::string line = MessageJson(message);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
    }
};

void Usage() {
    std::fputs("usage: nmeadump [FILE | -]\n"
               "       nmeadump --port DEV [--baud N] [--seconds S]\n", stderr);
}

// Feeds a file as the receive worker would, but never faster than the link thread
// takes sentences, so that a capture is read whole.
int DumpFile(const std::string& path) {
    FILE* in = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (!in) {
        std::fprintf(stderr, "nmeadump: cannot read %s\n", path.c_str());
        return 1;
    }
    JsonSink sink;
    CNmeaThread link("file", 0, &sink, nullptr, DecodeResponse);
    link.Start();
    unsigned char buffer[8192];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        for (std::size_t i = 0; i < n; ++i) {
            link.FeedRxByte(buffer[i]);
            while (link.Stream().Pending() >= kSentenceQueueSize - 8) std::this_thread::yield();
        }
    }
    if (in != stdin) std::fclose(in);
    link.Drain();
    link.Shutdown();
    std::fflush(stdout);
    return 0;
}

int DumpPort(const std::string& device, uint32_t baud, double seconds) {
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    JsonSink sink;
    CNmeaThread link(device, baud, &sink, &ProgramCaptureLog(), DecodeResponse);
    link.Start();
    if (!link.Connect()) {
        std::fprintf(stderr, "nmeadump: %s\n", link.OpenErrorText().c_str());
        return 1;
    }
    std::fprintf(stderr, "nmeadump: %s at %u baud; capture log %s\n", device.c_str(), baud,
                 ProgramCaptureLog().FilePath().c_str());
    const auto start = std::chrono::steady_clock::now();
    while (!g_stop.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (seconds > 0 && std::chrono::steady_clock::now() - start >= std::chrono::duration<double>(seconds)) break;
    }
    link.Shutdown();
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string device, file;
    uint32_t baud = 9600;
    double seconds = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--port" && i + 1 < argc) device = argv[++i];
        else if (arg == "--baud" && i + 1 < argc) baud = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (arg == "--seconds" && i + 1 < argc) seconds = std::atof(argv[++i]);
        else if ((arg == "-" || arg[0] != '-') && file.empty()) file = arg;
        else {
            Usage();
            return 2;
        }
    }
    if (!device.empty() && !file.empty()) {
        Usage();
        return 2;
    }
    if (!device.empty()) {
        if (baud == 0) {
            std::fputs("nmeadump: --baud must be a positive number\n", stderr);
            return 2;
        }
        return DumpPort(device, baud, seconds);
    }
    return DumpFile(file.empty() ? "-" : file);
}
