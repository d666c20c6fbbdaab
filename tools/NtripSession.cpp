#include "tools/NtripSession.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "monitor/link/NmeaThread.h"
#include "platform/system/System.h"
#include "tools/StopRequest.h"

namespace {

constexpr auto kPrintEvery = std::chrono::seconds(1);
constexpr auto kLookStep = std::chrono::milliseconds(100);  // how soon Ctrl+C or a lost line is seen
constexpr int kStoppedStatus = 130;  // as a shell reports a program ended by Ctrl+C

// GGA fix quality in words; the RTK ones are what a rover on corrections aims for.
const char* QualityName(int quality) {
    switch (quality) {
    case 0: return "no fix";
    case 1: return "GPS fix";
    case 2: return "DGPS";
    case 4: return "Fixed";
    case 5: return "Float";
    case 6: return "estimated";
    default: return "other";
    }
}

bool ParseHostPort(const std::string& text, ntrip::Request& r) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    char* end = nullptr;
    const long port = std::strtol(text.c_str() + colon + 1, &end, 10);
    if (*end != '\0' || port < 1 || port > 65535) return false;
    r.host = text.substr(0, colon);
    r.port = static_cast<uint16_t>(port);
    return true;
}

}  // namespace

void AddNtripOptions(cli::CommandLine& line, NtripToolOptions& o) {
    o.settings.request.host.clear();
    const auto given = [&o](auto take) {
        return [&o, take](std::string_view v) -> std::optional<std::string> {
            o.given = true;
            return take(v);
        };
    };
    line.Flag("--table", [&o] { o.given = o.table = true; })
        .Custom("--caster", given([&o](std::string_view v) -> std::optional<std::string> {
            if (ParseHostPort(std::string(v), o.settings.request)) return std::nullopt;
            return "--caster wants HOST:PORT, not " + cli::Quoted(v);
        }))
        .Custom("--mount", given([&o](std::string_view v) -> std::optional<std::string> {
            o.settings.request.mount = v;
            return std::nullopt;
        }))
        .Custom("--user", given([&o](std::string_view v) -> std::optional<std::string> {
            if (v.find(':') == std::string_view::npos) return "--user wants USER:PASSWORD";
            o.settings.request.user = v;
            return std::nullopt;
        }))
        .Custom("--ntrip", given([&o](std::string_view v) -> std::optional<std::string> {
            if (v != "1" && v != "2") return "--ntrip wants 1 or 2, not " + cli::Quoted(v);
            o.settings.request.version = v[0] - '0';
            return std::nullopt;
        }))
        .Custom("--gga-every", given([&o](std::string_view v) -> std::optional<std::string> {
            const auto s = cli::DecimalNumber(v);
            if (!s || !(*s > 0) || *s > 3600) return "--gga-every wants seconds above 0 up to 3600, not " + cli::Quoted(v);
            o.settings.ggaEveryS = *s;
            o.settings.alwaysSendGga = true;
            return std::nullopt;
        }));
}

std::string NtripOptionsMissing(const NtripToolOptions& o, bool withPort) {
    if (o.settings.request.host.empty()) return "ntrip wants --caster HOST:PORT";
    if (o.table) return "";
    if (o.settings.request.mount.empty()) return "ntrip wants --mount M (or --table)";
    if (!withPort) return "ntrip wants --port DEV";
    return "";
}

int ListSourceTable(const NtripToolOptions& o) {
    std::string error;
    const auto table = ntrip::FetchSourceTable(o.settings.request, error);
    if (!table) return std::fprintf(stderr, "zrctl: %s\n", error.c_str()), 1;
    for (const ntrip::MountPoint& m : *table)
        std::printf("%s  %s  %s\n", m.name.c_str(), m.format.c_str(), m.wantsNmea ? "wants GGA" : "no GGA");
    return 0;
}

std::string StatusLine(const ntrip::Status& s, int quality) {
    std::string line = ntrip::StateName(s.state);
    if (!s.error.empty() && s.state != ntrip::State::Connected) line += " (" + s.error + ")";
    char text[96];
    if (s.ageS >= 0) {
        std::snprintf(text, sizeof text, ", age %.1f s", s.ageS);
        line += text;
    }
    line += ", " + std::to_string(s.connections) + (s.connections == 1 ? " connection" : " connections");
    line += ", bad frames " + std::to_string(s.counts.badFrames);
    for (const auto& [type, count] : s.counts.types) {
        std::snprintf(text, sizeof text, ", %d: %llu msgs %llu B", type, static_cast<unsigned long long>(count.messages),
                      static_cast<unsigned long long>(count.bytes));
        line += text;
    }
    if (quality >= 0) line += ", fix quality " + std::to_string(quality) + " (" + QualityName(quality) + ")";
    return line;
}

// Good frames go to the module as they come, beside the commands on the same line; the
// GGA goes to the caster as the client's clock says.
int RunNtrip(CNmeaThread& link, const NtripToolOptions& o, double seconds, const std::function<ModuleFix()>& latestFix) {
    tool::WatchStopRequests();
    ntrip::NtripClient client(o.settings, [&link](std::span<const uint8_t> frame) {
        link.SendBytes(frame.data(), frame.size());
    });
    client.Start();
    using Clock = std::chrono::steady_clock;
    const auto end = seconds > 0 ? Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                      std::chrono::duration<double>(seconds))
                                 : Clock::time_point::max();
    auto nextPrint = Clock::now() + kPrintEvery;
    int status = 0;
    while (Clock::now() < end) {
        std::this_thread::sleep_for(kLookStep);
        const ModuleFix fix = latestFix();
        if (!fix.gga.empty()) client.SetGga(fix.gga);
        const ntrip::Status s = client.Snapshot();
        if (s.state == ntrip::State::Failed) {
            std::fprintf(stderr, "zrctl: %s\n", s.error.c_str());
            status = 1;
            break;
        }
        if (tool::StopRequest()) {
            status = kStoppedStatus;
            break;
        }
        if (link.LineLost().IsLost()) break;  // told by the caller
        if (Clock::now() >= nextPrint) {
            std::printf("%s\n", StatusLine(s, fix.quality).c_str());
            std::fflush(stdout);
            nextPrint += kPrintEvery;
        }
    }
    client.Stop();
    const ntrip::Status last = client.Snapshot();
    if (status == 0 && last.connections == 0 && !link.LineLost().IsLost()) {
        std::fprintf(stderr, "zrctl: %s\n", last.error.empty() ? "no stream from the caster" : last.error.c_str());
        status = 1;
    }
    return status;
}
