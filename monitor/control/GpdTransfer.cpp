#include "GpdTransfer.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "Framing.h"

namespace {

constexpr uint16_t kGpdType = 0x0266, kEndBlock = 0xFFFF, kSwitchCommand = 0x95;
constexpr uint16_t kCommandReply = 1, kBlockReply = 3;
constexpr int kAckPolls = 200, kAckPollMs = 10;

void PutLe16(CommandBytes& out, uint16_t v) { out.insert(out.end(), {uint8_t(v & 0xFF), uint8_t(v >> 8)}); }

CommandBytes Packet(const CommandBytes& payload) {
    CommandBytes out(payload.size() + 5);
    out.resize(BuildBinaryPacket(payload, out));
    return out;
}

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, args...);
    return buf;
}

}  // namespace

std::string LoadGpdImage(const std::string& path, GpdImage& image) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        image.loaded = false;
        return "Could not open the GPD file!";
    }
    image.length = static_cast<long long>(in.tellg());
    if (image.length < 0 || static_cast<std::size_t>(image.length) > kMaxGpdLength) {
        image.loaded = false;
        return "GPD file length > 4000!";
    }
    image.data.assign(static_cast<std::size_t>(image.length), 0);
    in.seekg(0);
    in.read(reinterpret_cast<char*>(image.data.data()), image.length);
    image.loaded = static_cast<bool>(in) || image.length == 0;
    return image.loaded ? "" : "Could not open the GPD file!";
}

CommandBytes GpdSwitchCommand(uint32_t baud) {
    std::array<char, 256> out{};
    const std::string body = "PZRC149,1," + std::to_string(baud);
    return CommandBytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(BuildNmeaSentence(body, out)));
}

CommandBytes GpdBlockPacket(const GpdImage& image, uint16_t block) {
    CommandBytes payload;
    PutLe16(payload, static_cast<uint16_t>(6 + kGpdBlockSize + 5));
    PutLe16(payload, kGpdType);
    PutLe16(payload, block);
    for (std::size_t i = 0; i < kGpdBlockSize; ++i) {
        const std::size_t at = std::size_t{block} * kGpdBlockSize + i;
        payload.push_back(at < image.data.size() ? image.data[at] : 0xFF);
    }
    return Packet(payload);
}

CommandBytes GpdEndPacket() {
    CommandBytes payload;
    PutLe16(payload, 11);
    PutLe16(payload, kGpdType);
    PutLe16(payload, kEndBlock);
    return Packet(payload);
}

CommandBytes NmeaModePacket(uint32_t baud) {
    CommandBytes payload;
    PutLe16(payload, 14);
    PutLe16(payload, kSwitchCommand);
    payload.push_back(0);
    for (int i = 0; i < 4; ++i) payload.push_back(static_cast<uint8_t>(baud >> (8 * i)));
    return Packet(payload);
}

bool AckWait(const BinaryReply& reply, BinaryReply::Flag flag) {
    if (reply.Arrived(flag)) return true;
    for (int i = 0; i < kAckPolls; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kAckPollMs));
        if (reply.Arrived(flag)) return true;
    }
    return false;
}

namespace {

// The reply to the switch command; "" when the module is in binary mode now.
std::string SwitchRefusal(const BinaryReply& reply) {
    const auto bytes = reply.Bytes();
    BinaryReplyFields f{};
    if (const int r = CheckBinaryReply(bytes, f)) return Format("ACK error %d, cmd %d", r, bytes[6] | bytes[7] << 8);
    if (f.type != kCommandReply || f.value != kSwitchCommand) return Format("ACK error, id %d, cmd %d", f.type, f.value);
    switch (f.byte8) {
        case 3: return "";
        case 0: return "ACK error Invalid";
        case 1: return "ACK error Unsupport";
        case 2: return "ACK error Fail";
        default: return "ACK error Unknow";
    }
}

// The reply to a block (`block`, shown as `seq`); "" when it was accepted.
std::string BlockRefusal(const BinaryReply& reply, uint16_t block, int seq) {
    const auto bytes = reply.Bytes();
    BinaryReplyFields f{};
    if (const int r = CheckBinaryReply(bytes, f)) return Format("ACK error %d, seq %d", r, seq);
    if (f.type != kBlockReply || f.value != block) return Format("ACK error 1, seq %d", seq);
    if (f.byte8 != 1) return Format("ACK error 2, seq %d", seq);
    return "";
}

}  // namespace

// Once the module has switched to binary packets, every ending sends it back to NMEA:
// one left in binary mode sends no NMEA at all.
GpdOutcome SendGpd(const GpdImage& image, uint32_t baud, const GpdLine& line) {
    BinaryReply& reply = *line.reply;
    const auto backToNmea = [&](std::string message) {
        line.send(NmeaModePacket(baud));
        return GpdOutcome{std::move(message), false};
    };
    reply.Clear(BinaryReply::kCommand95);
    line.send(GpdSwitchCommand(baud));
    if (!line.ackWait(BinaryReply::kCommand95)) return backToNmea("ACK timeout 1");
    if (std::string refused = SwitchRefusal(reply); !refused.empty()) return {refused, false};

    uint16_t block = 0;
    for (;; ++block) {
        reply.Clear(BinaryReply::kType3);
        if (static_cast<long long>(block) * static_cast<long long>(kGpdBlockSize) > image.length) break;
        line.send(GpdBlockPacket(image, block));
        if (!line.ackWait(BinaryReply::kType3)) return backToNmea("ACK timeout 2");
        if (std::string refused = BlockRefusal(reply, block, block + 1); !refused.empty()) return backToNmea(refused);
    }
    line.send(GpdEndPacket());
    if (!line.ackWait(BinaryReply::kType3)) return backToNmea("ACK timeout 3");
    const auto bytes = reply.Bytes();
    if (std::string refused = BlockRefusal(reply, kEndBlock, bytes[6] | bytes[7] << 8); !refused.empty()) {
        if (refused.rfind("ACK error 2", 0) == 0) refused = "ACK error 2, seq 65535";
        return backToNmea(refused);
    }
    reply.Clear(BinaryReply::kType3);
    line.send(NmeaModePacket(baud));
    return {"GPD file sent finish", true};
}
