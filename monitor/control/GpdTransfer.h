// The GPD file transfer: switch the module to binary packets, send the file in numbered
// 512-byte blocks, each acknowledged, close with an end block, switch back to NMEA.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "monitor/control/CommandTable.h"
#include "monitor/link/NmeaDispatcher.h"

inline constexpr std::size_t kMaxGpdLength = 4000;
inline constexpr std::size_t kGpdBlockSize = 512;

struct GpdImage {
    std::vector<uint8_t> data;
    long long length = 0;  // of the last file opened, also when it was too long
    bool loaded = false;
};

// Loads `path`; the message to show when it cannot be sent ("" when it can). Only a
// regular file of 1 to 4000 bytes is an image; it is opened without waiting, so a FIFO
// or a device is refused instead of holding the caller.
std::string LoadGpdImage(const std::string& path, GpdImage& image);
// The blocks an image goes out in, the end block not counted (1 to 8).
int GpdBlockCount(const GpdImage& image);

CommandBytes GpdSwitchCommand(uint32_t baud);  // "$PZRC149,1,<baud>*hh\r\n"
CommandBytes GpdBlockPacket(const GpdImage& image, uint16_t block);
CommandBytes GpdEndPacket();
CommandBytes NmeaModePacket(uint32_t baud);

// Where an upload ended: the step that failed (or kDone), and for a block its number
// counted from 1 of how many.
enum class GpdStep { Switch, Block, End, Done };

struct GpdOutcome {
    std::string message;   // in words, the step first, the reply's code at the end
    bool success = false;  // caption "Success", else "Error"
    GpdStep step = GpdStep::Switch;
    int block = 0, blocks = 0;
    bool cancelled = false;
    bool backToNmea = false;  // the NMEA-mode packet went out at the end
};

// What the transfer needs of the link: a way to send, the replies the link thread puts
// into BinaryReply, and a wait for a flag (about 2 s: 200 polls 10 ms apart). Optional:
// `progress` hears each block as it goes (k counted from 1, of n), and `cancelled` is
// asked between packets and by the wait.
struct GpdLine {
    std::function<void(const CommandBytes&)> send;
    BinaryReply* reply;
    std::function<bool(BinaryReply::Flag)> ackWait;
    std::function<void(int block, int blocks)> progress = {};
    std::function<bool()> cancelled = {};
};
// True when the flag came; false after about 2 s, or at once when `cancelled` says so.
bool AckWait(const BinaryReply& reply, BinaryReply::Flag flag, const std::function<bool()>& cancelled = {});

GpdOutcome SendGpd(const GpdImage& image, uint32_t baud, const GpdLine& line);
