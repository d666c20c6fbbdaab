// The module's side of the GPD upload: "$PZRC149,1,<baud>" switches the line to binary
// packets, numbered 512-byte blocks follow, each answered, an end block closes the
// upload and the NMEA-mode packet returns the line to NMEA output. Packets both ways are
// framed 0xAA 0xF0, total length (16 bits, little-endian), payload, XOR of the payload,
// CR LF; every payload starts with that length and a 16-bit type.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// A reply to the switch command or to a block, chosen for misbehaviour: `target` is a
// block number (65535 the end block) or kSwitchCommand.
struct GpdFaults {
    static constexpr int64_t kNone = -2;
    static constexpr int64_t kSwitchCommand = -1;
    int64_t silentAt = kNone;       // no reply at all
    int64_t badStatusAt = kNone;    // status `badStatus` instead of success
    uint8_t badStatus = 0;
    int64_t badChecksumAt = kNone;  // the reply's XOR byte is off by one bit
    int64_t wrongBlockAt = kNone;   // the reply names the next block (or command)
};

struct GpdUpload {
    std::vector<uint8_t> data;  // block n at n * 512; blocks never received are 0xFF
    int blocksAccepted = 0;
    bool complete = false;      // the end block was accepted
    uint32_t nmeaModeBaud = 0;  // the rate the NMEA-mode packet named; 0 before one came
};

// "AA F0 0C 00 <type> <value> <status> <xor> 0D 0A": the module's 12-byte reply.
std::string BinaryReply(uint16_t type, uint16_t value, uint8_t status);

class GpdSession {
public:
    static constexpr uint16_t kSwitchCommand = 0x95;  // also the NMEA-mode packet's type
    static constexpr uint16_t kBlockType = 0x0266;
    static constexpr uint16_t kEndBlock = 0xFFFF;
    static constexpr std::size_t kBlockBytes = 512;

    // `outPath`: where a completed upload is written; empty: nowhere.
    GpdSession(GpdFaults faults, std::string outPath);

    bool BinaryMode() const { return m_binary; }
    // The fields of "$PZRC149,<fields>*hh"; the reply is appended to `out`.
    void OnSwitchCommand(std::string_view fields, std::string& out);
    // Bytes from the host while in binary mode.
    void Feed(uint8_t b, std::string& out);

    GpdUpload Upload() const;  // from any thread

private:
    void OnPacket(std::string& out);
    void OnBlock(uint16_t block, bool intact, std::string& out);
    void Reply(int64_t target, uint16_t type, uint16_t value, uint8_t status, std::string& out) const;

    GpdFaults m_faults;
    std::string m_outPath;
    bool m_binary = false;
    std::vector<uint8_t> m_packet;
    std::size_t m_need = 0;

    mutable std::mutex m_mutex;  // guards m_upload
    GpdUpload m_upload;
};

}  // namespace sim
