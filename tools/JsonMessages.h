// One window message as one line of JSON, fields named as in the records.
#pragma once

#include <string>
#include <string_view>

#include "LinkMessages.h"

// {"msg":1025,"window":"NMEA info","gga":{...}}; `reply` (the decoded reply lines that
// came with a 1126) is added as "reply":[...] when not empty.
std::string MessageJson(const LinkMessage& message, std::string_view reply = {});
