#include "AckDecoder.h"

#include <cstdio>
#include <iterator>

#include "ResponseDecoder.h"

namespace {

// The commands an MTK module acknowledges that have a name here: the panel's restarts
// and constellation choice, and the settings most often typed by hand (from the MTK
// NMEA packet descriptions).
struct MtkCommand {
    int number;
    const char* name;
};

constexpr MtkCommand kMtkCommands[] = {
    {101, "hot start"},    {102, "warm start"},  {103, "cold start"},
    {104, "full cold start"}, {220, "fix interval"}, {251, "baud rate"},
    {301, "DGPS mode"},    {313, "SBAS"},        {314, "NMEA output"},
    {353, "constellation choice"}, {386, "static navigation threshold"},
};

// The flag of $PMTK001, by its value.
constexpr const char* kMtkFlags[] = {"invalid command", "unsupported", "valid but failed", "succeeded"};

const char* MtkCommandName(int number) {
    for (const MtkCommand& c : kMtkCommands)
        if (c.number == number) return c.name;
    return nullptr;
}

std::string_view WithoutLineEnd(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
    return s;
}

// A field of one to five digits as a number; -1 otherwise.
int Number(std::string_view field) {
    if (field.empty() || field.size() > 5) return -1;
    int n = 0;
    for (const char c : field) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

void Invalid(std::string_view shown, std::string& text) {
    AppendResponseLine(text, "Invalid Packet: " + std::string(shown));
    AppendResponseLine(text, "");
}

}  // namespace

void DecodeMtkAck(std::string_view sentence, std::string& text) {
    constexpr std::string_view kName = "$PMTK001,";
    const std::string_view whole = WithoutLineEnd(sentence);
    std::string_view fields = whole.starts_with(kName) ? whole.substr(kName.size()) : std::string_view();
    fields = fields.substr(0, fields.find('*'));
    const auto comma = fields.find(',');
    const std::string_view rest = comma == std::string_view::npos ? std::string_view() : fields.substr(comma + 1);
    const int command = Number(fields.substr(0, comma));
    const int flag = Number(rest.substr(0, rest.find(',')));  // a firmware may add fields after it
    if (command < 0 || flag < 0) return Invalid(whole, text);

    char number[16];
    std::snprintf(number, sizeof number, "%03d", command);
    std::string line = "MTK ACK for PMTK" + std::string(number);
    if (const char* name = MtkCommandName(command)) line += std::string(" (") + name + ")";
    line += ": ";
    line += flag < static_cast<int>(std::size(kMtkFlags)) ? kMtkFlags[flag] : "undefined flag " + std::to_string(flag);
    AppendResponseLine(text, line);
    AppendResponseLine(text, "");
}

ReplyDecoders ModuleReplyDecoders() { return {DecodeResponse, DecodeMtkAck}; }
