// One window message as one line of JSON, fields named as in the records.
#pragma once

#include <string>
#include <string_view>

#include "LinkMessages.h"

// {"msg":1025,"window":"NMEA info","gga":{...}}; a 1126 carries "reply":[...], the
// decoded lines, when the decoder knew the reply.
std::string MessageJson(const LinkMessage& message);
