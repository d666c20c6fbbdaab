// The fixes of a capture file, read through the monitor's own receive path (framer,
// link thread, parsers, epoch logic) as nmeadump reads one: an epoch whose GGA gives a
// position (fix quality 1 to 6, time and coordinates in range) makes a fix; the epoch's
// satellite report and RMC join it.
#pragma once

#include <string>

#include "monitor/analysis/FixRecord.h"

// `path` "-" reads standard input. False with `error` set ("cannot read x: No such file
// or directory") when the input cannot be read.
bool ReadCaptureFixes(const std::string& path, FixCollector& fixes, std::string& error);
