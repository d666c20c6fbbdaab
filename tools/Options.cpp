#include "tools/Options.h"

std::optional<ReceiveOptions> ParseReceiveOptions(int argc, char** argv, std::string& error, cli::CommandLine more) {
    ReceiveOptions options;
    const auto baud = [&options](std::string_view value) -> std::optional<std::string> {
        options.autoBaud = value == "auto";
        if (options.autoBaud) return std::nullopt;
        const auto n = cli::WholeNumber(value);
        if (!n || *n < 1 || *n > kMaxToolBaud)
            return "--baud wants a whole number from 1 to " + std::to_string(kMaxToolBaud) + " or auto, not " +
                   cli::Quoted(value);
        options.baud = static_cast<uint32_t>(*n);
        return std::nullopt;
    };
    const bool parsed = more
                            .Text("--port", options.device)
                            .Custom("--baud", baud)
                            .Text("--by-id", options.byIdDir)
                            .Number("--seconds", 0, kMaxToolSeconds, options.seconds)
                            .Flag("--wait", options.wait)
                            .Operands(options.operands)
                            .Parse(argc, argv, error);
    return parsed ? std::optional(options) : std::nullopt;
}
