#include "monitor/control/AckDecoder.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "monitor/control/ResponseDecoder.h"
#include "monitor/link/Framing.h"

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

// The messages a UBX module acknowledges that have a name here: the panel's three and
// the other configuration messages a bench sends most.
struct UbxMessage {
    uint8_t cls, id;
    const char* name;
};

constexpr UbxMessage kUbxMessages[] = {
    {0x06, 0x00, "CFG-PRT"},  {0x06, 0x01, "CFG-MSG"},  {0x06, 0x04, "CFG-RST"},
    {0x06, 0x08, "CFG-RATE"}, {0x06, 0x09, "CFG-CFG"},  {0x06, 0x16, "CFG-SBAS"},
    {0x06, 0x17, "CFG-NMEA"}, {0x06, 0x24, "CFG-NAV5"}, {0x06, 0x3E, "CFG-GNSS"},
};

const char* MtkCommandName(int number) {
    for (const MtkCommand& c : kMtkCommands)
        if (c.number == number) return c.name;
    return nullptr;
}

const char* UbxMessageName(uint8_t cls, uint8_t id) {
    for (const UbxMessage& m : kUbxMessages)
        if (m.cls == cls && m.id == id) return m.name;
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

void DecodeUbxAck(std::span<const uint8_t> frame, std::string& text) {
    if (frame.size() < ubx::kAckFrameLength || frame[2] != ubx::kClassAck ||
        (frame[3] != ubx::kIdAck && frame[3] != ubx::kIdNak)) {
        std::string hex;
        for (const uint8_t b : frame.first(std::min<std::size_t>(frame.size(), 32))) {
            char byte[4];
            std::snprintf(byte, sizeof byte, hex.empty() ? "%02X" : " %02X", b);
            hex += byte;
        }
        return Invalid(hex, text);
    }
    const bool accepted = frame[3] == ubx::kIdAck;
    const uint8_t cls = frame[ubx::kHeaderLength], id = frame[ubx::kHeaderLength + 1];
    char ids[8];
    std::snprintf(ids, sizeof ids, "%02X %02X", cls, id);
    std::string line = accepted ? "UBX ACK-ACK for " : "UBX ACK-NAK for ";
    const char* name = UbxMessageName(cls, id);
    line += name ? std::string(name) + " (" + ids + ")" : std::string(ids);
    if (!accepted) line += ": refused";
    AppendResponseLine(text, line);
    AppendResponseLine(text, "");
}

ReplyDecoders ModuleReplyDecoders() { return {DecodeResponse, DecodeMtkAck, DecodeUbxAck}; }
