// Turns the module's "$PZRCnnn" replies into readable lines for the command panel's
// Receive box.
#pragma once

#include <string>
#include <string_view>

// "$PZRC001,030,3*hh" appends "[Receive] 001", "[Respond] 030",
// "Status: Valid packet, action succeeded" and an empty line to the response text.
// Replies the table does not list add nothing. May write into `sentence`.
void DecodeResponse(char* sentence);

// The response text: appended to by the link thread, copied and emptied by the window.
void AppendResponseLine(std::string_view text);  // text + CR LF
std::string ResponseText();                      // a copy
std::string TakeResponseText();                  // a copy, leaving it empty
void ClearResponseText();
