// Turns the module's "$PZRCnnn" replies into readable lines for the command panel's
// Receive box.
#pragma once

#include <string>
#include <string_view>

// "$PZRC001,030,3*hh" appends "[Receive] 001", "[Respond] 030",
// "Status: Valid packet, action succeeded" and an empty line to `text`, each line ended
// by CR LF, as the command panel's Receive box shows them. Replies the table does not
// list add nothing. May write into `sentence`.
void DecodeResponse(char* sentence, std::string& text);

// Appends `line` and CR LF.
void AppendResponseLine(std::string& text, std::string_view line);
