// The module's chip as the flashing programs meet it: on the boot-entry sentence the
// running firmware restarts into the boot ROM (sync handshake, memory commands on a RAM
// model, jump); a jump to 0xC00 starts the flash loader (ready bytes, baud switch with
// line check, flash range, packets with checksums and the retry dance, closing bytes).
// The flash is a file. Faults are injected on request.
//
// The chip holds a host to what the real part would: its UART hears only bytes sent at
// the rate it samples at (the boot ROM's rate, then the loader's after a baud switch);
// the loader runs only when its whole image was written to RAM at 0xC00 and its
// checksum read back; the loader refuses a mode byte or packet size it does not know
// and any packet that would end past the flash.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace sim {

struct ChipFaults {
    bool silentBootRom = false;
    uint32_t bootRomBaud = 115200;   // the only rate the boot ROM understands
    int64_t corruptBulkEchoAt = -1;  // data byte of the RAM write whose echo is changed
    bool wrongChecksum = false;      // RAM checksum off by one bit
    bool silentJump = false;         // no echo for the jump command
    bool refuseReady = false;        // 0x1C instead of the ready byte
    bool wrongLead = false;          // another byte instead of the ready byte
    bool wrongReady = false;         // 0xB0 0x02 0x00
    bool refuseBaudSwitch = false;
    bool refuseRange = false;        // no acknowledge for the flash range
    int64_t garbagePacket = -1;      // this packet (0-based) is answered with garbage...
    int garbageTimes = 0;            // ...this many times
    bool refuseRetry = false;        // answer the host's 0xB6 with a refusal
    int64_t abortPacket = -1;        // this packet is answered with abortCode
    uint8_t abortCode = 0x05;
    bool finalFailure = false;       // 0xB6 as the last closing byte
    int64_t cutAtByte = -1;          // the line goes dead after this many host bytes
    uint8_t waitFactor = 10;
    uint32_t flashBytes = 0;         // a smaller flash than the simulator's (0: its own size)
};

class ChipModel {
public:
    // The flash file is made (filled with 0xFF) when missing or of another size.
    ChipModel(ChipFaults faults, std::string flashPath, uint32_t flashSize);

    // Bytes from the host at its current baud rate; replies are appended to `out`.
    void Receive(const uint8_t* bytes, std::size_t count, uint32_t hostBaud, std::string& out);

    bool RunningFirmware() const { return m_state == State::Firmware; }
    // The rate the chip's UART samples at; 0 while the firmware runs (it follows the
    // host's rate).
    uint32_t LineRate() const { return m_state == State::Firmware ? 0 : m_lineBaud; }

    ~ChipModel();
    ChipModel(const ChipModel&) = delete;
    ChipModel& operator=(const ChipModel&) = delete;

private:
    enum class State {
        Firmware, Sync, Command, Collect, LoaderIdle, BaudCheck, BaudAck, EchoTest, WaitGiveUp, WaitAgain,
        Closed,  // the packet stream ended: the loader waits for its finish command
        Dead
    };
    using Handler = void (ChipModel::*)(std::string& out);

    void Feed(uint8_t b, uint32_t baud, std::string& out);
    void EnterBootRom();
    void OnWritten(uint32_t bytes);
    void Collect(std::size_t count, bool echo, Handler then);
    uint32_t Word(std::size_t at) const;

    void OnMemoryParams(std::string& out);
    void OnHalfwordData(std::string& out);
    void OnWordData(std::string& out);
    void OnJump(std::string& out);
    void OnLoaderCommand(uint8_t b, std::string& out);
    void OnSwitchBaud(std::string& out);
    void OnFlashRange(std::string& out);
    void OnWriteHeader(std::string& out);
    void OnChecksum(uint32_t halfwords, std::string& out);
    void StartLoader(std::string& out);
    void Refuse(uint8_t code, std::string& out);
    void OnPacket(std::string& out);
    void NextPacketOrClose(std::string& out);
    void BadReply(std::string& out);

    ChipFaults m_faults;
    State m_state = State::Firmware;
    std::size_t m_entryMatched = 0;
    int m_sync = 0;
    uint64_t m_hostBytes = 0;

    uint8_t m_command = 0;
    std::vector<uint8_t> m_buf;
    std::size_t m_need = 0;
    bool m_echo = false;
    Handler m_then = nullptr;
    uint32_t m_address = 0;
    uint64_t m_dataEchoed = 0;
    std::unordered_map<uint32_t, uint16_t> m_ram;
    bool m_loaderProven = false;  // written at 0xC00 and its checksum read since
    uint32_t m_lineBaud = 0;

    uint32_t m_echoTestLeft = 0;
    uint32_t m_flashStart = 0, m_flashEnd = 0;
    uint32_t m_flashOffset = 0, m_remaining = 0, m_packetLength = 0;
    int64_t m_packet = 0;
    int m_badReplies = 0, m_garbageSent = 0;

    int m_flashFd = -1;
    uint32_t m_flashSize;
};

}  // namespace sim
