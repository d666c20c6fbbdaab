#include "monitor/control/GpdTransfer.h"

#include <array>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <thread>

#include "monitor/link/Framing.h"
#include "platform/system/System.h"

namespace {

constexpr uint16_t kGpdType = 0x0266, kEndBlock = 0xFFFF, kSwitchCommand = 0x95;
constexpr uint16_t kCommandReply = 1, kBlockReply = 3;
constexpr int kAckPolls = 200, kAckPollMs = 10;
// A FIFO, a device or a directory: opening one to read would wait for a writer or read
// forever, and none of them is a file from the module's maker.
constexpr const char* kNotRegularText = "GPD file is not a regular file!";
constexpr const char* kBackToNmeaText = "; module sent back to NMEA";

void PutLe16(CommandBytes& out, uint16_t v) { out.insert(out.end(), {uint8_t(v & 0xFF), uint8_t(v >> 8)}); }

CommandBytes Packet(const CommandBytes& payload) {
    CommandBytes out(payload.size() + 5);
    out.resize(BuildBinaryPacket(payload, out));
    return out;
}

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char buf[160];
    std::snprintf(buf, sizeof buf, format, args...);
    return buf;
}

}  // namespace

std::string LoadGpdImage(const std::string& path, GpdImage& image) {
    image.loaded = false;
    platform::File file;
    platform::FileInfo info;
    if (const int error = file.OpenToRead(path); error != 0)
        return error == EISDIR ? kNotRegularText : "Could not open the GPD file!";
    if (file.Info(info) != 0) return "Could not open the GPD file!";
    if (!info.regular) return kNotRegularText;
    image.length = static_cast<long long>(info.size);
    if (info.size == 0) return "GPD file is empty!";
    if (info.size > kMaxGpdLength) return "GPD file length > 4000!";
    image.data.assign(static_cast<std::size_t>(info.size), 0);
    std::size_t got = 0;
    int error = 0;
    while (got < image.data.size()) {
        const long n = file.Read(image.data.data() + got, image.data.size() - got, error);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    image.loaded = got == image.data.size();
    return image.loaded ? "" : "Could not open the GPD file!";
}

int GpdBlockCount(const GpdImage& image) {
    return static_cast<int>(image.length / static_cast<long long>(kGpdBlockSize)) + 1;
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

bool AckWait(const BinaryReply& reply, BinaryReply::Flag flag, const std::function<bool()>& cancelled) {
    if (reply.Arrived(flag)) return true;
    for (int i = 0; i < kAckPolls; ++i) {
        if (cancelled && cancelled()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(kAckPollMs));
        if (reply.Arrived(flag)) return true;
    }
    return false;
}

namespace {

// CheckBinaryReply's results in words.
std::string DamagedText(int result) {
    switch (result) {
        case binaryreply::kTooShort: return "reply too short";
        case binaryreply::kTooLong: return "reply too long";
        case binaryreply::kBadFrame: return "reply badly framed";
        case binaryreply::kBadChecksum: return "reply checksum wrong";
        default: return "reply damaged";
    }
}

// The reply to the switch command; "" when the module is in binary mode now.
std::string SwitchRefusal(const BinaryReply& reply) {
    const auto bytes = reply.Bytes();
    BinaryReplyFields f{};
    if (const int r = CheckBinaryReply(bytes, f))
        return DamagedText(r) + Format(" (ACK error %d, cmd %d)", r, bytes[6] | bytes[7] << 8);
    if (f.type != kCommandReply || f.value != kSwitchCommand)
        return Format("the reply answers another command (ACK error, id %d, cmd %d)", f.type, f.value);
    switch (f.byte8) {
        case 3: return "";
        case 0: return "refused as invalid (ACK error Invalid)";
        case 1: return "refused as unsupported (ACK error Unsupport)";
        case 2: return "the module failed to switch (ACK error Fail)";
        default: return Format("unknown status %d (ACK error Unknow)", f.byte8);
    }
}

// The reply to a block (`block`, shown as `seq`); "" when it was accepted.
std::string BlockRefusal(const BinaryReply& reply, uint16_t block, int seq) {
    const auto bytes = reply.Bytes();
    BinaryReplyFields f{};
    if (const int r = CheckBinaryReply(bytes, f)) return DamagedText(r) + Format(" (ACK error %d, seq %d)", r, seq);
    if (f.type != kBlockReply || f.value != block)
        return Format("the reply answers block %d, type %d (ACK error 1, seq %d)", f.value, f.type, seq);
    if (f.byte8 != 1) return Format("refused, status %d (ACK error 2, seq %d)", f.byte8, seq);
    return "";
}

std::string StepText(GpdStep step, int block, int blocks) {
    switch (step) {
        case GpdStep::Switch: return "Switch to binary packets";
        case GpdStep::Block: return Format("Block %d of %d", block, blocks);
        default: return "End block";
    }
}

}  // namespace

// Once the module has switched to binary packets, every ending sends it back to NMEA
// (one left in binary mode sends no NMEA at all); a cancel too, at the next packet or
// within one poll of a wait.
GpdOutcome SendGpd(const GpdImage& image, uint32_t baud, const GpdLine& line) {
    BinaryReply& reply = *line.reply;
    GpdOutcome out;
    out.blocks = GpdBlockCount(image);
    const auto cancelled = [&] { return line.cancelled && line.cancelled(); };
    // `why` in words; the module goes back to NMEA when `backToNmea`.
    const auto end = [&](GpdStep step, std::string why, bool backToNmea) {
        if (backToNmea) line.send(NmeaModePacket(baud));
        out.step = step;
        out.backToNmea = backToNmea;
        out.cancelled = cancelled();
        if (out.cancelled) why = "cancelled";
        out.message = StepText(step, out.block, out.blocks) + ": " + why + (backToNmea ? kBackToNmeaText : "");
        return out;
    };
    const auto noReply = [&](GpdStep step, int code) {
        return end(step, Format("no reply in 2 s (ACK timeout %d)", code), true);
    };
    reply.Clear(BinaryReply::kCommand95);
    line.send(GpdSwitchCommand(baud));
    if (!line.ackWait(BinaryReply::kCommand95)) return noReply(GpdStep::Switch, 1);
    if (std::string refused = SwitchRefusal(reply); !refused.empty()) return end(GpdStep::Switch, refused, false);

    for (uint16_t block = 0;; ++block) {
        reply.Clear(BinaryReply::kType3);
        if (static_cast<long long>(block) * static_cast<long long>(kGpdBlockSize) > image.length) break;
        out.block = block + 1;
        if (cancelled()) return end(GpdStep::Block, "", true);
        if (line.progress) line.progress(out.block, out.blocks);
        line.send(GpdBlockPacket(image, block));
        if (!line.ackWait(BinaryReply::kType3)) return noReply(GpdStep::Block, 2);
        if (std::string refused = BlockRefusal(reply, block, out.block); !refused.empty())
            return end(GpdStep::Block, refused, true);
    }
    if (cancelled()) return end(GpdStep::End, "", true);
    line.send(GpdEndPacket());
    if (!line.ackWait(BinaryReply::kType3)) return noReply(GpdStep::End, 3);
    const auto bytes = reply.Bytes();
    if (std::string refused = BlockRefusal(reply, kEndBlock, bytes[6] | bytes[7] << 8); !refused.empty()) {
        if (refused.rfind("refused", 0) == 0) refused = Format("refused, status %d (ACK error 2, seq 65535)", bytes[8]);
        return end(GpdStep::End, refused, true);
    }
    reply.Clear(BinaryReply::kType3);
    line.send(NmeaModePacket(baud));
    out.step = GpdStep::Done;
    out.success = true;
    out.backToNmea = true;
    out.message = Format("GPD file sent finish: %d block%s and the end block accepted", out.blocks,
                         out.blocks == 1 ? "" : "s");
    return out;
}
