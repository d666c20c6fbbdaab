#include "Options.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace {

std::optional<uint32_t> ParseBaud(std::string_view text) {
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (value < 1 || value > kMaxToolBaud) return std::nullopt;
    return static_cast<uint32_t>(value);
}

std::optional<double> ParseSeconds(std::string_view text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (!std::isfinite(value) || value <= 0 || value > kMaxToolSeconds) return std::nullopt;
    return value;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

std::optional<ReceiveOptions> ParseReceiveOptions(int argc, char** argv, std::string& error) {
    ReceiveOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool takesValue = arg == "--port" || arg == "--baud" || arg == "--seconds" || arg == "--by-id";
        if (takesValue && i + 1 >= argc) {
            error = std::string(arg) + " wants a value";
            return std::nullopt;
        }
        if (arg == "--port") {
            options.device = argv[++i];
        } else if (arg == "--baud") {
            const std::string_view value = argv[++i];
            const auto baud = ParseBaud(value);
            options.autoBaud = value == "auto";
            if (!baud && !options.autoBaud) {
                error = "--baud wants a whole number from 1 to " + std::to_string(kMaxToolBaud) +
                        " or auto, not " + Quoted(value);
                return std::nullopt;
            }
            if (baud) options.baud = *baud;
        } else if (arg == "--by-id") {
            options.byIdDir = argv[++i];
        } else if (arg == "--seconds") {
            const std::string_view value = argv[++i];
            const auto seconds = ParseSeconds(value);
            if (!seconds) {
                error = "--seconds wants a number above 0 and at most 1e9, not " + Quoted(value);
                return std::nullopt;
            }
            options.seconds = *seconds;
        } else if (arg == "--wait") {
            options.wait = true;
        } else if (arg == "-" || !arg.starts_with('-')) {
            options.operands.emplace_back(arg);
        } else {
            error = "unknown option " + Quoted(arg);
            return std::nullopt;
        }
    }
    return options;
}
