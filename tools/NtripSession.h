// zrctl's ntrip verb: corrections from a caster forwarded to the module, with the counts,
// the age of the corrections, the connection state and the module's fix quality printed
// once a second; or the caster's source table listed.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "monitor/link/NtripClient.h"
#include "platform/programinfo/CommandLine.h"

class CNmeaThread;

struct NtripToolOptions {
    bool given = false;       // any of the options below was on the command line
    ntrip::Settings settings;
    bool table = false;       // --table: list the source table and end
};

// Declares --caster HOST:PORT, --mount M, --user U:P, --ntrip 1|2, --gga-every S and
// --table on the tool's command line, taken into `o`.
void AddNtripOptions(cli::CommandLine& line, NtripToolOptions& o);
// What is missing for the verb, in words; empty when nothing is.
std::string NtripOptionsMissing(const NtripToolOptions& options, bool withPort);

int ListSourceTable(const NtripToolOptions& options);

// Runs until `seconds` have passed (0: until Ctrl+C), a refusal that another try cannot
// mend, or a lost line. `latestGga` gives the module's last GGA sentence and its fix
// quality (-1: none yet).
struct ModuleFix {
    std::string gga;
    int quality = -1;
};
int RunNtrip(CNmeaThread& link, const NtripToolOptions& options, double seconds,
             const std::function<ModuleFix()>& latestFix);

// "connected, age 0.4 s, 2 connections, bad frames 0, 1005: 1 msgs 25 B, ..., fix quality 4 (Fixed)"
std::string StatusLine(const ntrip::Status& status, int quality);
