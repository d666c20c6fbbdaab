// The command line the receive tools (rxwatch, nmeadump) share. Numbers are taken only
// when the whole argument is one in range, so a typo never runs with a surprise value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/programinfo/CommandLine.h"
#include "platform/serial/PortList.h"

inline constexpr uint32_t kMaxToolBaud = 4000000;
// The longest run --seconds asks for, about 31 years: the steady clock counts in
// nanoseconds and overflows some 9.2e9 s from now, which would put the end in the past.
inline constexpr double kMaxToolSeconds = 1e9;

struct ReceiveOptions {
    std::string device;                 // --port
    uint32_t baud = 9600;               // --baud, 1 to kMaxToolBaud
    bool autoBaud = false;              // --baud auto: the rate is hunted for (BaudHunt)
    double seconds = 0;                 // --seconds, above 0 up to kMaxToolSeconds; 0 when not given: no end
    bool wait = false;                  // --wait: a lost line is waited for, not the end
    std::string byIdDir = serial::kSerialByIdDir;  // --by-id: where adapters' stable names are
    std::vector<std::string> operands;  // everything not an option ("-" included)
};

// On failure `error` says which argument was wrong, e.g. "--baud wants a whole number
// from 1 to 4000000 or auto, not \"-1\"".
// `more` carries a tool's own options beside these.
std::optional<ReceiveOptions> ParseReceiveOptions(int argc, char** argv, std::string& error,
                                                  cli::CommandLine more = {});
