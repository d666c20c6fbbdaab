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

#include "Caster.h"
#include "ProgramInfo.h"
#include "PtyLine.h"
#include "Simulator.h"

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
bool ParseWhole(const char* text, long low, long high, long& out) {
    char* end = nullptr;
    out = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && out >= low && out <= high;
}

bool ParseSeconds(const char* text, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0' && out >= 0 && out < 1e6;
}

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
    sim::SimulatorOptions options;
    sim::CasterOptions casterOptions;
    bool caster = false;
    options.receiver.startUnixSeconds = static_cast<int64_t>(std::time(nullptr));
    std::string linkPath;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "zrsim: %s needs a value\n", arg.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--link") linkPath = value();
        else if (arg == "--rate") {
            options.receiver.epochsPerSecond = std::atoi(value());
            if (options.receiver.epochsPerSecond < 1 || options.receiver.epochsPerSecond > 10) {
                std::fprintf(stderr, "zrsim: --rate must be 1 to 10\n");
                return 2;
            }
        } else if (arg == "--route") options.receiver.motion = sim::Motion::Mode::Route;
        else if (arg == "--start") {
            if (!ParseStart(value(), options.receiver)) {
                std::fprintf(stderr, "zrsim: --start wants LAT,LON[,ALT] in degrees and metres\n");
                return 2;
            }
        } else if (arg == "--time") options.receiver.startUnixSeconds = std::atoll(value());
        else if (arg == "--gn-gsa") options.receiver.gnGsa = true;
        else if (arg == "--gsa-system-id") options.receiver.gsaSystemId = true;
        else if (arg == "--qz-talker") options.receiver.qzTalker = true;
        else if (arg == "--gb-talker") options.receiver.gbTalker = true;
        else if (arg == "--replay") options.replayFile = value();
        else if (arg == "--loop") options.loopReplay = true;
        else if (arg == "--epochs") options.maxEpochs = std::atoll(value());
        else if (arg == "--unpaced") options.paced = false;
        else if (arg == "--flood") options.flood = true;
        else if (arg == "--removed") options.startRemoved = true;
        else if (arg == "--adapter-latency") {
            char* end = nullptr;
            const char* text = value();
            const long ms = std::strtol(text, &end, 10);
            if (end == text || *end != '\0' || ms < 0 || ms > 1000) {
                std::fprintf(stderr, "zrsim: --adapter-latency must be 0 to 1000 milliseconds\n");
                return 2;
            }
            options.adapterLatencyMs = static_cast<int>(ms);
        }
        else if (arg == "--baud") {
            long baud = 0;
            if (!ParseWhole(value(), 1, 4000000, baud)) {
                std::fprintf(stderr, "zrsim: --baud wants a whole number from 1 to 4000000\n");
                return 2;
            }
            options.moduleBaud = static_cast<uint32_t>(baud);
        } else if (arg == "--unplug-after" || arg == "--unplug-for") {
            double s = 0;
            if (!ParseSeconds(value(), s)) {
                std::fprintf(stderr, "zrsim: %s wants a number of seconds from 0 up\n", arg.c_str());
                return 2;
            }
            (arg == "--unplug-after" ? options.unplugAfterS : options.unplugForS) = s;
        }
        else if (arg == "--flash") options.flashFile = value();
        else if (arg == "--flash-size") options.flashSize = static_cast<uint32_t>(std::strtoul(value(), nullptr, 0));
        else if (arg == "--boot-baud") options.faults.bootRomBaud = static_cast<uint32_t>(std::strtoul(value(), nullptr, 10));
        else if (arg == "--ttff") {
            if (!ParseDelays(value(), options.restartDelays)) {
                std::fprintf(stderr, "zrsim: --ttff wants COLD,WARM,HOT in seconds\n");
                return 2;
            }
        } else if (arg == "--gpd-out") options.gpdOutFile = value();
        else if (arg == "--caster" || arg == "--caster-corrupt") {
            long n = 0;
            if (!ParseWhole(value(), arg == "--caster" ? 0 : 1, 65535, n)) {
                std::fprintf(stderr, "zrsim: %s wants a whole number from %d to 65535\n", arg.c_str(),
                             arg == "--caster" ? 0 : 1);
                return 2;
            }
            if (arg == "--caster") caster = true, casterOptions.port = static_cast<uint16_t>(n);
            else casterOptions.corruptEvery = static_cast<int>(n);
        } else if (arg == "--caster-user") casterOptions.userPass = value();
        else if (arg == "--caster-drop-after") {
            if (!ParseSeconds(value(), casterOptions.dropAfterS)) {
                std::fprintf(stderr, "zrsim: --caster-drop-after wants a number of seconds from 0 up\n");
                return 2;
            }
        }
        else if (arg == "--fault") {
            const std::string faultText = value();
            if (!ParseFault(faultText, options)) {
                std::fprintf(stderr, "zrsim: unknown fault %s (see --help)\n", faultText.c_str());
                return 2;
            }
        }
        else if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "zrsim: unknown option %s\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
    }

    if (caster) return RunCaster(casterOptions);
    sim::PtyLine line;
    std::string error;
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
