#include "flash/core/BootRom.h"

#include <cstring>

namespace {
constexpr uint32_t kCommandWaitMs = 1000;
constexpr uint32_t kWordEchoWaitMs = 4;
constexpr uint32_t kHalfwordEchoWaitMs = 2;
constexpr uint32_t kBulkChunk = 256;
constexpr int kProgressSteps = 30;
constexpr int kBytesWaitingPolls = 102;
constexpr uint32_t kBaudRates[] = {115200, 9600};
constexpr int kSynchronised = 4;  // SyncState::state once all four sync bytes are answered
// Time-outs while synchronising (none to speak of: the handshake polls), and for the
// RAM load after it; the pause before the load lets the boot ROM settle.
constexpr uint32_t kSyncTimeoutMs = 1, kLoadReadTimeoutMs = 1000, kLoadWriteTimeoutMs = 700, kSettleMs = 200;
}  // namespace

int Rom_Base::PutHalfword(FlashPort& port, uint16_t v) {
    const uint8_t b[2] = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    return port.WriteAll(b, 2);
}

int Rom_Base::PutWord(FlashPort& port, uint32_t v) {
    const uint8_t b[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                          static_cast<uint8_t>(v)};
    return port.WriteAll(b, 4);
}

int Rom_Base::GetHalfword(FlashPort& port, uint16_t& v) {
    uint8_t b[2];
    if (port.ReadExact(b, 2, kOneRead) != 0) return kNotReceived;
    v = static_cast<uint16_t>(b[0] << 8 | b[1]);
    return 0;
}

int Rom_Base::GetWord(FlashPort& port, uint32_t& v) {
    uint8_t b[4];
    if (port.ReadExact(b, 4, kOneRead) != 0) return kNotReceived;
    v = static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 | static_cast<uint32_t>(b[2]) << 8 | b[3];
    return 0;
}

int Rom_Base::SendCommand(FlashPort& port, uint8_t code, uint8_t* echoed) {
    if (port.WriteAll(&code, 1) != 0) return kNotSent;
    port.Wait(kCommandWaitMs);
    uint8_t reply = 0;
    if (port.ReadExact(&reply, 1, kOneRead) != 0) return kNoEcho;
    if (echoed) *echoed = reply;
    return reply == code ? 0 : kWrongEcho;
}

int Rom_Base::SendWord(FlashPort& port, uint32_t value, bool echo) {
    if (PutWord(port, value) != 0) return kNotSent;
    if (!echo) return 0;
    port.Wait(kWordEchoWaitMs);
    uint32_t back = 0;
    if (GetWord(port, back) != 0) return kNoEcho;
    return back == value ? 0 : kWrongEcho;
}

int Rom_Base::SendHalfword(FlashPort& port, uint16_t value, bool echo) {
    if (PutHalfword(port, value) != 0) return kNotSent;
    if (!echo) return 0;
    port.Wait(kHalfwordEchoWaitMs);
    uint16_t back = 0;
    if (GetHalfword(port, back) != 0) return kNoEcho;
    return back == value ? 0 : kWrongEcho;
}

int Rom_Base::Open(FlashPort& port, uint8_t code, uint32_t address, uint32_t count) {
    if (SendCommand(port, code) != 0) return kCommandFailed;
    if (SendWord(port, address, true) != 0) return kAddressFailed;
    if (SendWord(port, count, true) != 0) return kCountFailed;
    return 0;
}

int Rom_Base::WriteHalfwords(FlashPort& port, uint32_t address, const uint16_t* values, uint32_t count) {
    if (const int r = Open(port, rom::kWriteHalfwords, address, count)) return r;
    for (uint32_t i = 0; i < count; ++i)
        if (SendHalfword(port, values[i], true) != 0) return kValueFailed;
    return 0;
}

int Rom_Base::ReadHalfwords(FlashPort& port, uint32_t address, uint16_t* values, uint32_t count) {
    if (const int r = Open(port, rom::kReadHalfwords, address, count)) return r;
    for (uint32_t i = 0; i < count; ++i)
        if (GetHalfword(port, values[i]) != 0) return kValueFailed;
    return 0;
}

int Rom_Base::WriteWords(FlashPort& port, uint32_t address, const uint32_t* values, uint32_t count) {
    if (const int r = Open(port, rom::kWriteWords, address, count)) return r;
    for (uint32_t i = 0; i < count; ++i)
        if (SendWord(port, values[i], true) != 0) return kValueFailed;
    return 0;
}

int Rom_Base::ReadWords(FlashPort& port, uint32_t address, uint32_t* values, uint32_t count) {
    if (const int r = Open(port, rom::kReadWords, address, count)) return r;
    for (uint32_t i = 0; i < count; ++i)
        if (GetWord(port, values[i]) != 0) return kValueFailed;
    return 0;
}

int Rom_Base::ReadChecksum(FlashPort& port, uint32_t address, uint32_t halfwords, uint16_t& sum) {
    if (const int r = Open(port, rom::kChecksum, address, halfwords)) return r;
    return GetHalfword(port, sum) != 0 ? kValueFailed : 0;
}

int Rom_Base::Jump(FlashPort& port, uint32_t address, bool echo) {
    if (SendCommand(port, rom::kJump) != 0) return kCommandFailed;
    return SendWord(port, address, echo) != 0 ? kAddressFailed : 0;
}

// The buffer's little-endian halfwords go high byte first: in bulk chunks of 256 bytes,
// each read back and compared, while more than 256 bytes remain; then one halfword at
// a time with its echo. The boot ROM's XOR of the written halfwords proves the whole.
int Rom_Base::WriteBlock(FlashPort& port, uint32_t address, const uint8_t* data, uint32_t length,
                         StartCallback start, void* startContext, ProgressCallback progress, void* progressContext) {
    if (!data || length == 0) return kNoData;
    if (start) start(startContext);
    if (SendCommand(port, rom::kWriteHalfwords) != 0) return kBlockCommandFailed;
    if (SendWord(port, address, true) != 0) return kBlockAddressFailed;
    if (SendWord(port, (length + 1) / 2, true) != 0) return kBlockCountFailed;
    uint32_t offset = 0;
    uint16_t sum = 0;
    int lastStep = 0;
    while (offset < length) {
        if (length - offset - 1 >= kBulkChunk) {
            uint8_t chunk[kBulkChunk], echo[kBulkChunk];
            for (uint32_t k = 0; k < kBulkChunk; k += 2) {
                chunk[k] = data[offset + k + 1];
                chunk[k + 1] = data[offset + k];
                sum ^= static_cast<uint16_t>(data[offset + k + 1] << 8 | data[offset + k]);
            }
            if (port.WriteAll(chunk, kBulkChunk) != 0) return kChunkNotSent;
            if (port.ReadExact(echo, kBulkChunk, kOneRead) != 0) return kNoChunkEcho;
            if (std::memcmp(chunk, echo, kBulkChunk) != 0) return kWrongChunkEcho;
            offset += kBulkChunk;
        } else {
            const uint16_t h = offset + 1 < length ? static_cast<uint16_t>(data[offset + 1] << 8 | data[offset])
                                                   : data[offset];
            if (SendHalfword(port, h, true) != 0) return kHalfwordFailed;
            sum ^= h;
            offset += 2;
        }
        if (progress) {
            const uint32_t done = offset < length ? offset : length;
            int step = static_cast<int>(static_cast<uint64_t>(done) * kProgressSteps / length);
            if (step > kProgressSteps) step = kProgressSteps;
            if (step != lastStep) {
                lastStep = step;
                progress(static_cast<uint8_t>(step * 100 / kProgressSteps), offset, length, progressContext);
            }
        }
    }
    uint16_t romSum = 0;
    if (ReadChecksum(port, address, (length + 1) / 2, romSum) != 0) return kNoChecksum;
    return romSum == sum ? 0 : kWrongChecksum;
}

// Answers expected in each state: the complement of the sync byte sent.
void Rom_ZR7316A::SyncStep(SyncState& s, uint8_t c) {
    static constexpr uint8_t kExpected[4] = {0x6F, 0xF6, 0x9F, 0xF9};
    if (c == kExpected[s.state]) {
        ++s.state;
        s.counter = 0;
        s.resend = true;
        return;
    }
    ++s.counter;
    if (c == 0x00) {
        s.resend = s.state == 0;
    } else if (c == 0x6F && s.state == 1) {
        --s.counter;  // a late repeat of the first answer: wait on
        s.resend = false;
    } else {
        s.state = 0;
        s.resend = true;
    }
}

// The input queue polled without pausing; when it stays empty, one read within the
// handshake's 1 ms time-out. Polls alone take microseconds on a fast host: attempts counted by
// them alone would give up on the chip in milliseconds, before a restarting module or an
// adapter's latency timer let an answer through, and would queue sync bytes faster than
// the line carries them. 0x00 when nothing came.
uint8_t Rom_ZR7316A::ReceiveSyncAnswer(FlashPort& port) {
    for (int poll = 0; poll < kBytesWaitingPolls; ++poll) {
        uint32_t waiting = 0;
        if (port.BytesWaiting(waiting) == 0 && waiting > 0) break;
    }
    uint8_t c = 0;
    return port.ReadExact(&c, 1, kOneRead) == 0 ? c : 0;
}

uint32_t Rom_ZR7316A::Connect(FlashPort& port) {
    if (!port.HasLine()) return kNoLine;
    if (port.SetTimeouts(kSyncTimeoutMs, kSyncTimeoutMs, 0) != 0) return kSyncTimeoutsNotSet;
    bool synchronised = false;
    // A stopped run leaves at once: the handshake's own loops would poll on for seconds.
    for (uint32_t pass = 0; pass < m_passes && !synchronised && !port.Cancelled(); ++pass) {
        for (const uint32_t rate : kBaudRates) {
            if (port.SetBaudRate(rate) != 0) return kBaudRateNotSet;
            if (port.WriteAll(reinterpret_cast<const uint8_t*>(kBootEntrySentence), sizeof kBootEntrySentence - 1) != 0)
                return kEntryNotSent;
            SyncState s;
            while (s.state < kSynchronised && (m_attemptLimit >= rom::kNoLimit || s.counter < m_attemptLimit) &&
                   !port.Cancelled()) {
                if (s.resend) port.WriteAll(&kSyncBytes[s.state], 1);
                SyncStep(s, ReceiveSyncAnswer(port));
            }
            if (s.state == kSynchronised) {
                synchronised = true;
                break;
            }
        }
    }
    if (port.SetTimeouts(kLoadReadTimeoutMs, kLoadWriteTimeoutMs) != 0) return kLoadTimeoutsNotSet;
    return synchronised ? 0 : kNotSynchronised;
}

uint32_t Rom_ZR7316A::Run(FlashPort& port, const LoadRequest& request) {
    if (Connect(port) != 0) return rom::kHandshakeFailed;
    port.Wait(kSettleMs);
    if (WriteBlock(port, m_loadAddress, request.data, request.length, request.start, request.startContext,
                   request.progress, request.progressContext) != 0)
        return rom::kLoadFailed;
    if (Jump(port, m_loadAddress, true) != 0) return rom::kJumpFailed;
    return 0;
}
