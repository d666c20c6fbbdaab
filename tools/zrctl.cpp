// zrctl: the command panel's commands without a window, for test benches and scripts.
//
//   zrctl --port DEV [--baud N|auto] [--seconds S] send ZR|MTK|UBX cold|warm|hot
//   zrctl --port DEV constellations ZR|MTK|UBX gps,beidou,glonass
//   zrctl --port DEV raw 'PZRC030,1'
//   zrctl --port DEV ttff ZR|MTK|UBX cold|warm|hot     restart, print seconds to 3D
//         [--cycles N] [--timeout S] [--csv FILE]     N restarts: a line each, then statistics
//   zrctl --port DEV gpd FILE
//   zrctl --port DEV ntrip --caster HOST:PORT --mount M [--user U:P] [--ntrip 1|2]
//         [--gga-every S] [--seconds S]             RTCM corrections forwarded to the module
//   zrctl ntrip --caster HOST:PORT --table          the caster's source table
//
// Ctrl+C or SIGTERM ends a ttff series with what it measured printed (and written to
// --csv), status 130.
//
// Decoded replies are printed as they come; --seconds is how long to listen for them
// (2 s by default; for ttff how long to wait for the fix, 300 s by default, which
// --timeout also sets).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "monitor/control/AckDecoder.h"
#include "monitor/control/CommandTable.h"
#include "monitor/control/GpdTransfer.h"
#include "monitor/control/TtffSeries.h"
#include "monitor/link/CaptureLog.h"
#include "monitor/link/NmeaThread.h"
#include "monitor/link/NtripProtocol.h"
#include "platform/programinfo/ProgramInfo.h"
#include "platform/system/System.h"
#include "tools/NtripSession.h"
#include "tools/Options.h"
#include "tools/ReceiveSession.h"
#include "tools/StopRequest.h"
#include "tools/ToolOutput.h"

namespace {

// The families' names come from their rows.
const std::string kUsage = [] {
    const std::string f = FamilyNames("|");
    return "usage: zrctl --port DEV [--baud N|auto] [--seconds S] send " + f + " cold|warm|hot\n"
           "       zrctl --port DEV constellations " + f + " gps,beidou,glonass,galileo\n"
           "       zrctl --port DEV raw TEXT\n"
           "       zrctl --port DEV ttff " + f + " cold|warm|hot [--cycles N] [--timeout S] [--csv FILE]\n"
           "       zrctl --port DEV gpd FILE\n"
           "       zrctl --port DEV ntrip --caster HOST:PORT --mount M [--user U:P] [--ntrip 1|2] [--gga-every S]\n"
           "       zrctl ntrip --caster HOST:PORT [--user U:P] [--ntrip 1|2] --table\n"
           "ttff --cycles N restarts N times, each until a 3D fix or --timeout S (300), and prints\n"
           "every cycle and the statistics; --csv FILE writes them. Ctrl+C ends the series (status 130).\n";
}();

// Replies as they come; the GGA times and each satellite cycle's fix type, in the link's
// order, for the time to first fix.
class ReplySink : public ILinkSink {
public:
    // The module's last fix as GGA for a caster, and its quality (ntrip).
    ModuleFix LastFix() {
        std::lock_guard lock(m_mutex);
        return m_lastFix;
    }

    void Post(const LinkMessage& message) override {
        if (const auto* reply = std::get_if<DecodedReply>(&message.payload)) {
            // The text quotes the module's own fields: control bytes from the line are
            // shown as \xHH, never passed to the terminal.
            const std::string text = PrintableText(reply->text);
            std::fwrite(text.data(), 1, text.size(), stdout);
            std::fflush(stdout);
        } else if (message.number == msg::kNaviCmdGga) {
            const auto& gga = std::get<GgaRecord>(message.payload);
            {
                std::lock_guard lock(m_mutex);
                m_lastFix = {ntrip::GgaForCaster(gga), gga.fixQuality};
            }
            Queue({0, EpochSecondOf(gga)});
        } else if (message.number == msg::kFixReport) {
            Queue({std::get<UsedSatelliteSet>(message.payload).fixType, -1});
        }
    }
    // A fix report (its type), or a GGA's time of day (type 0).
    struct Event {
        char fixType;
        double epochSecond;
    };
    // The next event, or nothing by `deadline`.
    std::optional<Event> Next(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait_until(lock, deadline, [this] { return !m_events.empty(); })) return std::nullopt;
        const Event event = m_events.front();
        m_events.pop_front();
        return event;
    }

private:
    void Queue(Event event) {
        std::lock_guard lock(m_mutex);
        m_events.push_back(event);
        m_changed.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Event> m_events;
    ModuleFix m_lastFix;
};


std::optional<Restart> RestartOf(const std::string& s) {
    if (s == "cold") return Restart::Cold;
    if (s == "warm") return Restart::Warm;
    if (s == "hot") return Restart::Hot;
    return std::nullopt;
}

std::optional<ConstellationChoice> ChoiceOf(const std::string& list) {
    ConstellationChoice c;
    std::size_t at = 0;
    while (at <= list.size()) {
        const auto comma = list.find(',', at);
        const std::string name = list.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        if (name == "gps") c.gps = true;
        else if (name == "beidou") c.beidou = true;
        else if (name == "glonass") c.glonass = true;
        else if (name == "galileo") c.galileo = true;
        else return std::nullopt;
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    return c;
}

constexpr auto kLineLookStep = std::chrono::milliseconds(50);  // how soon a lost line is seen while listening

int Fail(const std::string& text) {
    std::fprintf(stderr, "zrctl: %s\n", text.c_str());
    return 1;
}

// The options only `ttff` takes, taken out of the command line before the options all
// the receive tools share are read.
struct TtffOptions {
    int cycles = 0;  // 0: not given, one restart with the seconds alone printed
    double timeoutS = 0;
    std::string csv;
};

// A cycle's time-out has no use beyond the tools' longest run.
constexpr double kLongestTtffTimeoutS = kMaxToolSeconds;

void AddTtffOptions(cli::CommandLine& line, TtffOptions& t) {
    line.Whole("--cycles", 1, kMaxTtffCycles, t.cycles)
        .Number("--timeout", 0, kLongestTtffTimeoutS, t.timeoutS)
        .Text("--csv", t.csv);
}

constexpr int kStoppedStatus = 130;  // as a shell reports a program ended by Ctrl+C

// Runs the series: each cycle's restart, then the link's events until the cycle ends
// (3D, time-out) or the series does (Ctrl+C, a lost line: the text returned).
std::string RunSeries(TtffSeries& series, CNmeaThread& link, ReplySink& sink, ModuleFamily family,
                      const std::string& device, bool printCycles) {
    using Clock = std::chrono::steady_clock;
    constexpr auto kPollStep = std::chrono::milliseconds(250);  // how soon Ctrl+C or a lost line is seen
    const auto began = Clock::now();
    const auto hostS = [&] { return std::chrono::duration<double>(Clock::now() - began).count(); };
    while (!series.Finished()) {
        const CommandBytes command = RestartCommand(family, series.Kind());
        link.SendBytes(command.data(), command.size());
        series.BeginCycle(hostS(), std::time(nullptr));
        while (series.CycleRunning()) {
            if (tool::StopRequest()) return series.Stop(), "";
            if (link.LineLost().IsLost()) return series.Stop(), "line lost on " + device + ": " + link.LineLost().words;
            if (series.CheckTimeout(hostS())) break;
            if (const auto event = sink.Next(Clock::now() + kPollStep)) {
                if (event->fixType == 0) series.OnEpochTime(event->epochSecond);
                else series.OnFixReport(event->fixType, hostS());
            }
        }
        if (printCycles) std::printf("%s\n", CycleLine(series.Cycles().back()).c_str());
        std::fflush(stdout);
    }
    return "";
}

// Restarts the module `cycles` times (or once), and prints each cycle and the statistics
// (or, for one restart without --cycles, the seconds alone). The CSV keeps what was
// measured, also after a time-out, Ctrl+C or a lost line.
int MeasureTtff(CNmeaThread& link, ReplySink& sink, ModuleFamily family, Restart restart, const TtffOptions& t,
                const std::string& device, bool& lostTold) {
    tool::WatchStopRequests();
    TtffSeries series(restart, std::max(t.cycles, 1), t.timeoutS);
    const std::string lost = RunSeries(series, link, sink, family, device, t.cycles > 0);
    const auto& cycles = series.Cycles();
    const bool ended = !lost.empty() || tool::StopRequest();
    int status = 0;
    if (t.cycles == 0 && cycles.size() == 1 && !cycles[0].TimedOut()) {
        std::printf("%.1f s\n", cycles[0].seconds);
    } else if (t.cycles == 0 && !ended) {
        status = Fail(series.SawNoFix() ? "no 3D fix within the time given"
                                        : "the module never reported losing its fix");
    } else if (t.cycles > 0) {
        const TtffStatistics statistics = StatisticsOf(cycles);
        std::printf("%s\n", StatisticsLine(statistics).c_str());
        if (statistics.timedOut > 0) status = 1;
    }
    const std::string measured =
        " (" + std::to_string(cycles.size()) + " of " + std::to_string(series.Wanted()) + " cycles measured)";
    lostTold = !lost.empty();
    if (!lost.empty()) status = Fail(lost + measured);
    if (tool::StopRequest()) {
        Fail(std::string("stopped by ") + platform::StopRequestName(tool::StopRequest()) + measured);
        status = kStoppedStatus;
    }
    if (!t.csv.empty())
        if (const std::string error = WriteTtffCsv(t.csv, cycles); !error.empty()) status = Fail(error);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "zrctl", kUsage.c_str())) return 0;
    std::string error;
    TtffOptions ttff;
    NtripToolOptions ntrip;
    cli::CommandLine more;
    AddTtffOptions(more, ttff);
    AddNtripOptions(more, ntrip);
    auto options = ParseReceiveOptions(argc, argv, error, std::move(more));
    if (options && !options->operands.empty() && options->operands[0] == "ntrip") {
        if (const std::string missing = NtripOptionsMissing(ntrip, !options->device.empty()); !missing.empty()) {
            std::fprintf(stderr, "zrctl: %s\n", missing.c_str());
            return std::fputs(kUsage.c_str(), stderr), 2;
        }
        if (ntrip.table) return ListSourceTable(ntrip);
    } else if (options && ntrip.given) {
        std::fputs("zrctl: --caster, --mount, --user, --ntrip, --gga-every and --table are for ntrip\n", stderr);
        return std::fputs(kUsage.c_str(), stderr), 2;
    }
    if (!options || options->device.empty() || options->operands.empty() || options->wait) {
        if (!error.empty()) std::fprintf(stderr, "zrctl: %s\n", error.c_str());
        std::fputs(kUsage.c_str(), stderr);
        return 2;
    }
    const auto& words = options->operands;
    const std::string& verb = words[0];
    const auto word = [&](std::size_t i) { return i < words.size() ? words[i] : std::string(); };
    const auto family = FamilyNamed(word(1));
    if ((verb == "send" || verb == "ttff") && (!family || !RestartOf(word(2)))) return std::fputs(kUsage.c_str(), stderr), 2;
    const bool seriesOptions = ttff.cycles > 0 || ttff.timeoutS > 0 || !ttff.csv.empty();
    if (verb != "ttff" && seriesOptions) {
        std::fputs("zrctl: --cycles, --timeout and --csv are for ttff\n", stderr);
        return std::fputs(kUsage.c_str(), stderr), 2;
    }
    if (verb == "constellations" && (!family || !ChoiceOf(word(2)))) return std::fputs(kUsage.c_str(), stderr), 2;
    if ((verb == "raw" || verb == "gpd") && words.size() != 2) return std::fputs(kUsage.c_str(), stderr), 2;
    if (verb == "ntrip" && words.size() != 1) return std::fputs(kUsage.c_str(), stderr), 2;
    if (verb != "send" && verb != "ttff" && verb != "constellations" && verb != "raw" && verb != "gpd" &&
        verb != "ntrip")
        return std::fputs(kUsage.c_str(), stderr), 2;

    GpdImage image;
    if (verb == "gpd")
        if (const std::string refusal = LoadGpdImage(word(1), image); !refusal.empty()) return Fail(refusal);

    if (options->autoBaud) {
        const auto baud = HuntForBaud("zrctl", *options, nullptr);
        if (!baud) return 1;
        options->baud = *baud;
    }
    ReplySink sink;
    CaptureLog capture;
    capture.Name(options->device);
    CNmeaThread link(options->device, options->baud, &sink, &capture, ModuleReplyDecoders());
    link.Start();
    if (!link.Connect()) return Fail(link.OpenErrorText());
    const auto send = [&](const CommandBytes& bytes) { link.SendBytes(bytes.data(), bytes.size()); };
    int status = 0;
    bool lostTold = false;
    if (verb == "ttff") {
        TtffOptions t = ttff;
        if (t.timeoutS <= 0) t.timeoutS = options->seconds > 0 ? options->seconds : kDefaultTtffTimeoutS;
        status = MeasureTtff(link, sink, *family, *RestartOf(word(2)), t, options->device, lostTold);
    } else if (verb == "ntrip") {
        status = RunNtrip(link, ntrip, options->seconds, [&sink] { return sink.LastFix(); });
    } else if (verb == "send") {
        send(RestartCommand(*family, *RestartOf(word(2))));
    } else if (verb == "constellations" || verb == "raw") {
        const CommandOrRefusal c = verb == "raw" ? FreeCommand(word(1)) : ConstellationCommand(*family, *ChoiceOf(word(2)));
        if (!c.refusal.empty()) status = Fail(c.refusal);
        else if (c.bytes.empty()) status = Fail("nothing to send");
        else {
            if (!c.note.empty()) std::fprintf(stderr, "zrctl: %s\n", c.note.c_str());
            send(c.bytes);
        }
    } else {
        // Ctrl+C cancels as the window's Cancel does: the module goes back to NMEA first.
        tool::WatchStopRequests();
        BinaryReply* reply = &link.Dispatcher().Reply();
        const auto stopped = [] { return tool::StopRequest() != 0; };
        GpdLine line{send, reply, [reply, stopped](BinaryReply::Flag f) { return AckWait(*reply, f, stopped); }};
        line.progress = [](int block, int blocks) {
            std::printf("block %d of %d\n", block, blocks);
            std::fflush(stdout);
        };
        line.cancelled = stopped;
        const GpdOutcome outcome = SendGpd(image, options->baud, line);
        std::printf("%s\n", outcome.message.c_str());
        status = outcome.success ? 0 : outcome.cancelled ? kStoppedStatus : 1;
    }
    if (verb != "ttff" && verb != "gpd" && verb != "ntrip" && status == 0) {
        // Replies are listened for until the time is up; a lost line ends it at once.
        const auto end = std::chrono::steady_clock::now() +
                         std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                             std::chrono::duration<double>(options->seconds > 0 ? options->seconds : 2));
        while (!link.LineLost().IsLost() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kLineLookStep, end - std::chrono::steady_clock::now()));
    }
    if (link.LineLost().IsLost()) {
        if (!lostTold) status = Fail("line lost on " + options->device + ": " + link.LineLost().words);
    } else if (!link.WaitUntilSent(5000)) { status = Fail("the last command did not leave " + options->device);
    }
    link.Disconnect();
    link.Drain();
    link.Shutdown();
    return status;
}
