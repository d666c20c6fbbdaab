// zrctl: the command panel's commands without a window, for test benches and scripts.
//
//   zrctl --port DEV [--baud N|auto] [--seconds S] send ZR|MTK|UBX cold|warm|hot
//   zrctl --port DEV constellations ZR|MTK|UBX gps,beidou,glonass
//   zrctl --port DEV raw 'PZRC030,1'
//   zrctl --port DEV ttff ZR|MTK|UBX cold|warm|hot     restart, print seconds to 3D
//   zrctl --port DEV gpd FILE
//
// Decoded replies are printed as they come; --seconds is how long to listen for them
// (2 s by default; for ttff how long to wait for the fix, 300 s by default).
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "CaptureLog.h"
#include "CommandTable.h"
#include "GpdTransfer.h"
#include "NmeaThread.h"
#include "Options.h"
#include "ProgramInfo.h"
#include "ReceiveSession.h"
#include "ResponseDecoder.h"
#include "Ttff.h"

namespace {

constexpr const char* kUsage =
    "usage: zrctl --port DEV [--baud N|auto] [--seconds S] send ZR|MTK|UBX cold|warm|hot\n"
    "       zrctl --port DEV constellations ZR|MTK|UBX gps,beidou,glonass\n"
    "       zrctl --port DEV raw TEXT\n"
    "       zrctl --port DEV ttff ZR|MTK|UBX cold|warm|hot\n"
    "       zrctl --port DEV gpd FILE\n";

// Replies as they come, and each cycle's fix type for the time to first fix.
class ReplySink : public ILinkSink {
public:
    void Post(const LinkMessage& message) override {
        if (const auto* reply = std::get_if<DecodedReply>(&message.payload)) {
            for (char c : reply->text)
                if (c != '\r') std::fputc(c, stdout);
            std::fflush(stdout);
        } else if (const auto* gga = std::get_if<GgaRecord>(&message.payload)) {
            std::lock_guard lock(m_mutex);
            m_epochSecond = gga->hour * 3600.0 + gga->minute * 60.0 + gga->second;
        } else if (message.number == msg::kFixReport) {
            std::lock_guard lock(m_mutex);
            m_fixes.push_back({std::get<UsedSatelliteSet>(message.payload).fixType, m_epochSecond});
            m_changed.notify_all();
        }
    }
    // A fix report with the receiver's own time of its epoch (-1 before any GGA).
    struct Fix {
        char type;
        double epochSecond;
    };
    // The next fix reported, or nothing by `deadline`.
    std::optional<Fix> NextFix(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait_until(lock, deadline, [this] { return !m_fixes.empty(); })) return std::nullopt;
        const Fix fix = m_fixes.front();
        m_fixes.erase(m_fixes.begin());
        return fix;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Fix> m_fixes;
    double m_epochSecond = -1;
};

std::optional<ModuleFamily> FamilyOf(const std::string& s) {
    static const std::map<std::string, ModuleFamily> k = {
        {"ZR", ModuleFamily::Zr}, {"MTK", ModuleFamily::Mtk}, {"UBX", ModuleFamily::Ubx}};
    const auto it = k.find(s);
    return it == k.end() ? std::nullopt : std::optional(it->second);
}

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
        else return std::nullopt;
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    return c;
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "zrctl: %s\n", text.c_str());
    return 1;
}

// From the first no-fix report after the restart to the first 3D report, on the
// receiver's own epoch clock: a slow line delivers seconds of sentences at once, so the
// host's clock would measure the line, not the receiver. Without epoch times, the
// host's clock is all there is.
int MeasureTtff(ReplySink& sink, double seconds) {
    using Clock = std::chrono::steady_clock;
    TtffMeasurement ttff;
    ttff.Rearm();
    const auto deadline =
        std::chrono::time_point_cast<Clock::duration>(Clock::now() + std::chrono::duration<double>(seconds));
    std::optional<ReplySink::Fix> start;
    Clock::time_point startHost;
    while (const auto fix = sink.NextFix(deadline)) {
        if (ttff.OnFixReport(fix->type)) start = fix, startHost = Clock::now();
        if (ttff.CurrentState() != TtffMeasurement::kFixed || !start) continue;
        double took = std::chrono::duration<double>(Clock::now() - startHost).count();
        if (start->epochSecond >= 0 && fix->epochSecond >= 0) {
            took = fix->epochSecond - start->epochSecond;
            if (took < 0) took += 86400;  // across midnight
        }
        std::printf("%.1f s\n", took);
        return 0;
    }
    return Fail(start ? "no 3D fix within the time given" : "the module never reported losing its fix");
}

}  // namespace

int main(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "zrctl", kUsage)) return 0;
    std::string error;
    auto options = ParseReceiveOptions(argc, argv, error);
    if (!options || options->device.empty() || options->operands.empty() || options->wait) {
        if (!error.empty()) std::fprintf(stderr, "zrctl: %s\n", error.c_str());
        std::fputs(kUsage, stderr);
        return 2;
    }
    const auto& words = options->operands;
    const std::string& verb = words[0];
    const auto word = [&](std::size_t i) { return i < words.size() ? words[i] : std::string(); };
    const auto family = FamilyOf(word(1));
    if ((verb == "send" || verb == "ttff") && (!family || !RestartOf(word(2)))) return std::fputs(kUsage, stderr), 2;
    if (verb == "constellations" && (!family || !ChoiceOf(word(2)))) return std::fputs(kUsage, stderr), 2;
    if ((verb == "raw" || verb == "gpd") && words.size() != 2) return std::fputs(kUsage, stderr), 2;
    if (verb != "send" && verb != "ttff" && verb != "constellations" && verb != "raw" && verb != "gpd")
        return std::fputs(kUsage, stderr), 2;

    GpdImage image;
    if (verb == "gpd")
        if (const std::string refusal = LoadGpdImage(word(1), image); !refusal.empty()) return Fail(refusal);

    if (options->autoBaud) {
        const auto baud = HuntForBaud("zrctl", options->device, nullptr);
        if (!baud) return 1;
        options->baud = *baud;
    }
    ReplySink sink;
    NameCaptureLog(options->device);
    CNmeaThread link(options->device, options->baud, &sink, &ProgramCaptureLog(), DecodeResponse);
    link.Start();
    if (!link.Connect()) return Fail(link.OpenErrorText());
    const auto send = [&](const CommandBytes& bytes) { link.SendBytes(bytes.data(), bytes.size()); };
    int status = 0;
    if (verb == "send" || verb == "ttff") {
        send(RestartCommand(*family, *RestartOf(word(2))));
        if (verb == "ttff") status = MeasureTtff(sink, options->seconds > 0 ? options->seconds : 300);
    } else if (verb == "constellations" || verb == "raw") {
        const CommandOrRefusal c = verb == "raw" ? FreeCommand(word(1)) : ConstellationCommand(*family, *ChoiceOf(word(2)));
        if (!c.refusal.empty()) status = Fail(c.refusal);
        else if (c.bytes.empty()) status = Fail("nothing to send");
        else send(c.bytes);
    } else {
        BinaryReply* reply = &link.Dispatcher().Reply();
        const GpdOutcome outcome = SendGpd(
            image, options->baud, {send, reply, [reply](BinaryReply::Flag f) { return AckWait(*reply, f); }});
        std::printf("%s\n", outcome.message.c_str());
        status = outcome.success ? 0 : 1;
    }
    if (verb != "ttff" && verb != "gpd" && status == 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(options->seconds > 0 ? options->seconds : 2));
    if (link.LineLost().IsLost()) status = Fail("line lost on " + options->device + ": " + link.LineLost().words);
    else if (!link.WaitUntilSent(5000)) status = Fail("the last command did not leave " + options->device);
    link.Disconnect();
    link.Drain();
    link.Shutdown();
    return status;
}
