// The chip's boot ROM protocol: memory reads and writes in 16- and 32-bit units, a
// checksum, a jump; and for the ZR7316A the sync handshake that wakes the boot ROM and
// the sequence that puts the flash loader into RAM at 0xC00 and starts it.
// Every value goes most significant byte first; the boot ROM echoes commands and values.
#pragma once

#include <cstdint>

#include "flash/core/FlashPort.h"

using StartCallback = void (*)(void* context);
using ProgressCallback = void (*)(uint8_t percent, uint32_t done, uint32_t total, void* context);

namespace rom {
inline constexpr uint8_t kWriteHalfwords = 0xA1, kReadHalfwords = 0xA2, kChecksum = 0xA4, kJump = 0xA8,
                         kWriteWords = 0xAE, kReadWords = 0xAF;
inline constexpr uint32_t kLoaderAddress = 0xC00;
inline constexpr uint32_t kNoLimit = 0x0FFFFFFF;
// Stage codes of Run.
inline constexpr uint32_t kLoadFailed = 0xA0000, kHandshakeFailed = 0xB0000, kJumpFailed = 0xC0000;
}  // namespace rom

struct LoadRequest {
    const uint8_t* data;
    uint32_t length;
    StartCallback start;
    void* startContext;
    ProgressCallback progress;
    void* progressContext;
};

// Each operation returns 0, or the number of its first failing step as named here.
class Rom_Base {
public:
    virtual uint32_t Run(FlashPort& port, const LoadRequest& request) = 0;
    virtual ~Rom_Base() = default;

    // The transfers: command, address and count, each echoed; then the values, or the
    // checksum. Jump: command and address.
    static constexpr int kCommandFailed = 1, kAddressFailed = 2, kCountFailed = 3, kValueFailed = 4;
    virtual int WriteHalfwords(FlashPort& port, uint32_t address, const uint16_t* values, uint32_t count);
    virtual int ReadHalfwords(FlashPort& port, uint32_t address, uint16_t* values, uint32_t count);
    // WriteBlock: no data; command, address, count; a halfword, or a bulk chunk and its
    // echo; the checksum.
    static constexpr int kNoData = 1, kBlockCommandFailed = 2, kBlockAddressFailed = 3, kBlockCountFailed = 4,
                         kHalfwordFailed = 5, kChunkNotSent = 6, kNoChunkEcho = 7, kWrongChunkEcho = 8,
                         kNoChecksum = 9, kWrongChecksum = 10;
    virtual int WriteBlock(FlashPort& port, uint32_t address, const uint8_t* data, uint32_t length,
                           StartCallback start, void* startContext, ProgressCallback progress,
                           void* progressContext);
    virtual int ReadChecksum(FlashPort& port, uint32_t address, uint32_t halfwords, uint16_t& sum);
    virtual int Jump(FlashPort& port, uint32_t address, bool echo);
    // A command, word or halfword goes out; then its echo, when asked for, is read and compared.
    static constexpr int kNotSent = 1, kNoEcho = 2, kWrongEcho = 3;
    virtual int SendCommand(FlashPort& port, uint8_t code, uint8_t* echoed = nullptr);
    virtual int SendWord(FlashPort& port, uint32_t value, bool echo);
    virtual int SendHalfword(FlashPort& port, uint16_t value, bool echo);
    virtual int WriteWords(FlashPort& port, uint32_t address, const uint32_t* values, uint32_t count);
    virtual int ReadWords(FlashPort& port, uint32_t address, uint32_t* values, uint32_t count);
    // The Put functions return FlashPort::WriteAll's result; the Get functions kNotReceived.
    static constexpr int kNotReceived = 1;
    virtual int PutHalfword(FlashPort& port, uint16_t value);
    virtual int GetHalfword(FlashPort& port, uint16_t& value);
    virtual int PutWord(FlashPort& port, uint32_t value);
    virtual int GetWord(FlashPort& port, uint32_t& value);

private:
    // Command, address and count with echoes: 0, kCommandFailed, kAddressFailed or kCountFailed.
    int Open(FlashPort& port, uint8_t code, uint32_t address, uint32_t count);
};

class Rom_ZR7316A : public Rom_Base {
public:
    Rom_ZR7316A(uint32_t attemptLimit, uint32_t passes) : m_attemptLimit(attemptLimit), m_passes(passes) {}
    ~Rom_ZR7316A() override = default;

    // Handshake, loader into RAM at 0xC00, jump: 0 or a stage code.
    uint32_t Run(FlashPort& port, const LoadRequest& request) override;

    // The handshake alone: 0, or one of these (0xB0005-0xB0008 are unused).
    static constexpr uint32_t kNoLine = 0xB0001, kSyncTimeoutsNotSet = 0xB0002, kBaudRateNotSet = 0xB0003,
                              kEntryNotSent = 0xB0004, kLoadTimeoutsNotSet = 0xB0009, kNotSynchronised = 0xB000A;
    uint32_t Connect(FlashPort& port);

    // One step of the sync state machine on a received byte (0x00 for silence).
    struct SyncState {
        int state = 0;
        uint32_t counter = 0;
        bool resend = true;
    };
    static void SyncStep(SyncState& s, uint8_t received);

private:
    static uint8_t ReceiveSyncAnswer(FlashPort& port);

    uint32_t m_attemptLimit;
    uint32_t m_passes;
    uint32_t m_loadAddress = rom::kLoaderAddress;
};

// The sentence that makes running firmware restart into the boot ROM, as the module
// expects it, checksum characters included.
inline constexpr char kBootEntrySentence[] = "$PZRC75*1D\r\n";
inline constexpr uint8_t kSyncBytes[4] = {0x90, 0x09, 0x60, 0x06};
