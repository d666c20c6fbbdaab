// One window message as one line of JSON, fields named as in the records.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "monitor/link/LinkMessages.h"

// {"msg":1025,"window":"NMEA info","gga":{...}}; a 1126 carries "reply":[...], the
// decoded lines, when the decoder knew the reply.
std::string MessageJson(const LinkMessage& message);

// {"binary":"aaf00c000300040001...","check":0}: a binary packet as the framer cut it, in
// hexadecimal, with what the reply check makes of it (0 good, -1 to -4 as it says).
std::string BinaryJson(std::span<const uint8_t> packet);
