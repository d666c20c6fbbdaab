// zrsim: plays a GNSS receiver module on a pseudo-terminal.
//
//   zrsim [--link PATH] [--rate N] [--route] [--start LAT,LON[,ALT]] [--time UNIX]
//         [--gn-gsa] [--gsa-system-id] [--qz-talker] [--gb-talker]
//         [--replay FILE [--loop]] [--epochs N] [--unpaced] [--flood]
//         [--flash FILE] [--flash-size BYTES] [--boot-baud N] [--ttff COLD,WARM,HOT]
//         [--gpd-out FILE] [--baud N] [--unplug-after S [--unplug-for S]] [--fault NAME[=ARGS]]...
//   zrsim --caster PORT [--caster-user U:P] [--caster-corrupt N] [--caster-drop-after S]
//
// Prints the device path of the line (or, as a caster, "caster on 127.0.0.1:PORT") on
// the first line of standard output, then runs until interrupted.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include "platform/programinfo/CommandLine.h"
#include "platform/programinfo/ProgramInfo.h"
#include "sim/Caster.h"
#include "sim/PtyLine.h"
#include "sim/Simulator.h"

namespace {

sim::Simulator* g_running = nullptr;
sim::Caster* g_caster = nullptr;

// SIGUSR1 takes the module out of the fixture, or puts it back.
void OnFixture(int) {
    if (g_running) g_running->SetInserted(!g_running->Inserted());
}

// SIGUSR2 pulls the adapter, or plugs it in again.
void OnAdapter(int) {
    if (g_running) g_running->SetPlugged(!g_running->Plugged());
}

// A whole number from `low` to `high`, or a number of seconds from 0 up; the whole
// argument or nothing.
// Bounds of the command line's numbers: the last second of the year 9999, more epochs
// than any run makes, and about eleven days of seconds.
constexpr int64_t kLastUnixSecond = 253402300799;
constexpr int64_t kMostEpochs = int64_t{1} << 40;
constexpr double kLongestSimSeconds = 1e6;

void OnSignal(int) {
    if (g_running) g_running->Stop();
    if (g_caster) g_caster->Stop();
}

void Usage(FILE* to) {
    std::fputs(
        "usage: zrsim [options]\n"
        "  --link PATH          also make PATH a symbolic link to the device\n"
        "  --rate N             fix epochs per second, 1 to 10 (default 1)\n"
        "  --route              drive a square route instead of standing still\n"
        "  --start LAT,LON[,ALT] start point in degrees and metres\n"
        "  --time UNIX          UTC of the first epoch, seconds since 1970 (default: now)\n"
        "  --gn-gsa             one GNGSA per constellation instead of GP/GL/BD/GA\n"
        "  --gsa-system-id      add the NMEA 4.10 system id to each GSA\n"
        "  --qz-talker          QZSS in its own QZGSV group instead of GPGSV\n"
        "  --gb-talker          BeiDou talker GB instead of BD\n"
        "  --replay FILE        send FILE's bytes instead of generating NMEA\n"
        "  --loop               with --replay: start again at the end\n"
        "  --epochs N           stop sending after N epochs\n"
        "  --unpaced            do not pace bytes at the host's baud rate\n"
        "  --flood              send epochs back to back, not once per epoch period\n"
        "  --removed            start with no module in the fixture; SIGUSR1 puts one in\n"
        "                       or takes it out again\n"
        "  --baud N             the module talks at N baud only (1 to 4000000); a host at\n"
        "                       another rate gets garbage and is not heard (default: any)\n"
        "  --unplug-after S     pull the adapter after S seconds: the device and its link\n"
        "                       go away and the host's reads fail\n"
        "  --unplug-for S       plug it in again S seconds later (default 2): a new device\n"
        "                       behind the same link, the module from power-on; SIGUSR2\n"
        "                       pulls or plugs the adapter at any time\n"
        "  --adapter-latency MS hold each answer MS milliseconds, as a USB serial bridge's\n"
        "                       latency timer does (0 to 1000)\n"
        "  --flash FILE         the chip's flash (made and erased to 0xFF when missing)\n"
        "  --flash-size BYTES   size of the flash (default 4194304)\n"
        "  --boot-baud N        the only rate the boot ROM, and the loader until its baud\n"
        "                       switch, answers at (default 115200)\n"
        "  --ttff C,W,H         seconds of epochs to the first fix after a cold, warm and\n"
        "                       hot restart (default 30,15,2)\n"
        "  --gpd-out FILE       write each completed GPD upload to FILE\n"
        "  --caster PORT        be an NTRIP caster on 127.0.0.1:PORT instead (0: any free\n"
        "                       port): mountpoints SIM1 (wants GGA) and SIM2, RTCM 3\n"
        "  --caster-user U:P    the caster's streams want this user and password\n"
        "  --caster-corrupt N   one RTCM frame in N goes out with a wrong byte\n"
        "  --caster-drop-after S  each stream connection is closed after S seconds\n"
        "  --fault NAME[=ARGS]  misbehave on purpose; repeatable:\n"
        "      silent-bootrom        no answer to the sync bytes\n"
        "      bad-bulk-echo=N       change data byte N in the RAM write's echo\n"
        "      wrong-checksum        RAM checksum off by one bit\n"
        "      silent-jump           no echo for the jump to the loader\n"
        "      refuse-ready          0x1C instead of the loader's ready byte\n"
        "      wrong-lead            another byte instead of the loader's ready byte\n"
        "      refuse-range          refuse the flash range\n"
        "      wrong-ready           ready byte followed by 0x02 0x00\n"
        "      refuse-baud           refuse the switch to the fast baud rate\n"
        "      garbage=K,N           answer packet K with garbage N times\n"
        "      refuse-retry          answer the host's 0xB6 with a refusal\n"
        "      abort=K,CODE          answer packet K with CODE (5, 6 or 7)\n"
        "      final-failure         end the packet stream with 0xB6\n"
        "      cut=N                 the line goes dead after N bytes from the host\n"
        "    GPD upload (K: a block number, 65535 the end block, -1 the switch command):\n"
        "      gpd-silent=K          no reply\n"
        "      gpd-bad-status=K[,S]  status S (default 0; 2 for the switch command)\n"
        "      gpd-bad-checksum=K    the reply's XOR byte is wrong\n"
        "      gpd-wrong-block=K     the reply names the next block (or command)\n",
        to);
}

bool ParseGpdFault(const std::string& name, int n, long long a, long long b, sim::GpdFaults& g) {
    if (n < 1 || a < -1 || a > 65535) return false;
    if (name == "gpd-silent") g.silentAt = a;
    else if (name == "gpd-bad-status") {
        g.badStatusAt = a;
        g.badStatus = static_cast<uint8_t>(n == 2 ? b : a == sim::GpdFaults::kSwitchCommand ? 2 : 0);
    } else if (name == "gpd-bad-checksum") g.badChecksumAt = a;
    else if (name == "gpd-wrong-block") g.wrongBlockAt = a;
    else return false;
    return true;
}

bool ParseFault(const std::string& faultText, sim::SimulatorOptions& options) {
    sim::ChipFaults& f = options.faults;
    const auto eq = faultText.find('=');
    const std::string name = faultText.substr(0, eq);
    const char* args = eq == std::string::npos ? "" : faultText.c_str() + eq + 1;
    long long a = -1, b = -1;
    const int n = std::sscanf(args, "%lld,%lli", &a, &b);
    if (name == "silent-bootrom") f.silentBootRom = true;
    else if (name == "bad-bulk-echo") f.corruptBulkEchoAt = n >= 1 ? a : 300;
    else if (name == "wrong-checksum") f.wrongChecksum = true;
    else if (name == "silent-jump") f.silentJump = true;
    else if (name == "refuse-ready") f.refuseReady = true;
    else if (name == "wrong-lead") f.wrongLead = true;
    else if (name == "refuse-range") f.refuseRange = true;
    else if (name == "wrong-ready") f.wrongReady = true;
    else if (name == "refuse-baud") f.refuseBaudSwitch = true;
    else if (name == "garbage" && n == 2) f.garbagePacket = a, f.garbageTimes = static_cast<int>(b);
    else if (name == "refuse-retry") f.refuseRetry = true;
    else if (name == "abort" && n == 2 && b >= 5 && b <= 7) f.abortPacket = a, f.abortCode = static_cast<uint8_t>(b);
    else if (name == "final-failure") f.finalFailure = true;
    else if (name == "cut" && n == 1) f.cutAtByte = a;
    else return ParseGpdFault(name, n, a, b, options.gpdFaults);
    return true;
}

bool ParseDelays(const char* text, sim::RestartDelays& d) {
    double cold = 0, warm = 0, hot = 0;
    if (std::sscanf(text, "%lf,%lf,%lf", &cold, &warm, &hot) != 3 || cold < 0 || warm < 0 || hot < 0) return false;
    d = {cold, warm, hot};
    return true;
}

bool ParseStart(const char* text, sim::ReceiverOptions& r) {
    double lat = 0, lon = 0, alt = r.altitudeM;
    const int n = std::sscanf(text, "%lf,%lf,%lf", &lat, &lon, &alt);
    if (n < 2 || lat < -90 || lat > 90 || lon < -180 || lon > 180) return false;
    r.latDeg = lat;
    r.lonDeg = lon;
    r.altitudeM = alt;
    return true;
}

}  // namespace

// A check of a value that comes as text: false means the words in `refusal`.
cli::CommandLine::Take Checked(bool (*parse)(const char*, sim::SimulatorOptions&), sim::SimulatorOptions& o,
                               std::string refusal) {
    return [parse, &o, refusal](std::string_view v) -> std::optional<std::string> {
        if (parse(std::string(v).c_str(), o)) return std::nullopt;
        return refusal + ", not " + cli::Quoted(v);
    };
}

bool ParseCommandLine(int argc, char** argv, sim::SimulatorOptions& o, sim::CasterOptions& c, bool& caster,
                      std::string& linkPath, std::string& error) {
    sim::ReceiverOptions& r = o.receiver;
    const auto motion = [&r] { r.motion = sim::Motion::Mode::Route; };
    const auto start = [](const char* t, sim::SimulatorOptions& so) { return ParseStart(t, so.receiver); };
    const auto ttff = [](const char* t, sim::SimulatorOptions& so) { return ParseDelays(t, so.restartDelays); };
    const auto fault = [](const char* t, sim::SimulatorOptions& so) { return ParseFault(t, so); };
    const auto flashSize = [&o](std::string_view v) -> std::optional<std::string> {
        // Decimal, or hexadecimal after 0x.
        const std::string text(v);
        char* end = nullptr;
        const unsigned long long n = std::strtoull(text.c_str(), &end, 0);
        if (text.empty() || *end != '\0' || text[0] == '-' || n < 1 || n > (1ull << 30))
            return "--flash-size wants a size in bytes from 1 to 1073741824 (0x prefix for hexadecimal), not " +
                   cli::Quoted(v);
        o.flashSize = static_cast<uint32_t>(n);
        return std::nullopt;
    };
    int64_t casterPort = -1;
    const bool parsed = cli::CommandLine()
                            .Text("--link", linkPath)
                            .Whole("--rate", 1, 10, r.epochsPerSecond)
                            .Flag("--route", motion)
                            .Custom("--start", Checked(start, o, "--start wants LAT,LON[,ALT] in degrees and metres"))
                            .Whole("--time", 0, kLastUnixSecond, r.startUnixSeconds)
                            .Flag("--gn-gsa", r.gnGsa)
                            .Flag("--gsa-system-id", r.gsaSystemId)
                            .Flag("--qz-talker", r.qzTalker)
                            .Flag("--gb-talker", r.gbTalker)
                            .Text("--replay", o.replayFile)
                            .Flag("--loop", o.loopReplay)
                            .Whole("--epochs", 0, kMostEpochs, o.maxEpochs)
                            .Flag("--unpaced", [&o] { o.paced = false; })
                            .Flag("--flood", o.flood)
                            .Flag("--removed", o.startRemoved)
                            .Whole("--adapter-latency", 0, 1000, o.adapterLatencyMs)
                            .Whole("--baud", 1, 4000000, o.moduleBaud)
                            .NumberFrom("--unplug-after", 0, kLongestSimSeconds, o.unplugAfterS)
                            .NumberFrom("--unplug-for", 0, kLongestSimSeconds, o.unplugForS)
                            .Text("--flash", o.flashFile)
                            .Custom("--flash-size", flashSize)
                            .Whole("--boot-baud", 1, 4000000, o.faults.bootRomBaud)
                            .Custom("--ttff", Checked(ttff, o, "--ttff wants COLD,WARM,HOT in seconds"))
                            .Text("--gpd-out", o.gpdOutFile)
                            .Whole("--caster", 0, 65535, casterPort)
                            .Whole("--caster-corrupt", 1, 65535, c.corruptEvery)
                            .Text("--caster-user", c.userPass)
                            .NumberFrom("--caster-drop-after", 0, kLongestSimSeconds, c.dropAfterS)
                            .Custom("--fault", Checked(fault, o, "--fault wants a fault that --help lists"))
                            .Parse(argc, argv, error);
    caster = casterPort >= 0;
    if (caster) c.port = static_cast<uint16_t>(casterPort);
    return parsed;
}

// Serves as a caster until interrupted.
int RunCaster(const sim::CasterOptions& options) {
    sim::Caster caster(options);
    std::string error;
    if (!caster.Listen(error)) {
        std::fprintf(stderr, "zrsim: %s\n", error.c_str());
        return 1;
    }
    std::printf("caster on 127.0.0.1:%u\n", caster.Port());
    std::fflush(stdout);
    g_caster = &caster;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGHUP, OnSignal);
    caster.Run();
    g_caster = nullptr;
    return 0;
}

int main(int argc, char** argv) {
    if (AnswerVersion(argc, argv, "zrsim")) return 0;
    if (AsksForHelp(argc, argv)) return Usage(stdout), 0;
    sim::SimulatorOptions options;
    sim::CasterOptions casterOptions;
    bool caster = false;
    options.receiver.startUnixSeconds = static_cast<int64_t>(std::time(nullptr));
    std::string linkPath;
    std::string error;
    if (!ParseCommandLine(argc, argv, options, casterOptions, caster, linkPath, error)) {
        std::fprintf(stderr, "zrsim: %s\n", error.c_str());
        Usage(stderr);
        return 2;
    }
    if (caster) return RunCaster(casterOptions);
    sim::PtyLine line;
    if (!line.Open(error) || (!linkPath.empty() && !line.MakeLink(linkPath, error))) {
        std::fprintf(stderr, "zrsim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", line.SlavePath().c_str());
    std::fflush(stdout);

    sim::Simulator simulator(line, options);
    g_running = &simulator;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGHUP, OnSignal);
    std::signal(SIGUSR1, OnFixture);
    std::signal(SIGUSR2, OnAdapter);
    simulator.OnPlug([](const std::string& device) {
        if (device.empty()) std::fprintf(stderr, "zrsim: adapter pulled\n");
        else std::fprintf(stderr, "zrsim: adapter plugged in again: %s\n", device.c_str());
    });
    const bool ok = simulator.Run(error);
    g_running = nullptr;
    if (!ok) {
        std::fprintf(stderr, "zrsim: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "zrsim: %llu bytes sent\n",
                 static_cast<unsigned long long>(simulator.BytesSent()));
    const rtcm::FramerCounts& rtcm = simulator.Corrections();
    if (rtcm.goodFrames + rtcm.badFrames > 0)
        std::fprintf(stderr, "zrsim: %llu RTCM frames taken, %llu bad\n",
                     static_cast<unsigned long long>(rtcm.goodFrames), static_cast<unsigned long long>(rtcm.badFrames));
    return 0;
}
