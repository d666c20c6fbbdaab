// The GPD file transfer: switch the module to binary packets, send the file in numbered
// 512-byte blocks, each acknowledged, close with an end block, switch back to NMEA.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "CommandTable.h"
#include "NmeaDispatcher.h"

inline constexpr std::size_t kMaxGpdLength = 4000;
inline constexpr std::size_t kGpdBlockSize = 512;

struct GpdImage {
    std::vector<uint8_t> data;
    long long length = 0;  // of the last file opened, also when it was too long
    bool loaded = false;
};

// Loads `path`; the message to show when it cannot be sent ("" when it can).
std::string LoadGpdImage(const std::string& path, GpdImage& image);

CommandBytes GpdSwitchCommand(uint32_t baud);  // "$PZRC149,1,<baud>*hh\r\n"
CommandBytes GpdBlockPacket(const GpdImage& image, uint16_t block);
CommandBytes GpdEndPacket();
CommandBytes NmeaModePacket(uint32_t baud);

struct GpdOutcome {
    std::string message;
    bool success = false;  // caption "Success", else "Error"
};

// What the transfer needs of the link: a way to send, the replies the link thread puts
// into BinaryReply, and a wait for a flag (about 2 s: 200 polls 10 ms apart).
struct GpdLine {
    std::function<void(const CommandBytes&)> send;
    BinaryReply* reply;
    std::function<bool(BinaryReply::Flag)> ackWait;
};
bool AckWait(const BinaryReply& reply, BinaryReply::Flag flag);

GpdOutcome SendGpd(const GpdImage& image, uint32_t baud, const GpdLine& line);
