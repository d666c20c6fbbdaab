// nmeastats: the accuracy figures of a capture's fixes against a reference position, as
// the Track window shows them: mean offsets east, north and up, their standard
// deviations, CEP50, CEP95, 2DRMS and the largest horizontal error.
//
//   nmeastats FILE [--ref LAT,LON,ALT] [--json]
//
// Without --ref the reference is the fixes' mean position. Exit status: 0 with the
// figures; 1 when the input cannot be read or holds no fix; 2 for a bad command line.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/analysis/Accuracy.h"
#include "platform/programinfo/CommandLine.h"
#include "platform/programinfo/ProgramInfo.h"
#include "tools/CaptureFixes.h"

namespace {

constexpr const char* kUsage =
    "usage: nmeastats FILE [--ref LAT,LON,ALT] [--json]\n"
    "Accuracy figures of the fixes (GGA with a fix quality from 1 to 6) in a capture file\n"
    "(\"-\": standard input) against a reference position: degrees, degrees, metres\n"
    "above mean sea level as GGA gives them; without --ref the fixes' mean position.\n"
    "  --json   the figures as one JSON object instead of text\n";

struct Position {
    double latitude, longitude, altitude;  // degrees, metres
};

struct Options {
    std::string path;
    std::optional<Position> reference;
    bool json = false;
};

std::optional<double> ParseNumber(std::string_view text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

// "22.5431,114.0579,80": three numbers, a latitude of at most 90 and a longitude of at
// most 180 either way.
std::optional<Position> ParseReference(std::string_view text) {
    double v[3];
    for (int i = 0; i < 3; ++i) {
        const std::size_t comma = text.find(',');
        if ((comma == std::string_view::npos) != (i == 2)) return std::nullopt;
        const auto n = ParseNumber(text.substr(0, comma));
        if (!n) return std::nullopt;
        v[i] = *n;
        if (i < 2) text.remove_prefix(comma + 1);
    }
    if (std::fabs(v[0]) > 90 || std::fabs(v[1]) > 180) return std::nullopt;
    return Position{v[0], v[1], v[2]};
}

std::optional<Options> ParseOptions(int argc, char** argv, std::string& error) {
    Options o;
    std::vector<std::string> files;
    const auto reference = [&o](std::string_view value) -> std::optional<std::string> {
        o.reference = ParseReference(value);
        if (o.reference) return std::nullopt;
        return "--ref wants LAT,LON,ALT in degrees and metres, not " + cli::Quoted(value);
    };
    if (!cli::CommandLine().Flag("--json", o.json).Custom("--ref", reference).Operands(files).Parse(argc, argv, error))
        return std::nullopt;
    if (files.size() > 1) return error = "one capture file at a time", std::nullopt;
    if (files.empty()) return error = "which capture file?", std::nullopt;
    o.path = files.front();
    return o;
}

// The mean of the fixes' latitudes, longitudes (taken around the first one's, so that a
// track across 180 degrees averages right) and altitudes.
Position MeanPosition(const std::vector<FixRecord>& fixes) {
    double lat = 0, lon = 0, alt = 0;
    const double lon0 = fixes.front().longitude;
    for (const FixRecord& f : fixes) {
        lat += f.latitude;
        lon += std::remainder(f.longitude - lon0, 360.0);
        alt += f.altitude;
    }
    const double n = static_cast<double>(fixes.size());
    return {lat / n, std::remainder(lon0 + lon / n, 360.0), alt / n};
}

// Fixed-point, the same in every locale; a figure that rounds to zero has no sign.
std::string Fixed(double v, int decimals) {
    char text[64];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, decimals);
    std::string s(text, r.ptr);
    if (s.front() == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
    return s;
}

void PrintText(const AccuracyFigures& a, const Position& ref, bool mean) {
    const auto m = [](double v) { return Fixed(v, 3); };
    std::printf("fixes               %zu\n", a.count);
    std::printf("reference           %s, %s, %s m (%s)\n", Fixed(ref.latitude, 8).c_str(), Fixed(ref.longitude, 8).c_str(),
                m(ref.altitude).c_str(), mean ? "mean position" : "given");
    std::printf("mean offset (m)     east %s  north %s  up %s\n", m(a.meanEast).c_str(), m(a.meanNorth).c_str(),
                m(a.meanUp).c_str());
    std::printf("std deviation (m)   east %s  north %s  up %s\n", m(a.sigmaEast).c_str(), m(a.sigmaNorth).c_str(),
                m(a.sigmaUp).c_str());
    std::printf("CEP50 (m)           %s\n", m(a.cep50).c_str());
    std::printf("CEP95 (m)           %s\n", m(a.cep95).c_str());
    std::printf("2DRMS (m)           %s\n", m(a.drms2).c_str());
    std::printf("max horizontal (m)  %s\n", m(a.maxHorizontal).c_str());
}

void PrintJson(const AccuracyFigures& a, const Position& ref, bool mean) {
    const auto m = [](double v) { return Fixed(v, 4); };
    std::printf("{\"fixes\":%zu,\"reference\":{\"latitude\":%s,\"longitude\":%s,\"altitude\":%s,\"source\":\"%s\"},"
                "\"mean\":{\"east\":%s,\"north\":%s,\"up\":%s},\"sigma\":{\"east\":%s,\"north\":%s,\"up\":%s},"
                "\"cep50\":%s,\"cep95\":%s,\"drms2\":%s,\"maxHorizontal\":%s}\n",
                a.count, Fixed(ref.latitude, 9).c_str(), Fixed(ref.longitude, 9).c_str(), m(ref.altitude).c_str(),
                mean ? "mean" : "given", m(a.meanEast).c_str(), m(a.meanNorth).c_str(), m(a.meanUp).c_str(),
                m(a.sigmaEast).c_str(), m(a.sigmaNorth).c_str(), m(a.sigmaUp).c_str(), m(a.cep50).c_str(),
                m(a.cep95).c_str(), m(a.drms2).c_str(), m(a.maxHorizontal).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "nmeastats", kUsage)) return 0;
    std::string error;
    const auto options = ParseOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "nmeastats: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    FixCollector collector;
    if (!ReadCaptureFixes(options->path, collector, error)) {
        std::fprintf(stderr, "nmeastats: %s\n", error.c_str());
        return 1;
    }
    const std::vector<FixRecord>& fixes = collector.Fixes();
    if (fixes.empty()) {
        std::fprintf(stderr, "nmeastats: %s holds no fix (no GGA with a fix quality from 1 to 6)\n",
                     options->path == "-" ? "standard input" : options->path.c_str());
        return 1;
    }
    const Position at = options->reference.value_or(MeanPosition(fixes));
    const track::Reference reference = track::MakeReference(at.latitude, at.longitude, at.altitude);
    AccuracyAccumulator accuracy;
    for (const FixRecord& f : fixes) accuracy.Add(FixOffset(reference, f));
    (options->json ? PrintJson : PrintText)(accuracy.Figures(), at, !options->reference);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::perror("nmeastats: standard output");
        return 1;
    }
    return 0;
}
