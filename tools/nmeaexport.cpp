// nmeaexport: a capture's fixes as GPX 1.1, KML 2.2 or CSV, as the Track window's
// "Export…" writes them.
//
//   nmeaexport FILE --gpx|--kml|--csv [-o OUT]
//
// To standard output unless -o names a file. Exit status: 0 when written (a capture
// without fixes gives a file without points, and says so); 1 when the input cannot be
// read or the output cannot be written; 2 for a bad command line.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "monitor/analysis/FixExport.h"
#include "platform/programinfo/CommandLine.h"
#include "platform/programinfo/ProgramInfo.h"
#include "tools/CaptureFixes.h"

namespace {

constexpr const char* kUsage =
    "usage: nmeaexport FILE --gpx|--kml|--csv [-o OUT]\n"
    "The fixes (GGA with a fix quality from 1 to 6, with the RMC and GSA of their epoch) of a\n"
    "capture file (\"-\": standard input) as GPX 1.1, KML 2.2 or CSV, on standard output\n"
    "or into OUT.\n";

struct Options {
    std::string path, output;
    std::optional<ExportFormat> format;
};

std::optional<Options> ParseOptions(int argc, char** argv, std::string& error) {
    Options o;
    std::vector<std::string> files;
    bool twoFormats = false;
    const auto format = [&](ExportFormat f) {
        return [&o, &twoFormats, f] {
            twoFormats |= o.format && *o.format != f;
            o.format = f;
        };
    };
    if (!cli::CommandLine()
             .Flag("--gpx", format(ExportFormat::Gpx))
             .Flag("--kml", format(ExportFormat::Kml))
             .Flag("--csv", format(ExportFormat::Csv))
             .Text("-o", o.output)
             .Operands(files)
             .Parse(argc, argv, error))
        return std::nullopt;
    if (twoFormats) return error = "one of --gpx, --kml and --csv", std::nullopt;
    if (files.size() > 1) return error = "one capture file at a time", std::nullopt;
    if (files.empty()) return error = "which capture file?", std::nullopt;
    if (!o.format) return error = "which format: --gpx, --kml or --csv?", std::nullopt;
    o.path = files.front();
    return o;
}

// The track's name inside the file: the capture's file name without its folders.
std::string TrackName(const std::string& path) {
    if (path == "-") return "standard input";
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "nmeaexport", kUsage)) return 0;
    std::string error;
    const auto options = ParseOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "nmeaexport: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    FixCollector fixes;
    if (!ReadCaptureFixes(options->path, fixes, error)) {
        std::fprintf(stderr, "nmeaexport: %s\n", error.c_str());
        return 1;
    }
    if (fixes.Fixes().empty())
        std::fprintf(stderr, "nmeaexport: %s holds no fix (no GGA with a fix quality from 1 to 6): the export is empty\n",
                     TrackName(options->path).c_str());
    std::ofstream file;
    if (!options->output.empty()) {
        file.open(options->output, std::ios::binary | std::ios::trunc);
        if (!file) {
            std::fprintf(stderr, "nmeaexport: cannot write %s: %s\n", options->output.c_str(), std::strerror(errno));
            return 1;
        }
    }
    std::ostream& out = options->output.empty() ? std::cout : file;
    WriteFixes(out, *options->format, fixes.Fixes(), TrackName(options->path));
    out.flush();
    if (file.is_open()) file.close();
    if (!out || (options->output.empty() && std::fflush(stdout) != 0)) {
        std::fprintf(stderr, "nmeaexport: cannot write %s: %s\n",
                     options->output.empty() ? "standard output" : options->output.c_str(), std::strerror(errno));
        return 1;
    }
    return 0;
}
