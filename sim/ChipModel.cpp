#include "sim/ChipModel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace sim {
namespace {

constexpr char kBootEntry[] = "$PZRC75*1D\r\n";
constexpr uint8_t kSync[4] = {0x90, 0x09, 0x60, 0x06};
constexpr uint32_t kLoaderAddress = 0xC00;
// The flash loader both flashing programs carry; the boot ROM's RAM model knows it only
// by where it goes and how long it is.
constexpr uint32_t kLoaderBytes = 8728;
constexpr uint32_t kMaxCollect = 1u << 22;
// What the loader takes in its flash-range and write commands; anything else it refuses.
constexpr uint8_t kModeByte = 1;
constexpr uint32_t kPacketSize = 1024;
constexpr uint32_t kBaudTable[15] = {0,     921600, 460800, 230400, 115200, 57600, 38400, 19200,
                                     14400, 9600,   4800,   2400,   1200,   300,   110};

constexpr uint8_t kAck = 0x6B, kReady = 0xB0, kRefused = 0x1C, kPacketOk = 0xB9, kGiveUp = 0xB6, kClosed = 0xA0;
constexpr uint8_t kGarbage = 0x3C;
// The loader's abort for a write that would run past the end of the flash.
constexpr uint8_t kPastFlashEnd = 0x05;

void Put(std::string& out, uint8_t b) { out += static_cast<char>(b); }

}  // namespace

ChipModel::ChipModel(ChipFaults faults, std::string flashPath, uint32_t flashSize)
    : m_faults(faults), m_flashSize(faults.flashBytes ? faults.flashBytes : flashSize) {
    if (flashPath.empty()) return;
    m_flashFd = ::open(flashPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    struct stat st {};
    if (m_flashFd >= 0 && ::fstat(m_flashFd, &st) == 0 && static_cast<uint64_t>(st.st_size) != flashSize) {
        // A fresh chip: every flash byte erased.
        const std::vector<uint8_t> erased(flashSize, 0xFF);
        if (::ftruncate(m_flashFd, 0) != 0 || ::pwrite(m_flashFd, erased.data(), erased.size(), 0) < 0) {
            ::close(m_flashFd);
            m_flashFd = -1;
        }
    }
}

ChipModel::~ChipModel() {
    if (m_flashFd >= 0) ::close(m_flashFd);
}

void ChipModel::Receive(const uint8_t* bytes, std::size_t count, uint32_t hostBaud, std::string& out) {
    for (std::size_t i = 0; i < count; ++i) Feed(bytes[i], hostBaud, out);
}

// A restart into the boot ROM: RAM holds nothing the host put there, and the UART
// samples at the boot ROM's rate.
void ChipModel::EnterBootRom() {
    m_state = State::Sync;
    m_sync = 0;
    m_hostBytes = 0;
    m_entryMatched = 0;
    m_ram.clear();
    m_loaderProven = false;
    m_lineBaud = m_faults.bootRomBaud;
}

void ChipModel::Collect(std::size_t count, bool echo, Handler then) {
    m_buf.clear();
    m_need = count;
    m_echo = echo;
    m_then = then;
    m_state = State::Collect;
}

uint32_t ChipModel::Word(std::size_t at) const {
    return static_cast<uint32_t>(m_buf[at]) << 24 | static_cast<uint32_t>(m_buf[at + 1]) << 16 |
           static_cast<uint32_t>(m_buf[at + 2]) << 8 | m_buf[at + 3];
}

void ChipModel::Feed(uint8_t b, uint32_t baud, std::string& out) {
    if (m_state != State::Firmware) {
        ++m_hostBytes;
        if (m_faults.cutAtByte >= 0 && m_hostBytes > static_cast<uint64_t>(m_faults.cutAtByte)) m_state = State::Dead;
    }
    const bool bootRom = m_state == State::Sync || m_state == State::Command ||
                         (m_state == State::Collect && m_command >= 0xA1 && m_command <= 0xAF);
    if (bootRom && m_faults.silentBootRom) return;
    // Boot ROM and loader sample the line at their own rate: a byte sent at another rate
    // is noise to the UART (a framing error at best), never a command or data.
    if (m_state != State::Firmware && baud != m_lineBaud) return;

    switch (m_state) {
        case State::Dead: return;
        case State::Firmware:
            m_entryMatched = b == static_cast<uint8_t>(kBootEntry[m_entryMatched]) ? m_entryMatched + 1
                             : b == '$'                                           ? 1
                                                                                  : 0;
            if (m_entryMatched == sizeof kBootEntry - 1) EnterBootRom();
            return;
        case State::Sync:
            // Every sync byte in its place is answered with its complement, each repeat of
            // the first included (a host polling faster than the line sends many, and
            // must let the late answers pass); any other byte breaks the sequence.
            if (b == kSync[m_sync] || b == kSync[0]) {
                Put(out, static_cast<uint8_t>(~b));
                m_sync = b == kSync[m_sync] ? m_sync + 1 : 1;
                if (m_sync == 4) m_state = State::Command;
            } else {
                m_sync = 0;
            }
            return;
        case State::Command:
            if (b == 0xA8 && m_faults.silentJump) return;
            Put(out, b);  // every command byte is echoed
            m_command = b;
            if (b == 0xA8) Collect(4, true, &ChipModel::OnJump);
            else if (b == 0xA1 || b == 0xA2 || b == 0xA4 || b == 0xAE || b == 0xAF)
                Collect(8, true, &ChipModel::OnMemoryParams);
            return;
        case State::Collect:
            m_buf.push_back(b);
            if (m_echo) {
                const bool data = m_then == &ChipModel::OnHalfwordData;
                if (data && m_faults.corruptBulkEchoAt >= 0 &&
                    m_dataEchoed++ == static_cast<uint64_t>(m_faults.corruptBulkEchoAt))
                    b ^= 0x10;
                Put(out, b);
            }
            if (m_buf.size() == m_need) (this->*m_then)(out);
            return;
        case State::LoaderIdle:
        case State::Closed: return OnLoaderCommand(b, out);
        case State::BaudCheck:
            if (b == kReady) {
                Put(out, kReady);
                m_state = State::BaudAck;
            }
            return;
        case State::BaudAck:
            if (b == kReady) Put(out, kReady);
            if (b != kAck) return;
            Put(out, kAck);
            m_state = m_echoTestLeft ? State::EchoTest : State::LoaderIdle;
            return;
        case State::EchoTest:
            Put(out, b);
            if (--m_echoTestLeft == 0) m_state = State::LoaderIdle;
            return;
        case State::WaitGiveUp:
            if (b != kGiveUp) return;
            if (m_faults.refuseRetry) {
                Put(out, kRefused);
                m_state = State::LoaderIdle;
                return;
            }
            Put(out, kAck);
            m_state = State::WaitAgain;
            return;
        case State::WaitAgain:
            if (b == kPacketOk) Collect(m_packetLength + 2, false, &ChipModel::OnPacket);
            return;
    }
}

void ChipModel::OnMemoryParams(std::string& out) {
    m_address = Word(0);
    const uint32_t count = std::min(Word(4), kMaxCollect);
    m_state = State::Command;
    switch (m_command) {
        case 0xA1: Collect(count * 2, true, &ChipModel::OnHalfwordData); break;
        case 0xAE: Collect(count * 4, true, &ChipModel::OnWordData); break;
        case 0xA2:
            for (uint32_t k = 0; k < count; ++k) {
                const uint16_t h = m_ram[m_address + 2 * k];
                Put(out, static_cast<uint8_t>(h >> 8));
                Put(out, static_cast<uint8_t>(h));
            }
            break;
        case 0xAF:
            for (uint32_t k = 0; k < count * 2; ++k) {
                const uint16_t h = m_ram[m_address + 2 * k];
                Put(out, static_cast<uint8_t>(h >> 8));
                Put(out, static_cast<uint8_t>(h));
            }
            break;
        case 0xA4: return OnChecksum(count, out);
    }
}

// The checksum is how a host proves what it wrote: reading it over the whole loader,
// every halfword of which was written, is what makes the jump to 0xC00 safe.
void ChipModel::OnChecksum(uint32_t halfwords, std::string& out) {
    uint16_t sum = 0;
    bool allWritten = true;
    for (uint32_t k = 0; k < halfwords; ++k) {
        const auto at = m_ram.find(m_address + 2 * k);
        if (at == m_ram.end()) allWritten = false;
        else sum ^= at->second;
    }
    if (m_faults.wrongChecksum) sum ^= 1;
    Put(out, static_cast<uint8_t>(sum >> 8));
    Put(out, static_cast<uint8_t>(sum));
    if (m_address == kLoaderAddress && halfwords == (kLoaderBytes + 1) / 2 && allWritten && !m_faults.wrongChecksum)
        m_loaderProven = true;
}

void ChipModel::OnHalfwordData(std::string&) {
    for (std::size_t k = 0; k + 1 < m_buf.size(); k += 2)
        m_ram[m_address + static_cast<uint32_t>(k)] = static_cast<uint16_t>(m_buf[k] << 8 | m_buf[k + 1]);
    OnWritten(static_cast<uint32_t>(m_buf.size()));
    m_state = State::Command;
}

void ChipModel::OnWordData(std::string& out) { OnHalfwordData(out); }

// A write into the loader's place after its checksum was read leaves it unproven.
void ChipModel::OnWritten(uint32_t bytes) {
    if (m_address < kLoaderAddress + kLoaderBytes && uint64_t{m_address} + bytes > kLoaderAddress)
        m_loaderProven = false;
}

void ChipModel::OnJump(std::string& out) {
    m_state = State::Command;
    if (Word(0) != kLoaderAddress) return;
    // The boot ROM jumps whatever RAM holds: without the proven loader the chip runs
    // into garbage and nothing answers any more.
    if (!m_loaderProven) {
        m_state = State::Dead;
        return;
    }
    StartLoader(out);
}

// The loader runs: it announces itself at the boot ROM's rate.
void ChipModel::StartLoader(std::string& out) {
    m_command = 0;
    if (m_faults.refuseReady || m_faults.wrongLead) {
        Put(out, m_faults.refuseReady ? kRefused : kGarbage);
    } else {
        Put(out, kReady);
        Put(out, m_faults.wrongReady ? 0x02 : 0x01);
        Put(out, 0x00);
    }
    m_state = State::LoaderIdle;
}

void ChipModel::OnLoaderCommand(uint8_t b, std::string& out) {
    switch (b) {
        case 0xE1: return Collect(2, false, &ChipModel::OnSwitchBaud);
        case 0xE2: return Collect(9, false, &ChipModel::OnFlashRange);
        case 0xE3: return Collect(8, false, &ChipModel::OnWriteHeader);
        case 0xE5:
            Put(out, kClosed);
            m_state = State::Firmware;  // back to NMEA output
            return;
        default: return;
    }
}

void ChipModel::OnSwitchBaud(std::string& out) {
    const uint8_t index = m_buf[0];
    m_echoTestLeft = static_cast<uint32_t>(m_buf[1]) * 11;
    if (m_faults.refuseBaudSwitch || index < 1 || index > 14) {
        Put(out, kRefused);
        m_state = State::LoaderIdle;
        return;
    }
    // The acknowledge goes out at the old rate; from then on the UART samples at the new.
    Put(out, kAck);
    m_lineBaud = kBaudTable[index];
    m_state = State::BaudCheck;
}

// In place of the acknowledge and the following byte, as the loader answers a command
// it will not carry out.
void ChipModel::Refuse(uint8_t code, std::string& out) {
    Put(out, code);
    Put(out, code);
    m_state = State::LoaderIdle;
}

void ChipModel::OnFlashRange(std::string& out) {
    const uint32_t start = Word(1) & 0x07FFFFFF, end = Word(5) & 0x07FFFFFF;
    if (m_faults.refuseRange || m_buf[0] != kModeByte || end < start) return Refuse(kRefused, out);
    m_flashStart = start;
    m_flashEnd = end;
    Put(out, kAck);
    Put(out, m_faults.waitFactor);
    m_state = State::LoaderIdle;
}

void ChipModel::OnWriteHeader(std::string& out) {
    if (Word(0) != kPacketSize) return Refuse(kRefused, out);
    const uint32_t total = m_flashEnd - m_flashStart + 1;
    const uint32_t head = std::min<uint32_t>(4, total);
    if (static_cast<uint64_t>(m_flashStart) + head > m_flashSize) return Refuse(kPastFlashEnd, out);
    if (m_flashFd >= 0) ::pwrite(m_flashFd, m_buf.data() + 4, head, m_flashStart);
    m_flashOffset = m_flashStart + 4;
    m_remaining = total > 4 ? total - 4 : 0;
    m_packet = 0;
    m_badReplies = m_garbageSent = 0;
    Put(out, kAck);
    Put(out, kAck);
    NextPacketOrClose(out);
}

void ChipModel::NextPacketOrClose(std::string& out) {
    if (m_remaining == 0) {
        Put(out, kAck);
        Put(out, m_faults.finalFailure ? kGiveUp : kAck);
        m_state = State::Closed;
        return;
    }
    m_packetLength = std::min(kPacketSize, m_remaining);
    Collect(m_packetLength + 2, false, &ChipModel::OnPacket);
}

// A bad reply is followed by the loader's own acknowledge for the first three; from the
// fourth on the host announces its repeat with 0xB6 first.
void ChipModel::BadReply(std::string& out) {
    Put(out, kGarbage);
    if (++m_badReplies <= 3) {
        Put(out, kAck);
        m_state = State::WaitAgain;
    } else {
        m_state = State::WaitGiveUp;
    }
}

void ChipModel::OnPacket(std::string& out) {
    if (m_packet == m_faults.abortPacket) {
        Put(out, m_faults.abortCode);
        m_state = State::LoaderIdle;
        return;
    }
    // The range was taken on trust; the flash itself ends where it ends.
    if (static_cast<uint64_t>(m_flashOffset) + m_packetLength > m_flashSize) {
        Put(out, kPastFlashEnd);
        m_state = State::LoaderIdle;
        return;
    }
    uint16_t sum = 0;
    for (uint32_t i = 0; i < m_packetLength; ++i) sum = static_cast<uint16_t>(sum + m_buf[i]);
    const uint16_t sent = static_cast<uint16_t>(m_buf[m_packetLength] << 8 | m_buf[m_packetLength + 1]);
    if (m_packet == m_faults.garbagePacket && m_garbageSent < m_faults.garbageTimes) {
        ++m_garbageSent;
        return BadReply(out);
    }
    if (sum != sent) return BadReply(out);
    if (m_flashFd >= 0) ::pwrite(m_flashFd, m_buf.data(), m_packetLength, m_flashOffset);
    Put(out, kPacketOk);
    m_flashOffset += m_packetLength;
    m_remaining -= m_packetLength;
    ++m_packet;
    m_badReplies = 0;
    NextPacketOrClose(out);
}

}  // namespace sim
