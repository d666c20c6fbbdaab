#include "flash/core/Loader.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

#include "flash/core/ResultCodes.h"
#include "flash/core/RunLog.h"

namespace {

constexpr int kLineChecks = 10;
constexpr uint8_t kLastCheckValue = 10;  // SwitchBaud's check values run from 0 to this
constexpr uint32_t kCloseWaitMs = 100;
constexpr uint32_t kBytesPerProgressStep = 3840;
// The loader asks for a pause of waitFactor x 2.29376 ms before the first packet.
constexpr uint32_t kWaitFactorMicroUnits = 229376, kWaitFactorPerMs = 100000;
// A packet the module answers wrongly is sent again: three times freely, then announced
// by 0xB6, at most ten times, so that a module answering garbage cannot hold the line.
constexpr uint32_t kFreeRepeats = 3, kMaxAnnouncedRepeats = 10;

// The loader's answer after it changed its rate: the module's UART settles first, up to
// 5 s.
constexpr ReadPatience kRateSwitchPatience{50, 100};
// A packet's answer and the write's acknowledges: the module erases a flash sector before
// it answers, up to 10 s.
constexpr ReadPatience kPacketPatience{10, 1000};
// A repeated packet's acknowledge and the closing ones: the module may rewrite a sector
// and checks the whole image first, up to two minutes.
constexpr ReadPatience kClosingPatience{120, 1000};

int ReadByte(FlashPort& port, uint8_t& b, ReadPatience patience, LoaderTrace* trace = nullptr) {
    const int r = port.ReadExact(&b, 1, patience);
    if (trace) trace->answer = r == 0 ? b : -1;
    return r;
}

std::string HexByte(uint8_t b) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", b);
    return text;
}

void LogStep(LoaderTrace* trace, const std::string& text) {
    if (trace && trace->log) trace->log->Step(text);
}

// 27-bit flash address, high byte first.
void PutAddress(uint8_t* out, uint32_t address) {
    out[0] = static_cast<uint8_t>(address >> 24 & 0x07);
    out[1] = static_cast<uint8_t>(address >> 16);
    out[2] = static_cast<uint8_t>(address >> 8);
    out[3] = static_cast<uint8_t>(address);
}

// The procedure passes WaitLoaderReady's steps on as its results.
static_assert(loader::ready::kSilent == burn::kLoaderSilent && loader::ready::kWrongLead == burn::kLoaderWrongLead &&
              loader::ready::kWrongReady == burn::kLoaderWrongReady && loader::ready::kRefused == burn::kLoaderRefused);

}  // namespace

// 0xB0, then 0x01 0x00; 0x1C instead of 0xB0 is a refusal.
int WaitLoaderReady(FlashPort& port, LoaderInfo& info, LoaderTrace* trace) {
    info = {};
    info.bytes[0] = 1;
    uint8_t lead = 0;
    if (ReadByte(port, lead, kOneRead, trace) != 0) return loader::ready::kSilent;
    if (lead == loader::kRefused) return loader::ready::kRefused;
    if (lead != loader::kReady) return loader::ready::kWrongLead;
    uint8_t next[2];
    if (port.ReadExact(next, 2, kOneRead) != 0) return loader::ready::kSilent;
    info.bytes[2] = next[0];
    info.bytes[3] = next[1];
    return next[0] == 0x01 && next[1] == 0x00 ? 0 : loader::ready::kWrongReady;
}

int SwitchBaud(FlashPort& port, uint8_t index, uint8_t checkRepeats, LoaderTrace* trace) {
    if (index < 1 || index >= std::size(LoaderBaudTable)) return loader::baud::kBadIndex;
    const uint8_t command[3] = {loader::kSwitchBaud, index, checkRepeats};
    if (port.WriteAll(command, 3) != 0) return loader::baud::kCommandNotSent;
    uint8_t b = 0;
    if (ReadByte(port, b, kOneRead, trace) != 0) return loader::baud::kNoCommandAck;
    if (b != loader::kAck) return loader::baud::kWrongCommandAck;
    if (port.SetBaudRate(LoaderBaudTable[index]) != 0) return loader::baud::kRateNotSet;
    bool lineGood = false;
    for (int attempt = 0; attempt < kLineChecks && !lineGood; ++attempt) {
        const uint8_t check = loader::kReady;
        lineGood = port.WriteAll(&check, 1) == 0 && ReadByte(port, b, kOneRead, trace) == 0 && b == loader::kReady;
    }
    if (!lineGood) return loader::baud::kLineCheckFailed;
    const uint8_t ack = loader::kAck;
    if (port.WriteAll(&ack, 1) != 0) return loader::baud::kAckNotSent;
    if (ReadByte(port, b, kRateSwitchPatience, trace) != 0) return loader::baud::kNoAckEcho;
    if (b != loader::kAck) return loader::baud::kWrongAckEcho;
    for (uint8_t v = 0; checkRepeats && v <= kLastCheckValue; ++v) {
        for (uint8_t k = 0; k < checkRepeats; ++k) {
            if (port.WriteAll(&v, 1) != 0) return loader::baud::kCheckNotSent;
            if (ReadByte(port, b, kOneRead, trace) != 0) return loader::baud::kNoCheckEcho;
            if (b != v) return loader::baud::kWrongCheckEcho;
        }
    }
    return 0;
}

int SetFlashRange(FlashPort& port, FlashImage& image, LoaderTrace* trace) {
    const uint8_t head[2] = {loader::kFlashRange, image.modeByte};
    if (port.WriteAll(head, 2) != 0) return loader::range::kHeadNotSent;
    uint8_t address[4];
    PutAddress(address, image.startAddress);
    if (port.WriteAll(address, 4) != 0) return loader::range::kStartNotSent;
    PutAddress(address, image.endAddress);
    if (port.WriteAll(address, 4) != 0) return loader::range::kEndNotSent;
    uint8_t b = 0;
    if (ReadByte(port, b, kOneRead, trace) != 0) return loader::range::kNoAck;
    if (b != loader::kAck) return loader::range::kWrongAck;
    if (ReadByte(port, b, kOneRead, trace) != 0) return loader::range::kNoWaitFactor;
    image.waitFactor = b;
    return 0;
}

// After a 9-byte header carrying the first 4 bytes of the image, the rest goes in
// packets of `packetSize` bytes, each followed by its 16-bit byte sum. A bad reply earns
// three free repeats; later repeats are announced with 0xB6.
int WriteFlash(FlashPort& port, FlashImage* image, uint32_t steps, StartCallback start, void* startContext,
               ProgressCallback progress, void* progressContext, LoaderTrace* trace) {
    if (!image) return loader::write::kNoImage;
    if (!image->IsValid() || image->size < 4) return loader::write::kBadImage;
    const uint32_t size = image->size;
    const uint8_t* data = image->data.get();
    const uint32_t p = image->packetSize;
    const uint8_t header[9] = {loader::kWriteFlash, static_cast<uint8_t>(p >> 24), static_cast<uint8_t>(p >> 16),
                               static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p), data[0], data[1], data[2], data[3]};
    if (port.WriteAll(header, sizeof header) != 0) return loader::write::kHeaderNotSent;
    if (start) start(startContext);
    if (steps == 0) steps = std::max<uint32_t>(1, size / kBytesPerProgressStep);
    if (image->waitFactor) port.Wait(static_cast<uint32_t>(image->waitFactor) * kWaitFactorMicroUnits / kWaitFactorPerMs);
    uint8_t b = 0;
    if (trace) trace->packet = trace->bytesDone = 0;
    if (ReadByte(port, b, kPacketPatience, trace) != 0) return loader::write::kNoHeaderAck;
    if (b != loader::kAck) return loader::write::kWrongHeaderAck;
    if (ReadByte(port, b, kPacketPatience, trace) != 0) return loader::write::kNoSecondAck;
    if (b != loader::kAck) return loader::write::kWrongSecondAck;

    uint32_t offset = 4, done = 0, lastStep = 0, retries = 0, announced = 0;
    while (offset < size) {
        const uint32_t n = std::min(p, size - offset);
        if (port.WriteAll(data + offset, n) == 0) {
            uint16_t sum = 0;
            for (uint32_t i = 0; i < n; ++i) sum = static_cast<uint16_t>(sum + data[offset + i]);
            const uint8_t checksum[2] = {static_cast<uint8_t>(sum >> 8), static_cast<uint8_t>(sum)};
            port.WriteAll(checksum, 2);
        }
        if (ReadByte(port, b, kPacketPatience, trace) != 0) return loader::write::kNoPacketAnswer;
        switch (b) {
            case loader::kPacketOk: break;
            case loader::kAbortA: return loader::write::kAbortedA;
            case loader::kAbortB: return loader::write::kAbortedB;
            case loader::kAbortC: return loader::write::kAbortedC;
            default: {
                if (trace) {
                    ++trace->repeats;
                    LogStep(trace, "packet " + std::to_string(trace->packet) + " repeated: the module answered " +
                                       HexByte(b));
                }
                if (retries >= kFreeRepeats) {
                    if (announced++ >= kMaxAnnouncedRepeats) return loader::write::kTooManyRepeats;
                    const uint8_t giveUp = loader::kGiveUp;
                    if (port.WriteAll(&giveUp, 1) != 0) return loader::write::kGiveUpNotSent;
                } else {
                    ++retries;
                }
                if (ReadByte(port, b, kClosingPatience, trace) != 0) return loader::write::kNoRepeatAck;
                if (b != loader::kAck) return loader::write::kWrongRepeatAck;
                const uint8_t again = loader::kPacketOk;
                if (port.WriteAll(&again, 1) != 0) return loader::write::kResumeNotSent;
                continue;
            }
        }
        retries = 0;
        announced = 0;
        done += n;
        offset += n;
        if (trace) {
            trace->bytesDone = done + 4;
            if (++trace->packet % LoaderTrace::kLogEveryPackets == 0)
                LogStep(trace, std::to_string(trace->packet) + " packets written");
        }
        const auto step = static_cast<uint32_t>(std::min<uint64_t>(steps, static_cast<uint64_t>(done) * steps / size));
        if (step != lastStep && progress)
            progress(static_cast<uint8_t>(step * 100 / steps), done, size, progressContext);
        lastStep = step;
    }
    if (ReadByte(port, b, kClosingPatience, trace) != 0) return loader::write::kNoClosingAck;
    if (b != loader::kAck) return loader::write::kWrongClosingAck;
    if (ReadByte(port, b, kClosingPatience, trace) != 0) return loader::write::kNoFinalAck;
    if (b == loader::kGiveUp) return loader::write::kGaveUp;
    if (b != loader::kAck) return loader::write::kWrongFinalAck;
    if (progress) progress(100, done, size, progressContext);
    return 0;
}

int FinishLoader(FlashPort& port, bool fourPort, LoaderTrace* trace) {
    const uint8_t finish = loader::kFinish;
    const bool writeFailed = port.WriteAll(&finish, 1) != 0;
    if (fourPort) port.Wait(kCloseWaitMs);
    if (writeFailed) return loader::finish::kNotSent;
    uint8_t b = 0;
    const int read = fourPort ? ReadByte(port, b, kClosingPatience, trace) : ReadByte(port, b, kOneRead, trace);
    if (read != 0) return loader::finish::kNoAnswer;
    return b == loader::kClosed ? 0 : loader::finish::kNotClosed;
}
